#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// Small pieces the Windows programs of the bridge share.
namespace win32 {

// Writes all of `bytes` to `handle`; false when a write fails.
inline bool WriteAll(HANDLE handle, std::string_view bytes) {
  const char* data = bytes.data();
  DWORD left = static_cast<DWORD>(bytes.size());
  while (left > 0) {
    DWORD put = 0;
    if (!WriteFile(handle, data, left, &put, nullptr) || put == 0)
      return false;
    data += put;
    left -= put;
  }
  return true;
}

// Under Wine, the Windows path of a Unix path (one that starts with "/"); any other
// text, or anywhere but under Wine, is taken as a Windows path already.
inline std::wstring WindowsPath(const std::string& path) {
  using TDosName = WCHAR*(CDECL*)(const char*);
  const auto dosName = reinterpret_cast<TDosName>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
  if (dosName != nullptr && !path.empty() && path[0] == '/') {
    if (WCHAR* converted = dosName(path.c_str())) {
      std::wstring result(converted);
      HeapFree(GetProcessHeap(), 0, converted);
      return result;
    }
  }
  const int size = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  std::wstring result(size > 0 ? size - 1 : 0, L'\0');
  if (size > 1)
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, result.data(), size);
  return result;
}

// The same, in the ANSI code page, for the narrow file functions.
inline std::string NarrowWindowsPath(const std::string& path) {
  const std::wstring wide = WindowsPath(path);
  const int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string result(size > 0 ? size - 1 : 0, '\0');
  if (size > 1)
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, result.data(), size, nullptr, nullptr);
  return result;
}

}  // namespace win32
