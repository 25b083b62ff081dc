// The RF-V9 writing library, forwarded to the maker's RFL32.dll.
#include <type_traits>

#include "encoders/RFL32V9.h"
#include "encoders/bridge/BridgeExport.h"

using bridge::Call;
using bridge::kCallFailed;
using bridge::Slot;

namespace {

constexpr const char* kLibrary = "RFL32";

}  // namespace

BRIDGE_EXPORT std::int32_t ENCODER_CALL OpenPort() {
  return Call<std::int32_t>(kLibrary, "OpenPort", {}, {}, kCallFailed);
}

BRIDGE_EXPORT std::int32_t ENCODER_CALL Buzzer() {
  return Call<std::int32_t>(kLibrary, "Buzzer", {}, {}, kCallFailed);
}

BRIDGE_EXPORT std::int16_t ENCODER_CALL RoomCard(std::int32_t HotelId, std::int32_t CardSlot,
                                                 std::int32_t Arg3, std::int32_t Arg4,
                                                 std::int32_t Arg5, char* StartTime, char* EndTime,
                                                 char* RoomCode, std::uint8_t RoomByte,
                                                 std::uint8_t Arg10, std::uint8_t Arg11,
                                                 char* Buffer) {
  return Call<std::int16_t>(kLibrary, "RoomCard",
                            {Slot(HotelId), Slot(CardSlot), Slot(Arg3), Slot(Arg4), Slot(Arg5), 0,
                             0, 0, Slot(RoomByte), Slot(Arg10), Slot(Arg11), 0},
                            {{5, StartTime, RFL32::TimeTextSize},
                             {6, EndTime, RFL32::TimeTextSize},
                             bridge::Text(7, RoomCode),
                             {11, Buffer, RFL32::RoomCardBufferSize}},
                            kCallFailed);
}

BRIDGE_EXPORT std::int16_t ENCODER_CALL LogoutCard(std::int32_t HotelId, std::int32_t Arg2,
                                                   char* Buffer) {
  return Call<std::int16_t>(kLibrary, "LogoutCard", {Slot(HotelId), Slot(Arg2), 0},
                            {{2, Buffer, RFL32::LogoutCardBufferSize}}, kCallFailed);
}

static_assert(std::is_same_v<decltype(&OpenPort), RFL32::TOpenPort>);
static_assert(std::is_same_v<decltype(&Buzzer), RFL32::TBuzzer>);
static_assert(std::is_same_v<decltype(&RoomCard), RFL32::TRoomCard>);
static_assert(std::is_same_v<decltype(&LogoutCard), RFL32::TLogoutCard>);
