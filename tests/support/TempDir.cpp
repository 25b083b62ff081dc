#include "tests/support/TempDir.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/TextCodec.h"

namespace testing_support {

TempDir::TempDir() {
  std::string pattern = "/tmp/doorlock-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
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
