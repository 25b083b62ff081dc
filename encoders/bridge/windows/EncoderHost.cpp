// encoder-host.exe: runs under Wine, loads the lock maker's 32-bit DLLs and makes the
// calls that the bridge edition of the encoder libraries forwards to it over standard
// input and output.
//
//   encoder-host.exe DLL-FOLDER
//
// The folder may be given as a Unix path (turned into a Windows one through Wine) or
// as a Windows path. The host knows nothing of the functions themselves: a call names
// its library and function and brings its 32-bit argument slots and buffers, and the
// host calls the export with the standard Windows calling convention.
#include <io.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "encoders/bridge/BridgeProtocol.h"
#include "encoders/bridge/windows/Win32Support.h"

namespace {

using bridge::THostError;
using bridge::THostErrorKind;

HANDLE protocolIn = INVALID_HANDLE_VALUE;
HANDLE protocolOut = INVALID_HANDLE_VALUE;

bool ReadExactly(void* data, DWORD size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    DWORD got = 0;
    if (!ReadFile(protocolIn, bytes, size, &got, nullptr) || got == 0)
      return false;
    bytes += got;
    size -= got;
  }
  return true;
}

bool WriteAll(const std::string& bytes) {
  return win32::WriteAll(protocolOut, bytes);
}

// One frame's body; false at the end of input or on a broken stream.
bool ReadFrame(std::string& body) {
  unsigned char header[4];
  if (!ReadExactly(header, sizeof header))
    return false;
  const std::uint32_t length = bridge::FrameLength(header);
  if (length == 0 || length > bridge::kMaxFrame)
    return false;
  body.assign(length, '\0');
  return ReadExactly(body.data(), length);
}

// The protocol owns standard input and output; whatever a DLL prints goes to the
// error stream (the bridge's log) and nothing it reads can eat a request.
void TakeStandardHandles() {
  const HANDLE process = GetCurrentProcess();
  DuplicateHandle(process, GetStdHandle(STD_INPUT_HANDLE), process, &protocolIn, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  DuplicateHandle(process, GetStdHandle(STD_OUTPUT_HANDLE), process, &protocolOut, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  const HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  SetStdHandle(STD_INPUT_HANDLE, nul);
  SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
  std::fflush(stdout);
  std::freopen("NUL", "rb", stdin);
  _dup2(_fileno(stderr), _fileno(stdout));
}

std::string Describe() {
  using TWineVersion = const char*(CDECL*)();
  const auto version = reinterpret_cast<TWineVersion>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
  return version != nullptr ? std::string("Wine ") + version() : std::string("Windows");
}

class TLibraries {
 public:
  explicit TLibraries(std::wstring folder) : folder_(std::move(folder)) {
    // The maker's DLLs may bring DLLs of their own beside them.
    SetDllDirectoryW(folder_.c_str());
  }

  // The export, by plain name or else by its decorated stdcall name.
  FARPROC Find(const std::string& library, const std::string& function, std::size_t slots,
               THostError& error) {
    const HMODULE module = Load(library, error);
    if (module == nullptr)
      return nullptr;
    const std::string decorated = function + "@" + std::to_string(4 * slots);
    for (const std::string& name : {function, decorated, "_" + decorated}) {
      if (FARPROC address = GetProcAddress(module, name.c_str()))
        return address;
    }
    // Not the library it should be: the next call loads the file afresh, so that
    // putting the right one in place is enough.
    FreeLibrary(module);
    modules_.erase(library);
    error = {THostErrorKind::FunctionMissing, 0, function};
    return nullptr;
  }

 private:
  // A library that failed to load is tried again by the next call, so that putting
  // the file in place is enough.
  HMODULE Load(const std::string& library, THostError& error) {
    if (const auto found = modules_.find(library); found != modules_.end())
      return found->second;
    const std::string file = library + ".dll";
    const std::wstring path = folder_ + L"\\" + std::wstring(file.begin(), file.end());
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      error = {THostErrorKind::LibraryMissing, GetLastError(), file};
      return nullptr;
    }
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
      const DWORD code = GetLastError();
      error = {code == ERROR_BAD_EXE_FORMAT ? THostErrorKind::NotWindowsLibrary
                                            : THostErrorKind::LibraryNotLoaded,
               code, file};
      return nullptr;
    }
    modules_[library] = module;
    return module;
  }

  std::wstring folder_;
  std::map<std::string, HMODULE> modules_;
};

// A call with N 32-bit slots through the standard calling convention. Kept out of
// line with a frame pointer, so that a DLL whose function takes another number of
// arguments than declared cannot leave this function's stack askew.
template <std::size_t... I>
__attribute__((noinline, optimize("no-omit-frame-pointer"))) std::uint32_t CallWith(
    FARPROC function, const std::uint32_t* slots, std::index_sequence<I...>) {
  using TFunction = std::uint32_t(__stdcall*)(decltype((void)I, std::uint32_t())...);
  const auto typed = reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(function));
  return typed(slots[I]...);
}

template <std::size_t N>
std::uint32_t CallN(FARPROC function, const std::uint32_t* slots) {
  return CallWith(function, slots, std::make_index_sequence<N>());
}

template <std::size_t... N>
constexpr auto MakeCallers(std::index_sequence<N...>) {
  using TCaller = std::uint32_t (*)(FARPROC, const std::uint32_t*);
  return std::array<TCaller, sizeof...(N)>{&CallN<N>...};
}

constexpr auto kCallers = MakeCallers(std::make_index_sequence<bridge::kMaxSlots + 1>());

std::string Serve(TLibraries& libraries, const std::string& body) {
  bridge::TCall call;
  try {
    call = bridge::DecodeCall(body);
  } catch (const bridge::EProtocolError& e) {
    return bridge::EncodeError({THostErrorKind::BadRequest, 0, e.what()});
  }
  THostError error;
  const FARPROC function = libraries.Find(call.Library, call.Function, call.Slots.size(), error);
  if (function == nullptr)
    return bridge::EncodeError(error);

  // Each buffer lives here for the call; its slot carries its address.
  std::vector<std::uint32_t> slots = call.Slots;
  for (bridge::TBuffer& buffer : call.Buffers) {
    slots[buffer.Slot] =
        buffer.Null
            ? 0
            : static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer.Bytes.data()));
  }
  bridge::TResult result;
  result.Value = kCallers[slots.size()](function, slots.data());
  for (const bridge::TBuffer& buffer : call.Buffers)
    result.Buffers.push_back(buffer.Bytes);
  return bridge::EncodeResult(result);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: encoder-host.exe DLL-FOLDER\n");
    return 2;
  }
  TakeStandardHandles();
  // A DLL that fails must not stop the host with a dialog nobody can answer.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

  TLibraries libraries(win32::WindowsPath(argv[1]));
  if (!WriteAll(bridge::EncodeHello({bridge::kProtocolVersion, Describe()})))
    return 1;
  std::string body;
  while (ReadFrame(body)) {
    if (!WriteAll(Serve(libraries, body)))
      return 1;
  }
  return 0;
}
