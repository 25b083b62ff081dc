// Where the simulated encoder keeps its state, and its lock, when it is built as the
// maker's Windows DLLs and runs in encoder-host.exe under Wine.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "encoders/bridge/windows/Win32Support.h"
#include "encoders/simulator/SimEncoder.h"

namespace sim {
namespace {

// Long enough for any simulated call of the other side to finish.
constexpr auto kLockPatience = std::chrono::seconds(30);
constexpr DWORD kLockPollMs = 2;

}  // namespace

std::string DefaultDir() {
  const char* dir = std::getenv("ENCODER_SIM_DIR");
  if (dir != nullptr && *dir != '\0')
    return WithSlash(win32::NarrowWindowsPath(dir));
  char current[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, current);
  return WithSlash(current);
}

// Wine keeps the Windows lock in its server and takes a record lock on the Unix file
// for it when it can; a lock held by a Linux process makes LockFileEx fail rather
// than wait, so the lock is asked for again until it is free.
TStateLock::TStateLock(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw ESimError("cannot open " + path + ": error " + std::to_string(GetLastError()));
  const auto giveUp = std::chrono::steady_clock::now() + kLockPatience;
  OVERLAPPED from{};
  while (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &from)) {
    if (std::chrono::steady_clock::now() >= giveUp) {
      CloseHandle(file);
      throw ESimError("cannot lock " + path);
    }
    Sleep(kLockPollMs);
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
}

TStateLock::~TStateLock() noexcept {
  // Closing the handle releases the lock.
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace sim
