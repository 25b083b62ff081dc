// The RF-V9 writing library, simulated.
#include <type_traits>

#include "encoders/RFL32V9.h"
#include "encoders/simulator/SimExport.h"

namespace {

// A room code longer than any real one is cut here, so that the state file stays sane.
constexpr std::size_t kRoomCodeLimit = 64;

}  // namespace

SIM_EXPORT std::int32_t ENCODER_CALL OpenPort() {
  return sim::Call<std::int32_t>("RFL32.OpenPort", sim::kStateError, [](sim::TState& state) {
    return state.Connected ? 0 : sim::kNotConnected;
  });
}

SIM_EXPORT std::int32_t ENCODER_CALL Buzzer() {
  return sim::Call<std::int32_t>("RFL32.Buzzer", sim::kStateError, [](sim::TState& state) {
    if (!state.Connected)
      return sim::kNotConnected;
    ++state.Beeps;
    return 0;
  });
}

SIM_EXPORT std::int16_t ENCODER_CALL RoomCard(std::int32_t HotelId, std::int32_t CardSlot,
                                              std::int32_t Arg3, std::int32_t Arg4,
                                              std::int32_t Arg5, char* StartTime, char* EndTime,
                                              char* RoomCode, std::uint8_t RoomByte,
                                              std::uint8_t Arg10, std::uint8_t Arg11,
                                              char* Buffer) {
  return sim::Call<std::int16_t>("RFL32.RoomCard", sim::kStateError,
                                 [&](sim::TState& state) -> std::int16_t {
                                   if (!state.Connected)
                                     return sim::kNotConnected;
                                   if (StartTime == nullptr || EndTime == nullptr ||
                                       RoomCode == nullptr || Buffer == nullptr) {
                                     return sim::kBadArgument;
                                   }
                                   if (state.Card.Kind == sim::TCardKind::None)
                                     return sim::kNoCard;
                                   sim::TCard card;
                                   card.Kind = sim::TCardKind::RFV9;
                                   card.Serial = state.Card.Serial;
                                   card.HotelId = HotelId;
                                   card.CardSlot = CardSlot;
                                   card.Arg3 = Arg3;
                                   card.Arg4 = Arg4;
                                   card.Arg5 = Arg5;
                                   card.StartTime = sim::TextOf(StartTime, RFL32::TimeTextSize);
                                   card.EndTime = sim::TextOf(EndTime, RFL32::TimeTextSize);
                                   card.RoomCode = sim::TextOf(RoomCode, kRoomCodeLimit);
                                   card.RoomByte = RoomByte;
                                   card.Arg10 = Arg10;
                                   card.Arg11 = Arg11;
                                   state.Card = card;
                                   return 0;
                                 });
}

SIM_EXPORT std::int16_t ENCODER_CALL LogoutCard(std::int32_t, std::int32_t, char* Buffer) {
  return sim::Call<std::int16_t>("RFL32.LogoutCard", sim::kStateError,
                                 [&](sim::TState& state) -> std::int16_t {
                                   if (!state.Connected)
                                     return sim::kNotConnected;
                                   if (Buffer == nullptr)
                                     return sim::kBadArgument;
                                   if (state.Card.Kind == sim::TCardKind::None)
                                     return sim::kNoCard;
                                   state.Card.Cancelled = true;
                                   return 0;
                                 });
}

static_assert(std::is_same_v<decltype(&OpenPort), RFL32::TOpenPort>);
static_assert(std::is_same_v<decltype(&Buzzer), RFL32::TBuzzer>);
static_assert(std::is_same_v<decltype(&RoomCard), RFL32::TRoomCard>);
static_assert(std::is_same_v<decltype(&LogoutCard), RFL32::TLogoutCard>);
