// Storing a small file's whole content on Windows, for the simulated encoder's state
// file when it is built as the maker's DLLs.
#include <windows.h>

#include <string>

#include "encoders/bridge/windows/Win32Support.h"
#include "platform/FileContent.h"

namespace plat {
namespace {

bool WriteWhole(HANDLE file, std::string_view content) {
  return win32::WriteAll(file, content) && FlushFileBuffers(file) != 0;
}

bool WriteInPlace(const std::string& path, std::string_view content) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  const bool written = WriteWhole(file, content) && SetEndOfFile(file) != 0;
  return CloseHandle(file) != 0 && written;
}

}  // namespace

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A temporary file beside the old one, flushed, then moved over it: under Wine the
// move is a rename, so a reader never sees half a file.
bool StoreFileContent(const std::string& path, std::string_view content) {
  const std::string temp = path + ".tmp-" + std::to_string(GetCurrentProcessId());
  const HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return WriteInPlace(path, content);
  const bool written = WriteWhole(file, content);
  const bool closed = CloseHandle(file) != 0;
  if (written && closed &&
      MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileA(temp.c_str());
  return false;
}

}  // namespace plat
