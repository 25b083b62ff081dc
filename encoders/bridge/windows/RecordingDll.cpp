// A stand-in for one of the maker's DLLs that writes down every call it receives: the
// function, each 32-bit argument slot as it arrived, and the bytes of every buffer
// at the call. Tests compare these lines with what the drivers passed on the Linux
// side. Built once per library (RECORD_IC32, RECORD_RFL32, RECORD_PROJECT2).
//
// Each call appends one line to record.txt beside the DLL:
//   <Library>.<Function> <slot> <slot> ... [| <hex bytes> | <hex bytes> ...]
// A pointer slot shows as "*" (or "null"); its bytes follow in argument order.
// When sleep-ms.txt lies beside the DLL, every call first sleeps that many
// milliseconds, so that tests can make a call outlast the bridge's limit.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>

#define RECORD_EXPORT extern "C" __declspec(dllexport)

namespace {

HMODULE self = nullptr;

std::string Folder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(self, path, MAX_PATH);
  std::string text(path);
  return text.substr(0, text.find_last_of("\\/") + 1);
}

std::string Hex(const char* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

struct TArg {
  std::uint32_t Slot;
  const char* Buffer;  // the bytes behind a pointer slot, null for a number
  std::size_t Size;
  bool Pointer;
};

[[maybe_unused]] TArg Value(std::uint32_t slot) {
  return {slot, nullptr, 0, false};
}
[[maybe_unused]] TArg Bytes(const char* buffer, std::size_t size) {
  return {0, buffer, size, true};
}
// A zero-terminated text with its zero byte.
[[maybe_unused]] TArg Text(const char* text) {
  return {0, text, text != nullptr ? std::strlen(text) + 1 : 0, true};
}

void Pause() {
  std::ifstream in(Folder() + "sleep-ms.txt");
  DWORD ms = 0;
  if (in >> ms)
    Sleep(ms);
}

void Record(const char* function, std::initializer_list<TArg> args) {
  Pause();
  std::string line = function;
  for (const TArg& arg : args) {
    char slot[16];
    std::snprintf(slot, sizeof slot, " %08lX", static_cast<unsigned long>(arg.Slot));
    line += !arg.Pointer ? std::string(slot) : arg.Buffer != nullptr ? " *" : " null";
  }
  for (const TArg& arg : args) {
    if (arg.Pointer && arg.Buffer != nullptr)
      line += " | " + Hex(arg.Buffer, arg.Size);
  }
  std::ofstream out(Folder() + "record.txt", std::ios::app | std::ios::binary);
  out << line << "\n";
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH)
    self = instance;
  return TRUE;
}

// Every argument is taken as its whole 32-bit slot, so that the record shows what the
// upper bytes of a byte argument carried too.
#if defined(RECORD_IC32)

RECORD_EXPORT std::int32_t __stdcall OpenPort(std::uint32_t PortNo) {
  Record("IC32.OpenPort", {Value(PortNo)});
  return 7;
}

RECORD_EXPORT std::int32_t __stdcall ClosePort(std::uint32_t Handle) {
  Record("IC32.ClosePort", {Value(Handle)});
  return 0;
}

#if !defined(RECORD_WITHOUT_GUESTCARD)
RECORD_EXPORT std::int16_t __stdcall GuestCard(std::uint32_t Handle, std::uint32_t CardNo,
                                               char* HotelCode, char* EndTime, char* Room) {
  Record("IC32.GuestCard",
         {Value(Handle), Value(CardNo), Bytes(HotelCode, 8), Bytes(EndTime, 13), Bytes(Room, 8)});
  return 0;
}
#endif

RECORD_EXPORT std::int32_t __stdcall ReturnCardNo(std::uint32_t Handle) {
  Record("IC32.ReturnCardNo", {Value(Handle)});
  return 1234;
}

RECORD_EXPORT std::int16_t __stdcall CardClear(std::uint32_t Handle) {
  Record("IC32.CardClear", {Value(Handle)});
  return 0;
}

#elif defined(RECORD_RFL32)

RECORD_EXPORT std::int32_t __stdcall OpenPort() {
  Record("RFL32.OpenPort", {});
  return 0;
}

RECORD_EXPORT std::int32_t __stdcall Buzzer() {
  Record("RFL32.Buzzer", {});
  return 0;
}

RECORD_EXPORT std::int16_t __stdcall RoomCard(std::uint32_t HotelId, std::uint32_t CardSlot,
                                              std::uint32_t Arg3, std::uint32_t Arg4,
                                              std::uint32_t Arg5, char* StartTime, char* EndTime,
                                              char* RoomCode, std::uint32_t RoomByte,
                                              std::uint32_t Arg10, std::uint32_t Arg11,
                                              char* Buffer) {
  Record("RFL32.RoomCard", {Value(HotelId), Value(CardSlot), Value(Arg3), Value(Arg4), Value(Arg5),
                            Bytes(StartTime, 11), Bytes(EndTime, 11), Text(RoomCode),
                            Value(RoomByte), Value(Arg10), Value(Arg11), Bytes(Buffer, 41)});
  return 0;
}

RECORD_EXPORT std::int16_t __stdcall LogoutCard(std::uint32_t HotelId, std::uint32_t Arg2,
                                                char* Buffer) {
  Record("RFL32.LogoutCard", {Value(HotelId), Value(Arg2), Bytes(Buffer, 44)});
  return 0;
}

#elif defined(RECORD_PROJECT2)

RECORD_EXPORT std::int32_t __stdcall ReadCardData(char* CardData) {
  Record("Project2.ReadCardData", {Bytes(CardData, 151)});
  if (CardData != nullptr)
    std::strcpy(CardData, "SIMV9G0000002A|recorded");
  return 1;
}

#else
#error "Say which library to record: RECORD_IC32, RECORD_RFL32 or RECORD_PROJECT2"
#endif
