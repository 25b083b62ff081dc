#include "tools/client/ClientConnection.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

namespace client {
namespace {

using Clock = std::chrono::steady_clock;

// No real response comes near this; a server that keeps sending is not one of ours.
constexpr std::size_t kMaxResponseBytes = 1 << 20;

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  int Fd() const { return fd_; }

 private:
  int fd_;
};

class Deadline {
 public:
  explicit Deadline(std::chrono::milliseconds timeout) : end_(Clock::now() + timeout) {}
  // Milliseconds left for poll(), rounded up so that poll never spins on 0 early.
  int Remaining() const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left > 1'000'000'000 ? 1'000'000'000 : left);
  }

 private:
  Clock::time_point end_;
};

// Waits for `events` on fd; false when the deadline passed first.
bool WaitFor(int fd, short events, const Deadline& deadline) {
  for (;;) {
    const int left = deadline.Remaining();
    if (left == 0)
      return false;
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, left);
    if (n > 0)
      return true;
    if (n < 0 && errno != EINTR)
      return true;  // let the next call report the error
  }
}

std::string Describe(const std::string& host, std::uint16_t port) {
  return host + ":" + std::to_string(port);
}

ExchangeResult Failure(ExchangeStatus status, std::string error) {
  ExchangeResult result;
  result.Status = status;
  result.Error = std::move(error);
  return result;
}

struct Connected {
  std::optional<Socket> Sock;
  ExchangeResult Error;
};

Connected Connect(const std::string& host, std::uint16_t port, const Deadline& deadline) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
    return {std::nullopt,
            Failure(ExchangeStatus::Failed, "cannot resolve " + host + ": " + ::gai_strerror(rc))};
  }
  std::string lastError = "no address";
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    Socket sock(
        ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
    if (sock.Fd() < 0) {
      lastError = std::strerror(errno);
      continue;
    }
    if (::connect(sock.Fd(), a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
      lastError = std::strerror(errno);
      continue;
    }
    if (!WaitFor(sock.Fd(), POLLOUT, deadline)) {
      ::freeaddrinfo(found);
      return {std::nullopt, Failure(ExchangeStatus::TimedOut,
                                    "no connection to " + Describe(host, port) + " in time")};
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(sock.Fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
      error = errno;
    if (error != 0) {
      lastError = std::strerror(error);
      continue;
    }
    ::freeaddrinfo(found);
    return {std::move(sock), {}};
  }
  ::freeaddrinfo(found);
  return {std::nullopt, Failure(ExchangeStatus::Failed,
                                "cannot connect to " + Describe(host, port) + ": " + lastError)};
}

bool IsClosedByPeer(int error) {
  return error == EPIPE || error == ECONNRESET;
}

}  // namespace

ExchangeResult Exchange(const std::string& host, std::uint16_t port, std::string_view request,
                        std::chrono::milliseconds timeout) {
  const Deadline deadline(timeout);
  Connected connected = Connect(host, port, deadline);
  if (!connected.Sock)
    return connected.Error;
  const int fd = connected.Sock->Fd();
  const auto timedOut = [] {
    return Failure(ExchangeStatus::TimedOut, "no response within the time-out");
  };

  std::size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd, POLLOUT, deadline))
        return timedOut();
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && IsClosedByPeer(errno)) {
      break;  // the server gave up on the request; see below whether it said anything
    } else {
      return Failure(ExchangeStatus::Failed, std::string("send failed: ") + std::strerror(errno));
    }
  }

  ExchangeResult result;
  bool anything = false;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      anything = true;
      const std::string_view chunk(buffer, static_cast<std::size_t>(n));
      const std::size_t end = chunk.find('\0');
      result.Response.append(chunk.substr(0, end));
      if (end != std::string_view::npos || result.Response.size() >= kMaxResponseBytes)
        break;
    } else if (n == 0 || IsClosedByPeer(errno)) {
      break;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!WaitFor(fd, POLLIN, deadline))
        return timedOut();
    } else if (errno != EINTR) {
      return Failure(ExchangeStatus::Failed,
                     std::string("receive failed: ") + std::strerror(errno));
    }
  }
  result.Status = anything ? ExchangeStatus::Answered : ExchangeStatus::Closed;
  return result;
}

}  // namespace client
