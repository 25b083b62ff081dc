#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The bridge edition of the encoder libraries: libIC32.so, libRFL32.so and
// libProject2.so export the maker's functions and hand every call to this shared
// library (libEncoderBridge.so), which forwards it, byte for byte, to one
// encoder-host.exe running under Wine that calls the maker's 32-bit Windows DLLs.
//
// Everything the bridge uses lies in its own folder, the folder of
// libEncoderBridge.so (beside the program in an installation): EncoderBridge.ini,
// EncoderBridge.log, encoder-host.exe, and by default the DLL folder maker/ and the
// Wine prefix wine-prefix/.
//
// The first call starts the host; it serves all three libraries for the life of the
// program and is ended (with everything Wine started for it) when the program
// unloads the libraries. A call that cannot be carried out (no Wine, no host, no DLL
// or function, the host ending or not answering within the limit) returns the
// caller's failure value, and EncoderBridge.log says why; the next call starts a
// fresh host when the last one is gone.
#define BRIDGE_API __attribute__((visibility("default")))

namespace bridge {

// A buffer argument: the pointer in argument slot `Slot`, with the bytes that travel
// to the DLL and back. A null `Data` reaches the DLL as null.
struct TArgBuffer {
  std::uint8_t Slot = 0;
  char* Data = nullptr;
  std::size_t Size = 0;
};

// What a bridged function returns when the call could not be made: distinct from
// the simulated encoder's own codes, so that a log line shows where it failed.
inline constexpr std::int32_t kCallFailed = -99;

// Calls `library`.`function` with `slots` (the buffers' slots are replaced by the
// host's copies) and copies the buffers back. Returns the function's 32-bit result,
// or `failure` when the call could not be carried out.
BRIDGE_API std::uint32_t Forward(const char* library, const char* function,
                                 std::span<const std::uint32_t> slots,
                                 std::span<const TArgBuffer> buffers, std::uint32_t failure);

}  // namespace bridge
