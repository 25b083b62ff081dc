#pragma once

#include <string>
#include <string_view>

namespace testing_support {

// A fresh directory under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory with its trailing "/", as the program's directory is given.
  const std::string& Path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + std::string(name); }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view content);
bool FileExists(const std::string& path);

// A UTF-8 literal as the GBK bytes the system keeps inside.
std::string Gbk(std::string_view utf8);

}  // namespace testing_support
