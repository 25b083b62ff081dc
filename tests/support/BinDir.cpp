#include "tests/support/BinDir.h"

#include <cstdlib>

namespace testing_support {

std::string BinDir() {
  const char* set = std::getenv("DOORLOCK_BIN_DIR");
  std::string dir = set != nullptr && *set != '\0' ? set : DOORLOCK_BIN_DIR;
  if (dir.back() != '/')
    dir += '/';
  return dir;
}

}  // namespace testing_support
