#include "host/DoorlockServerUnit.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "doorlock/DoorlockMessageUnit.h"

namespace {

constexpr int kListenBacklog = 15;
constexpr auto kDeactivationWait = std::chrono::milliseconds(5000);
// Connection threads only parse, log and call the store; an idle one then costs
// little memory even by the thousand.
constexpr std::size_t kConnectionStackSize = 256 * 1024;
// After the answer, what the client still sends is read away for a moment before
// closing, so that unread bytes do not reset the connection under the answer.
constexpr int kLingerSeconds = 1;
constexpr std::size_t kLingerBytes = 64 * 1024;

// A connection thread's socket.
class TSocketConnection : public TConnection {
 public:
  explicit TSocketConnection(int fd) : fd_(fd) {}

  void Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        throw std::runtime_error(std::strerror(errno));
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  // Every byte up to the first 0x00 byte, which is consumed; false when the client
  // closes first or sends more than kMaxRequestBytes without one. No time limit.
  bool ReadRequest(std::string& request) {
    char buffer[4096];
    request.clear();
    for (;;) {
      const std::size_t room = kMaxRequestBytes + 1 - request.size();
      const ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, room), 0);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        return false;
      const std::string_view chunk(buffer, static_cast<std::size_t>(n));
      const std::size_t zero = chunk.find('\0');
      if (zero != std::string_view::npos) {
        request.append(chunk.substr(0, zero));
        return request.size() <= kMaxRequestBytes;
      }
      request.append(chunk);
      if (request.size() > kMaxRequestBytes)
        return false;
    }
  }

  // Ends our side at once, then reads away what the client may still send.
  void Disconnect() {
    ::shutdown(fd_, SHUT_WR);
    timeval timeout{kLingerSeconds, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char buffer[4096];
    std::size_t drained = 0;
    while (drained < kLingerBytes) {
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0)
        break;
      drained += static_cast<std::size_t>(n);
    }
  }

 private:
  int fd_;
};

// Serves the one request of a connection; every error ends it silently.
void TCPServerExecute(TSocketConnection& connection) {
  try {
    TDoorlockMessageHandler handler;
    std::string request;
    if (!connection.ReadRequest(request))
      return;
    handler.HandleMessage(connection, DecodeRequest(request));
  } catch (...) {
    // No response; the connection is closed by the caller.
  }
}

}  // namespace

struct TDoorlockServer::State {
  std::mutex mutex;
  std::condition_variable threadsDone;
  std::set<int> connections;  // open sockets, so deactivation can shut them down
  int running = 0;            // connection threads not yet finished
  bool stopping = false;
  int listenFd = -1;
  int defaultPort = 0;
  int boundPort = 0;
  std::thread acceptor;
};

namespace {

using State = TDoorlockServer::State;

struct ConnectionStart {
  std::shared_ptr<State> state;  // keeps the state alive for a thread left running
  int fd;
};

void FinishConnection(State& state, int fd) {
  std::lock_guard lock(state.mutex);
  // Closed under the lock, so deactivation never shuts down a reused descriptor.
  state.connections.erase(fd);
  ::close(fd);
  --state.running;
  state.threadsDone.notify_all();
}

void* ConnectionThread(void* argument) {
  std::unique_ptr<ConnectionStart> start(static_cast<ConnectionStart*>(argument));
  {
    TSocketConnection connection(start->fd);
    TCPServerExecute(connection);
    connection.Disconnect();
  }
  FinishConnection(*start->state, start->fd);
  return nullptr;
}

void StartConnection(const std::shared_ptr<State>& state, int fd) {
  {
    std::lock_guard lock(state->mutex);
    if (state->stopping) {
      ::close(fd);
      return;
    }
    state->connections.insert(fd);
    ++state->running;
  }
  auto start = std::make_unique<ConnectionStart>(ConnectionStart{state, fd});
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kConnectionStackSize);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const int rc = pthread_create(&thread, &attributes, ConnectionThread, start.get());
  pthread_attr_destroy(&attributes);
  if (rc == 0) {
    start.release();  // the thread owns it now
  } else {
    FinishConnection(*state, fd);
  }
}

void AcceptLoop(const std::shared_ptr<State>& state) {
  for (;;) {
    const int fd = ::accept4(state->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      StartConnection(state, fd);
      continue;
    }
    const int error = errno;
    {
      std::lock_guard lock(state->mutex);
      if (state->stopping)
        return;
    }
    if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
      // Out of descriptors: give running connections a moment to finish.
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
}

}  // namespace

TDoorlockServer::TDoorlockServer() : state_(std::make_shared<State>()) {}

TDoorlockServer::~TDoorlockServer() {
  try {
    Deactivate();
  } catch (const ETerminateThreadTimeout&) {
    // Threads still running keep the state alive through their own reference.
  }
}

void TDoorlockServer::SetDefaultPort(int port) {
  state_->defaultPort = port;
}
int TDoorlockServer::DefaultPort() const {
  return state_->defaultPort;
}
int TDoorlockServer::BoundPort() const {
  return state_->boundPort;
}
bool TDoorlockServer::Active() const {
  return state_->listenFd >= 0;
}

void TDoorlockServer::Activate() {
  if (Active())
    return;
  const int port = state_->defaultPort;
  auto fail = [port](int fd, const char* what) {
    const int error = errno;
    if (fd >= 0)
      ::close(fd);
    throw std::runtime_error("Cannot " + std::string(what) + " on port " + std::to_string(port) +
                             ": " + std::strerror(error));
  };
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    fail(fd, "open a socket");
  const int one = 1;
  // A restart right after a stop must not fail on connections in TIME_WAIT.
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    fail(fd, "listen");
  if (::listen(fd, kListenBacklog) != 0)
    fail(fd, "listen");
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);

  std::lock_guard lock(state_->mutex);
  state_->boundPort = ntohs(address.sin_port);
  state_->stopping = false;
  state_->listenFd = fd;
  state_->acceptor = std::thread(AcceptLoop, state_);
}

void TDoorlockServer::Deactivate() {
  if (!Active())
    return;
  const auto deadline = std::chrono::steady_clock::now() + kDeactivationWait;
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  ::shutdown(state_->listenFd, SHUT_RDWR);  // wakes the blocked accept
  state_->acceptor.join();
  ::close(state_->listenFd);
  state_->listenFd = -1;

  std::unique_lock lock(state_->mutex);
  for (const int fd : state_->connections)
    ::shutdown(fd, SHUT_RDWR);
  if (!state_->threadsDone.wait_until(lock, deadline, [&] { return state_->running == 0; })) {
    throw ETerminateThreadTimeout();
  }
}
