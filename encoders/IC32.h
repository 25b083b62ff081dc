#pragma once

#include <cstddef>
#include <cstdint>

#include "encoders/EncoderCall.h"

// The IC encoder library (libIC32.so). Every argument fills one 32-bit slot.
namespace IC32 {

inline constexpr const char* LibraryName = "libIC32.so";

// GuestCard's buffers: the hotel code field (no terminator), the end time text
// "YYYYMMDDHHNN" with its zero byte, and the room field (building byte, floor byte,
// six bytes of the room number).
inline constexpr std::size_t HotelCodeSize = 8;
inline constexpr std::size_t EndTimeSize = 13;
inline constexpr std::size_t RoomSize = 8;
inline constexpr std::size_t RoomNoOffset = 2;
inline constexpr std::size_t RoomNoSize = RoomSize - RoomNoOffset;

// 1 or more: the handle of the opened port; 0 or less: not opened.
using TOpenPort = std::int32_t(ENCODER_CALL*)(std::int32_t PortNo);
using TClosePort = std::int32_t(ENCODER_CALL*)(std::int32_t Handle);
// 0: the card carries the new data; anything else is an error code.
using TGuestCard = std::int16_t(ENCODER_CALL*)(std::int32_t Handle, std::int32_t CardNo,
                                               char* HotelCode, char* EndTime, char* Room);
// 0: no card read; anything else is the number of the card on the encoder.
using TReturnCardNo = std::int32_t(ENCODER_CALL*)(std::int32_t Handle);
// 0: the card is cancelled.
using TCardClear = std::int16_t(ENCODER_CALL*)(std::int32_t Handle);

}  // namespace IC32

struct TIC32Functions {
  IC32::TOpenPort OpenPort = nullptr;
  IC32::TClosePort ClosePort = nullptr;
  IC32::TGuestCard GuestCard = nullptr;
  IC32::TReturnCardNo ReturnCardNo = nullptr;
  IC32::TCardClear CardClear = nullptr;
};
