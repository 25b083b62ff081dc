#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// What the bridge edition of the encoder libraries and encoder-host.exe say to each
// other over the host's standard input and output. Compiled on both sides (Linux and
// 32-bit Windows), so it uses nothing but the standard library.
//
// Every message is a frame: its length as 32 bits little-endian, then that many bytes,
// the first of which is the message's kind. Integers are little-endian; a text is its
// length (32 bits) and its bytes.
//
//   Hello  (host, once at start):  version, host description
//   Call   (bridge):               library, function, argument slots, buffers
//   Result (host):                 the function's 32-bit result, every buffer after the call
//   Error  (host):                 why the call was not made, and a detail naming what
//
// A buffer travels with the slot whose pointer it replaces; a null pointer travels as
// a buffer marked null and reaches the function as null.
namespace bridge {

inline constexpr std::uint32_t kProtocolVersion = 1;
// Far above any call's needs (the largest buffer is 151 bytes); a longer frame means
// the stream is broken.
inline constexpr std::uint32_t kMaxFrame = 64 * 1024;
// The widest function, RoomCard, takes twelve.
inline constexpr std::size_t kMaxSlots = 16;

enum class TMessage : std::uint8_t { Hello = 1, Call = 2, Result = 3, Error = 4 };

enum class THostErrorKind : std::uint8_t {
  LibraryMissing = 1,     // no such file in the DLL folder
  NotWindowsLibrary = 2,  // the file is there but is no 32-bit Windows library
  LibraryNotLoaded = 3,   // the file is there but loading it failed (Code says why)
  FunctionMissing = 4,    // the library has no such export
  BadRequest = 5,         // the call itself made no sense
};

class EProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TBuffer {
  std::uint8_t Slot = 0;
  bool Null = false;
  std::string Bytes;
};

struct THello {
  std::uint32_t Version = kProtocolVersion;
  std::string Description;
};

struct TCall {
  std::string Library;   // "IC32", "RFL32", "Project2"
  std::string Function;  // the export's plain name
  std::vector<std::uint32_t> Slots;
  std::vector<TBuffer> Buffers;
};

struct TResult {
  std::uint32_t Value = 0;
  std::vector<std::string> Buffers;  // in the order of the call's buffers
};

struct THostError {
  THostErrorKind Kind = THostErrorKind::BadRequest;
  std::uint32_t Code = 0;  // the Windows error code where there is one
  std::string Detail;      // the file or function concerned
};

// Encoding: each gives a whole frame, length included.
std::string EncodeHello(const THello& hello);
std::string EncodeCall(const TCall& call);
std::string EncodeResult(const TResult& result);
std::string EncodeError(const THostError& error);

// Decoding takes a frame's body (after the length). The kind comes first;
// the decoders throw EProtocolError on anything malformed.
TMessage KindOf(const std::string& body);
THello DecodeHello(const std::string& body);
TCall DecodeCall(const std::string& body);
TResult DecodeResult(const std::string& body);
THostError DecodeError(const std::string& body);

// The length a frame's four leading bytes announce.
std::uint32_t FrameLength(const unsigned char header[4]);

}  // namespace bridge
