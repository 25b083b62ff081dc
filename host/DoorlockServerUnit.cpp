#include "host/DoorlockServerUnit.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <list>
#include <mutex>
#include <set>
#include <thread>

#include "doorlock/DoorlockMessageHandlerUnit.h"
#include "doorlock/DoorlockMessageUnit.h"

namespace {

constexpr int kListenBacklog = 15;
constexpr auto kDeactivationWait = std::chrono::milliseconds(5000);
std::atomic<int> threadsRunning{0};
// Connection threads only parse, log and call the store; an idle one then costs
// little memory even by the thousand.
constexpr std::size_t kConnectionStackSize = 256 * 1024;
// After the answer, what the client still sends is read away for a moment before
// closing, so that unread bytes do not reset the connection under the answer.
constexpr int kLingerSeconds = 1;
constexpr std::size_t kLingerBytes = 64 * 1024;
// Descriptors no connection may take: the log, Option.ini and its replacement,
// Client.mdb with SQLite's journal files, the encoder libraries' own files, and
// what the window opens. Without them a crowd of connections could make a card
// operation fail halfway, after its card number was used up.
constexpr int kReservedDescriptors = 64;
// How long the acceptor waits before looking again when room is slow to come.
constexpr auto kRoomRecheck = std::chrono::milliseconds(50);

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

}  // namespace

struct TDoorlockServer::State {
  // One open connection; its thread owns it, the others touch it under the mutex.
  struct Connection {
    explicit Connection(int descriptor) : fd(descriptor) {}
    int fd;
    bool waiting = true;                     // its request is not yet whole
    bool evicted = false;                    // closed to make room for a newer one
    std::list<Connection*>::iterator place;  // in `waiting` while waiting
  };

  std::mutex mutex;
  std::condition_variable threadsDone;  // a connection has ended
  std::set<int> connections;            // open sockets, so deactivation can shut them down
  std::list<Connection*> waiting;       // connections still reading, the oldest first
  int evicting = 0;                     // evicted, not yet closed
  int running = 0;                      // connection threads not yet finished
  std::chrono::milliseconds deactivationWait = kDeactivationWait;
  bool stopping = false;
  int listenFd = -1;
  int defaultPort = 0;
  int boundPort = 0;
  int maxConnections = 0;  // as set; 0 means from the open file limit
  int ceiling = 0;         // in force while active
  std::thread acceptor;
};

namespace {

using State = TDoorlockServer::State;
using Connection = State::Connection;

// Closes the longest-waiting connection's socket under its thread, which then ends;
// false when every open connection has its request already.
bool EvictOldestWaiting(State& state) {
  if (state.waiting.empty())
    return false;
  Connection* const oldest = state.waiting.front();
  state.waiting.pop_front();
  oldest->waiting = false;
  oldest->evicted = true;
  ++state.evicting;
  ::shutdown(oldest->fd, SHUT_RDWR);
  return true;
}

// Once the request is whole, the connection is no longer one that may be closed to
// make room: what it asks for is carried out and answered. False when it was closed
// first, and then its request is dropped unread.
bool ClaimRequest(State& state, Connection& connection) {
  std::lock_guard lock(state.mutex);
  if (connection.evicted)
    return false;
  state.waiting.erase(connection.place);
  connection.waiting = false;
  return true;
}

// Serves the one request of a connection; every error ends it silently.
void TCPServerExecute(TSocketConnection& socket, State& state, Connection& connection) {
  try {
    TDoorlockMessageHandler handler;
    std::string request;
    if (!socket.ReadRequest(request) || !ClaimRequest(state, connection))
      return;
    handler.HandleMessage(socket, DecodeRequest(request));
  } catch (...) {
    // No response; the connection is closed by the caller.
  }
}

struct ConnectionStart {
  std::shared_ptr<State> state;  // keeps the state alive for a thread left running
  Connection connection;
};

void FinishConnection(State& state, Connection& connection) {
  std::lock_guard lock(state.mutex);
  if (connection.waiting)
    state.waiting.erase(connection.place);
  if (connection.evicted)
    --state.evicting;
  // Closed under the lock, so deactivation never shuts down a reused descriptor.
  state.connections.erase(connection.fd);
  ::close(connection.fd);
  --state.running;
  --threadsRunning;
  state.threadsDone.notify_all();
}

void* ConnectionThread(void* argument) {
  std::unique_ptr<ConnectionStart> start(static_cast<ConnectionStart*>(argument));
  {
    TSocketConnection socket(start->connection.fd);
    TCPServerExecute(socket, *start->state, start->connection);
    socket.Disconnect();
  }
  FinishConnection(*start->state, start->connection);
  return nullptr;
}

void StartConnection(const std::shared_ptr<State>& state, int fd) {
  auto start = std::make_unique<ConnectionStart>(ConnectionStart{state, Connection(fd)});
  {
    std::lock_guard lock(state->mutex);
    if (state->stopping) {
      ::close(fd);
      return;
    }
    state->connections.insert(fd);
    start->connection.place = state->waiting.insert(state->waiting.end(), &start->connection);
    ++state->running;
    ++threadsRunning;
  }
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
    FinishConnection(*state, start->connection);
  }
}

