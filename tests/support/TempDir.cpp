#include "tests/support/TempDir.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/TextCodec.h"

namespace testing_support {

namespace {

// Whether every user may pass through `path` and each folder above it.
bool OpenToAnyUser(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(path, error);
  if (error)
    return false;
  for (std::filesystem::path dir = real;; dir = dir.parent_path()) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0)
      return false;
    if (dir == dir.root_path())
      return true;
  }
}

}  // namespace

TempDir::TempDir(Reach reach) {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  if (reach == Reach::AnyUser && !OpenToAnyUser(base))
    base = "/tmp";
  std::string pattern = (std::filesystem::absolute(base) / "doorlock-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a folder in " + base + ": " + std::strerror(errno));
  }
  path_ = pattern + "/";
}

TempDir::~TempDir() {
  std::error_code ignored;
  // A test may have made the directory read-only.
  ::chmod(path_.c_str(), 0700);
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

bool FileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

std::string Gbk(std::string_view utf8) {
  return plat::Utf8ToGbk(utf8);
}

}  // namespace testing_support
