// The RF-V9 reading library, simulated.
#include <algorithm>
#include <type_traits>

#include "encoders/RFL32V9.h"
#include "encoders/simulator/SimExport.h"

namespace {

constexpr std::int32_t kRead = 1;

}  // namespace

SIM_EXPORT std::int32_t ENCODER_CALL ReadCardData(char* CardData) {
  return sim::Call<std::int32_t>(
      "Project2.ReadCardData", sim::kStateError, [&](sim::TState& state) {
        if (!state.Connected)
          return sim::kNotConnected;
        if (CardData == nullptr)
          return sim::kBadArgument;
        if (state.Card.Kind == sim::TCardKind::None)
          return sim::kNoCard;
        const std::string text = sim::CardDataText(state.Card, Project2::CardDataSize);
        std::copy(text.begin(), text.end(), CardData);
        CardData[text.size()] = '\0';
        return kRead;
      });
}

static_assert(std::is_same_v<decltype(&ReadCardData), Project2::TReadCardData>);
