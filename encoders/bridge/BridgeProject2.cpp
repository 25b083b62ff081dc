// The RF-V9 reading library, forwarded to the maker's Project2.dll.
#include <type_traits>

#include "encoders/RFL32V9.h"
#include "encoders/bridge/BridgeExport.h"

BRIDGE_EXPORT std::int32_t ENCODER_CALL ReadCardData(char* CardData) {
  // Anything but 1 is a failed read.
  return bridge::Call<std::int32_t>("Project2", "ReadCardData", {0},
                                    {{0, CardData, Project2::CardDataSize}}, bridge::kCallFailed);
}

static_assert(std::is_same_v<decltype(&ReadCardData), Project2::TReadCardData>);
