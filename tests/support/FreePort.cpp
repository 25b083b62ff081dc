#include "tests/support/FreePort.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

namespace testing_support {
namespace {

constexpr int kRangeSize = 8192;

// [first, end) of the ports the tests hand out.
std::pair<int, int> TestPorts() {
  int low = 32768;  // Linux's default ephemeral range: 32768 to 60999
  int high = 60999;
  std::ifstream("/proc/sys/net/ipv4/ip_local_port_range") >> low >> high;
  if (low - kRangeSize >= 1024)
    return {low - kRangeSize, low};
  if (high + 1 + kRangeSize <= 65536)
    return {high + 1, high + 1 + kRangeSize};
  return {20000, 20000 + kRangeSize};  // all ports are ephemeral: the claims still hold
}

// Claims `port` for this process; the descriptor that holds the claim, or -1 when
// another process holds it.
int Claim(int port) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    throw std::runtime_error("cannot open a socket to claim a port");
  const std::string name = "doorlock-test-port-" + std::to_string(port);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path + 1, name.data(), name.size());  // sun_path[0] == 0: abstract
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Whether the program could bind `port` now, as it binds it.
bool Bindable(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return false;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return bound;
}

}  // namespace

int FreePort() {
  static std::mutex mutex;
  static const std::pair<int, int> range = TestPorts();
  const auto [first, end] = range;
  // Processes started one after another begin far apart in the range.
  static int next =
      first + static_cast<int>((static_cast<long>(::getpid()) * 7919) % (end - first));
  std::lock_guard lock(mutex);
  for (int tried = 0; tried < end - first; ++tried) {
    const int port = next;
    next = next + 1 == end ? first : next + 1;
    const int claim = Claim(port);
    if (claim < 0)
      continue;
    if (Bindable(port))
      return port;  // the claim stays open until the process ends
    ::close(claim);
  }
  throw std::runtime_error("no free port from " + std::to_string(first) + " to " +
                           std::to_string(end - 1));
}

}  // namespace testing_support
