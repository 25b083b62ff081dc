// Where the simulated encoder keeps its state, and its lock, on Linux.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "encoders/simulator/SimEncoder.h"
#include "platform/Paths.h"

namespace sim {

std::string DefaultDir() {
  const char* dir = std::getenv("ENCODER_SIM_DIR");
  if (dir != nullptr && *dir != '\0')
    return WithSlash(dir);
  return plat::ExecutableDir();
}

// An open-file-description lock: threads of one process exclude each other too, and
// it conflicts with the record locks Wine takes for the Windows DLLs (flock would not).
TStateLock::TStateLock(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    throw ESimError("cannot open " + path + ": " + std::strerror(errno));
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  while (::fcntl(fd, F_OFD_SETLKW, &whole) != 0) {
    if (errno == EINTR)
      continue;
    const int error = errno;
    ::close(fd);
    throw ESimError("cannot lock " + path + ": " + std::strerror(error));
  }
  handle_ = fd;
}

TStateLock::~TStateLock() noexcept {
  // Closing the descriptor releases the lock.
  ::close(static_cast<int>(handle_));
}

}  // namespace sim
