// The IC encoder library, simulated.
#include <type_traits>

#include "encoders/IC32.h"
#include "encoders/simulator/SimExport.h"

namespace {

constexpr std::int32_t kLowestPort = -1;  // "USB"
constexpr std::int32_t kHighestPort = 5;  // "COM6"

// 0 when the call may go on, otherwise the failure it returns.
std::int32_t CheckPort(const sim::TState& state, std::int32_t handle) {
  if (!state.Connected)
    return sim::kNotConnected;
  if (state.IC32Handle == 0 || handle != state.IC32Handle)
    return sim::kPortNotOpen;
  return 0;
}

}  // namespace

SIM_EXPORT std::int32_t ENCODER_CALL OpenPort(std::int32_t PortNo) {
  return sim::Call<std::int32_t>("IC32.OpenPort", 0, [&](sim::TState& state) {
    if (!state.Connected || PortNo < kLowestPort || PortNo > kHighestPort)
      return 0;
    // A new handle each time, so that a handle from an earlier opening is refused.
    state.LastIC32Handle = state.LastIC32Handle >= 0x7FFFFFFF ? 1 : state.LastIC32Handle + 1;
    state.IC32Handle = state.LastIC32Handle;
    return state.IC32Handle;
  });
}

SIM_EXPORT std::int32_t ENCODER_CALL ClosePort(std::int32_t Handle) {
  return sim::Call<std::int32_t>("IC32.ClosePort", sim::kStateError, [&](sim::TState& state) {
    if (state.IC32Handle == 0 || Handle != state.IC32Handle)
      return sim::kPortNotOpen;
    state.IC32Handle = 0;
    return 0;
  });
}

SIM_EXPORT std::int16_t ENCODER_CALL GuestCard(std::int32_t Handle, std::int32_t CardNo,
                                               char* HotelCode, char* EndTime, char* Room) {
  return sim::Call<std::int16_t>(
      "IC32.GuestCard", sim::kStateError, [&](sim::TState& state) -> std::int16_t {
        if (const std::int32_t error = CheckPort(state, Handle); error != 0) {
          return static_cast<std::int16_t>(error);
        }
        if (HotelCode == nullptr || EndTime == nullptr || Room == nullptr) {
          return sim::kBadArgument;
        }
        if (state.Card.Kind == sim::TCardKind::None)
          return sim::kNoCard;
        sim::TCard card;
        card.Kind = sim::TCardKind::IC;
        card.Serial = state.Card.Serial;
        card.CardNo = CardNo;
        card.HotelCode.assign(HotelCode, IC32::HotelCodeSize);
        card.Room.assign(Room, IC32::RoomSize);
        card.EndTime = sim::TextOf(EndTime, IC32::EndTimeSize);
        state.Card = card;
        return 0;
      });
}

SIM_EXPORT std::int32_t ENCODER_CALL ReturnCardNo(std::int32_t Handle) {
  return sim::Call<std::int32_t>("IC32.ReturnCardNo", 0, [&](sim::TState& state) {
    // Only an IC card carries a number this reader understands; 0 means none read.
    if (CheckPort(state, Handle) != 0 || state.Card.Kind != sim::TCardKind::IC)
      return 0;
    return state.Card.CardNo;
  });
}

SIM_EXPORT std::int16_t ENCODER_CALL CardClear(std::int32_t Handle) {
  return sim::Call<std::int16_t>(
      "IC32.CardClear", sim::kStateError, [&](sim::TState& state) -> std::int16_t {
        if (const std::int32_t error = CheckPort(state, Handle); error != 0) {
          return static_cast<std::int16_t>(error);
        }
        if (state.Card.Kind == sim::TCardKind::None)
          return sim::kNoCard;
        state.Card.Cancelled = true;
        return 0;
      });
}

static_assert(std::is_same_v<decltype(&OpenPort), IC32::TOpenPort>);
static_assert(std::is_same_v<decltype(&ClosePort), IC32::TClosePort>);
static_assert(std::is_same_v<decltype(&GuestCard), IC32::TGuestCard>);
static_assert(std::is_same_v<decltype(&ReturnCardNo), IC32::TReturnCardNo>);
static_assert(std::is_same_v<decltype(&CardClear), IC32::TCardClear>);