// Blocks until a client is waiting to be accepted, or the server stops.
void WaitForConnectAttempt(State& state) {
  pollfd listener{state.listenFd, POLLIN, 0};
  for (;;) {
    if (::poll(&listener, 1, 1000) > 0)
      return;
    std::lock_guard lock(state.mutex);
    if (state.stopping)
      return;
  }
}

// Returns once a new connection fits under the ceiling, closing the connections
// that have waited longest if need be; false when the server stops meanwhile.
// Nobody's connection is closed before another client actually connects.
bool MakeRoom(State& state) {
  std::unique_lock lock(state.mutex);
  if (state.stopping)
    return false;
  if (static_cast<int>(state.connections.size()) < state.ceiling)
    return true;
  lock.unlock();
  WaitForConnectAttempt(state);
  lock.lock();
  while (!state.stopping && static_cast<int>(state.connections.size()) >= state.ceiling) {
    // Those already evicted are on their way out; close only as many more as needed.
    if (static_cast<int>(state.connections.size()) - state.evicting >= state.ceiling)
      EvictOldestWaiting(state);
    // Otherwise every connection is being answered, and one ends soon.
    state.threadsDone.wait_for(lock, kRoomRecheck);
  }
  return !state.stopping;
}

void AcceptLoop(const std::shared_ptr<State>& state) {
  while (MakeRoom(*state)) {
    const int fd = ::accept4(state->listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      StartConnection(state, fd);
      continue;
    }
    const int error = errno;
    std::unique_lock lock(state->mutex);
    if (state->stopping)
      return;
    if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
      // Out of descriptors or memory all the same (the system's, or files opened
      // beyond the reserve): make room as at the ceiling, and wait for it.
      if (state->evicting == 0)
        EvictOldestWaiting(*state);
      state->threadsDone.wait_for(lock, kRoomRecheck);
    }
  }
}

// Raises the soft limit of open files to the hard limit; returns the soft limit then
// in force.
rlim_t RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return 1024;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
      limit = raised;
  }
  return limit.rlim_cur;
}

int OpenDescriptorCount() {
  if (DIR* const dir = ::opendir("/proc/self/fd")) {
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] != '.')
        ++count;
    }
    ::closedir(dir);
    return count - 1;  // the directory's own
  }
  int count = 0;
  for (int fd = 0; fd < 65536; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1)
      ++count;
  }
  return count;
}

// What the open file limit leaves for connections beside the descriptors open now
// and the reserve; at least one.
int ConnectionCeiling() {
  const rlim_t limit = std::min<rlim_t>(RaiseOpenFileLimit(), std::numeric_limits<int>::max());
  const long long room =
      static_cast<long long>(limit) - OpenDescriptorCount() - kReservedDescriptors;
  return static_cast<int>(std::max(1LL, room));
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
int TDoorlockServer::MaxConnections() const {
  return state_->ceiling;
}
void TDoorlockServer::SetMaxConnections(int count) {
  state_->maxConnections = count;
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
  const int ceiling = state_->maxConnections > 0 ? state_->maxConnections : ConnectionCeiling();

  std::lock_guard lock(state_->mutex);
  state_->ceiling = ceiling;
  state_->boundPort = ntohs(address.sin_port);
  state_->stopping = false;
  state_->listenFd = fd;
  state_->acceptor = std::thread(AcceptLoop, state_);
}

void TDoorlockServer::Deactivate() {
  if (!Active())
    return;
  std::chrono::steady_clock::time_point deadline;
  {
    std::lock_guard lock(state_->mutex);
    deadline = std::chrono::steady_clock::now() + state_->deactivationWait;
    state_->stopping = true;
    state_->threadsDone.notify_all();  // an acceptor waiting for room
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

void TDoorlockServer::SetDeactivationWait(std::chrono::milliseconds wait) {
  std::lock_guard lock(state_->mutex);
  state_->deactivationWait = wait;
}

int ConnectionThreadsRunning() {
  return threadsRunning.load();
}
