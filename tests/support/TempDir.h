#pragma once

#include <string>
#include <string_view>

namespace testing_support {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it at the end.
class TempDir {
 public:
  // Who must be able to reach the directory: a test that runs code as another user
  // (tests/support/Unprivileged.h) needs a path every user may pass through, and
  // falls back to /tmp where $TMPDIR or a folder above it is closed to others.
  enum class Reach { Owner, AnyUser };

  explicit TempDir(Reach reach = Reach::Owner);
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
