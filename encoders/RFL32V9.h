#pragma once

#include <cstddef>
#include <cstdint>

#include "encoders/EncoderCall.h"

// The RF-V9 encoder libraries: libRFL32.so writes and cancels cards, libProject2.so
// reads them. Every argument fills one 32-bit slot; the byte arguments of RoomCard
// too.
namespace RFL32 {

inline constexpr const char* LibraryName = "libRFL32.so";

// RoomCard's time texts: "YYMMDDHHNN" and a zero byte.
inline constexpr std::size_t TimeTextSize = 11;
// Work buffers the library may write into; the caller never reads them.
inline constexpr std::size_t RoomCardBufferSize = 41;
inline constexpr std::size_t LogoutCardBufferSize = 44;

// 0: the encoder is ready; anything else is a failure.
using TOpenPort = std::int32_t(ENCODER_CALL*)();
using TBuzzer = std::int32_t(ENCODER_CALL*)();
// 0: the card carries the guest card; anything else is an error code.
using TRoomCard = std::int16_t(ENCODER_CALL*)(std::int32_t HotelId, std::int32_t CardSlot,
                                              std::int32_t Arg3, std::int32_t Arg4,
                                              std::int32_t Arg5, char* StartTime, char* EndTime,
                                              char* RoomCode, std::uint8_t RoomByte,
                                              std::uint8_t Arg10, std::uint8_t Arg11, char* Buffer);
// 0: the card is cancelled.
using TLogoutCard = std::int16_t(ENCODER_CALL*)(std::int32_t HotelId, std::int32_t Arg2,
                                                char* Buffer);

}  // namespace RFL32

namespace Project2 {

inline constexpr const char* LibraryName = "libProject2.so";

// The card data: a zero-terminated text whose characters 7 to 14 are the card's
// number in eight hexadecimal digits.
inline constexpr std::size_t CardDataSize = 151;
inline constexpr std::size_t CardNoOffset = 6;
inline constexpr std::size_t CardNoDigits = 8;

// 1: the buffer holds the card data; anything else is a failure code.
using TReadCardData = std::int32_t(ENCODER_CALL*)(char* CardData);

}  // namespace Project2

struct TRFL32Functions {
  RFL32::TOpenPort OpenPort = nullptr;
  RFL32::TBuzzer Buzzer = nullptr;
  RFL32::TRoomCard RoomCard = nullptr;
  RFL32::TLogoutCard LogoutCard = nullptr;
};

struct TProject2Functions {
  Project2::TReadCardData ReadCardData = nullptr;
};
