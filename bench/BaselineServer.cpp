#include "bench/BaselineServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace bench {

namespace {
constexpr int kBacklog = 15;
constexpr std::size_t kMaxRequestBytes = 16384;
// Small stacks, as a careful server gives them: big ones cost a map and an unmap
// per connection once glibc's stack cache is full.
constexpr std::size_t kStackSize = 64 * 1024;

struct TServeStart {
  TBaselineServer* server;
  int fd;
};
}  // namespace

TBaselineServer::TBaselineServer(std::string response) : response_(std::move(response)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0)
    throw std::runtime_error("baseline: no socket");
  const int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, kBacklog) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("baseline: cannot listen");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread(&TBaselineServer::AcceptLoop, this);
}

TBaselineServer::~TBaselineServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  ::shutdown(listenFd_, SHUT_RDWR);
  acceptor_.join();
  ::close(listenFd_);
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return running_ == 0; });
}

void TBaselineServer::AcceptLoop() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    std::lock_guard lock(mutex_);
    if (stopping_) {
      if (fd >= 0)
        ::close(fd);
      return;
    }
    if (fd < 0)
      continue;
    ++running_;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kStackSize);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    auto* start = new TServeStart{this, fd};
    if (pthread_create(&thread, &attributes, &TBaselineServer::ServeThread, start) != 0) {
      delete start;
      ::close(fd);
      --running_;
    }
    pthread_attr_destroy(&attributes);
  }
}

void* TBaselineServer::ServeThread(void* argument) {
  const TServeStart start = *static_cast<TServeStart*>(argument);
  delete static_cast<TServeStart*>(argument);
  start.server->Serve(start.fd);
  return nullptr;
}

void TBaselineServer::Serve(int fd) {
  char buffer[4096];
  std::size_t total = 0;
  bool framed = false;
  while (!framed && total <= kMaxRequestBytes) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    for (ssize_t i = 0; i < n && !framed; ++i)
      framed = buffer[i] == '\0';
    total += static_cast<std::size_t>(n);
  }
  if (framed)
    ::send(fd, response_.data(), response_.size(), MSG_NOSIGNAL);
  ::close(fd);
  std::lock_guard lock(mutex_);
  --running_;
  idle_.notify_all();
}

}  // namespace bench
