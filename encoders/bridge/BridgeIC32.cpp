// The IC encoder library, forwarded to the maker's IC32.dll.
#include <type_traits>

#include "encoders/IC32.h"
#include "encoders/bridge/BridgeExport.h"

using bridge::Call;
using bridge::kCallFailed;
using bridge::Slot;

namespace {

constexpr const char* kLibrary = "IC32";
// The failures the IC driver knows: no port handle, no card number read.
constexpr std::int32_t kNoHandle = 0;
constexpr std::int32_t kNoCardNo = 0;

}  // namespace

BRIDGE_EXPORT std::int32_t ENCODER_CALL OpenPort(std::int32_t PortNo) {
  return Call<std::int32_t>(kLibrary, "OpenPort", {Slot(PortNo)}, {}, kNoHandle);
}

BRIDGE_EXPORT std::int32_t ENCODER_CALL ClosePort(std::int32_t Handle) {
  return Call<std::int32_t>(kLibrary, "ClosePort", {Slot(Handle)}, {}, kCallFailed);
}

BRIDGE_EXPORT std::int16_t ENCODER_CALL GuestCard(std::int32_t Handle, std::int32_t CardNo,
                                                  char* HotelCode, char* EndTime, char* Room) {
  return Call<std::int16_t>(kLibrary, "GuestCard", {Slot(Handle), Slot(CardNo), 0, 0, 0},
                            {{2, HotelCode, IC32::HotelCodeSize},
                             {3, EndTime, IC32::EndTimeSize},
                             {4, Room, IC32::RoomSize}},
                            kCallFailed);
}

BRIDGE_EXPORT std::int32_t ENCODER_CALL ReturnCardNo(std::int32_t Handle) {
  return Call<std::int32_t>(kLibrary, "ReturnCardNo", {Slot(Handle)}, {}, kNoCardNo);
}

BRIDGE_EXPORT std::int16_t ENCODER_CALL CardClear(std::int32_t Handle) {
  return Call<std::int16_t>(kLibrary, "CardClear", {Slot(Handle)}, {}, kCallFailed);
}

static_assert(std::is_same_v<decltype(&OpenPort), IC32::TOpenPort>);
static_assert(std::is_same_v<decltype(&ClosePort), IC32::TClosePort>);
static_assert(std::is_same_v<decltype(&GuestCard), IC32::TGuestCard>);
static_assert(std::is_same_v<decltype(&ReturnCardNo), IC32::TReturnCardNo>);
static_assert(std::is_same_v<decltype(&CardClear), IC32::TCardClear>);
