#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>

#include "encoders/EncoderCall.h"
#include "encoders/bridge/EncoderBridge.h"

// The bridge libraries export only the maker's functions.
#define BRIDGE_EXPORT extern "C" __attribute__((visibility("default")))

namespace bridge {

// An argument's 32-bit slot: signed values keep their bits, bytes are widened with
// zeros as the Windows calling convention leaves them.
inline std::uint32_t Slot(std::int32_t value) {
  return static_cast<std::uint32_t>(value);
}
inline std::uint32_t Slot(std::uint8_t value) {
  return value;
}

// A zero-terminated text travels with its zero byte.
inline TArgBuffer Text(std::uint8_t slot, char* text) {
  return {slot, text, text != nullptr ? std::strlen(text) + 1 : 0};
}

template <typename TResult>
TResult Call(const char* library, const char* function, std::initializer_list<std::uint32_t> slots,
             std::initializer_list<TArgBuffer> buffers, TResult failure) {
  return static_cast<TResult>(Forward(library, function, {slots.begin(), slots.size()},
                                      {buffers.begin(), buffers.size()},
                                      static_cast<std::uint32_t>(failure)));
}

}  // namespace bridge
