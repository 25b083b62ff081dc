#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

// The simulated card encoder shared by the three simulated libraries and the
// encoder-sim tool: one encoder with one card slot, its state kept in
// EncoderSim.ini so that the program and the tool see the same encoder.
namespace sim {

// What the simulated functions return when they fail on their own account.
inline constexpr std::int32_t kNotConnected = -1;
inline constexpr std::int32_t kPortNotOpen = -2;  // IC: no open port, or not its handle
inline constexpr std::int32_t kNoCard = -3;
inline constexpr std::int32_t kBadArgument = -4;  // a buffer pointer is null
inline constexpr std::int32_t kStateError = -5;   // EncoderSim.ini cannot be read or written

inline constexpr std::uint32_t kDefaultSerial = 0x00A1B2C3;
inline constexpr const char* kStateFileName = "EncoderSim.ini";
inline constexpr const char* kLockFileName = "EncoderSim.lock";

// Every simulated function, as `encoder-sim fail` names it.
inline constexpr std::array<std::string_view, 10> kFunctions = {
    "IC32.OpenPort",    "IC32.ClosePort",       "IC32.GuestCard", "IC32.ReturnCardNo",
    "IC32.CardClear",   "RFL32.OpenPort",       "RFL32.Buzzer",   "RFL32.RoomCard",
    "RFL32.LogoutCard", "Project2.ReadCardData"};
// Functions whose result is 16 bits wide.
bool Is16Bit(std::string_view function);

class ESimError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TCardKind { None, Blank, IC, RFV9 };

struct TCard {
  TCardKind Kind = TCardKind::Blank;
  std::uint32_t Serial = kDefaultSerial;
  bool Cancelled = false;
  // An IC guest card: GuestCard's card number and buffers as they were given.
  std::int32_t CardNo = 0;
  std::string HotelCode;  // 8 bytes
  std::string Room;       // 8 bytes: building, floor, six bytes of room number
  // Both kinds: the time texts up to their zero byte (IC: end only).
  std::string StartTime;
  std::string EndTime;
  // An RF-V9 guest card: RoomCard's arguments as they were given.
  std::int32_t HotelId = 0;
  std::int32_t CardSlot = 0;
  std::int32_t Arg3 = 0;
  std::int32_t Arg4 = 0;
  std::int32_t Arg5 = 0;
  std::string RoomCode;
  std::int32_t RoomByte = 0;
  std::int32_t Arg10 = 0;
  std::int32_t Arg11 = 0;

  bool operator==(const TCard&) const = default;
};

struct TState {
  bool Connected = true;
  std::int32_t Beeps = 0;
  std::int32_t IC32Handle = 0;  // the open IC port's handle, 0 when closed
  std::int32_t LastIC32Handle = 0;
  TCard Card;
  std::map<std::string, std::int32_t> Failures;  // function -> code; absent or 0: none

  bool operator==(const TState&) const = default;

  std::int32_t Failure(std::string_view function) const;
  void PutBlankCard(std::uint32_t serial);
};

// ENCODER_SIM_DIR when set, otherwise the running program's directory; with "/".
// (The Windows DLLs run in a host process whose working directory is the program's.)
std::string DefaultDir();
std::string WithSlash(std::string dir);

// An exclusive lock on the lock file at `path` (made when missing), held for as long
// as the object lives; waits while another holds it. The Linux libraries and
// encoder-sim take a whole-file record lock, and Wine turns the Windows DLLs' file
// lock into the same kind of lock, so the two builds exclude each other.
class TStateLock {
 public:
  explicit TStateLock(const std::string& path);
  ~TStateLock() noexcept;
  TStateLock(const TStateLock&) = delete;
  TStateLock& operator=(const TStateLock&) = delete;

 private:
  std::intptr_t handle_;
};

// The state file of `dir`, locked for as long as the object lives. A missing file
// reads as a reset encoder.
class TStateFile {
 public:
  explicit TStateFile(const std::string& dir);

  TState Load() const;
  void Save(const TState& state) const;

 private:
  std::string path_;
  TStateLock lock_;
};

// The number a read of the card gives: an IC card's written number, otherwise the
// number the RF-V9 reader takes from the serial.
std::int64_t CardNumber(const TCard& card);
// The text ReadCardData leaves, at most `capacity - 1` bytes.
std::string CardDataText(const TCard& card, std::size_t capacity);
// The "key=value" lines of `encoder-sim status`.
std::string StatusText(const TState& state);

// Bytes up to the first zero byte, at most `size` of them.
std::string TextOf(const char* buffer, std::size_t size);

}  // namespace sim
