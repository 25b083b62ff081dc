#include "tests/tools/FakeServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace testing_support {
namespace {

// Only a guard against a client that never comes or never leaves: the tests
// never wait this long when the client behaves.
constexpr int kGuardMs = 60'000;

int BoundSocket(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    throw std::runtime_error("bind failed");
  }
  port = ntohs(address.sin_port);
  return fd;
}

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  int n;
  while ((n = ::poll(&p, 1, kGuardMs)) < 0 && errno == EINTR) {
  }
  return n > 0;
}

// Reads into `into` until a 0x00 byte has come (when `untilTerminator`) or the
// peer closes; true when the peer closed.
bool ReadFrom(int fd, std::string& into, bool untilTerminator) {
  char buffer[4096];
  for (;;) {
    if (untilTerminator && into.find('\0') != std::string::npos)
      return false;
    if (!Readable(fd))
      return false;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      return true;
    }
  }
}

void WriteAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

FakeServer::FakeServer(Action action, std::string answer)
    : action_(action), answer_(std::move(answer)) {
  listener_ = BoundSocket(port_);
  if (::listen(listener_, 1) != 0) {
    ::close(listener_);
    throw std::runtime_error("listen failed");
  }
  thread_ = std::thread([this] { Serve(); });
}

FakeServer::~FakeServer() {
  if (thread_.joinable())
    thread_.join();
  ::close(listener_);
}

FakeServer::Record FakeServer::Finish() {
  if (thread_.joinable())
    thread_.join();
  return record_;
}

void FakeServer::Serve() {
  if (!Readable(listener_))
    return;
  const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0)
    return;
  bool closed = ReadFrom(fd, record_.Received, true);
  if (!closed) {
    switch (action_) {
      case Action::Answer:
        WriteAll(fd, answer_);
        closed = ReadFrom(fd, record_.Received, false);
        break;
      case Action::AnswerAndClose:
        WriteAll(fd, answer_);
        break;
      case Action::Close:
        break;
      case Action::Stay:
        closed = ReadFrom(fd, record_.Received, false);
        break;
    }
  }
  record_.ClientClosed = closed;
  ::close(fd);
}

RefusingPort::RefusingPort() {
  fd_ = BoundSocket(port_);
}

RefusingPort::~RefusingPort() {
  ::close(fd_);
}

}  // namespace testing_support
