#include "platform/Paths.h"

#include <unistd.h>

#include <climits>
#include <stdexcept>

namespace plat {

std::string ExecutableDir() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0)
    throw std::runtime_error("Cannot find the program's own directory");
  std::string path(buffer, static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace plat
