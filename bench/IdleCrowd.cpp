#include "bench/IdleCrowd.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>

#include "bench/LoadGenerator.h"

namespace bench {

namespace {

// Below the listen backlog of 15, leaving room for other clients' requests.
constexpr int kBacklogRoom = 8;

}  // namespace

int AcceptQueueLength(int port) {
  const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (fd < 0)
    return -1;
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } query{};
  query.header.nlmsg_len = sizeof query;
  query.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  query.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  query.request.sdiag_family = AF_INET;
  query.request.sdiag_protocol = IPPROTO_TCP;
  query.request.idiag_states = 1U << TCP_LISTEN;
  int length = -1;
  if (::send(fd, &query, sizeof query, 0) == static_cast<ssize_t>(sizeof query)) {
    alignas(nlmsghdr) char buffer[8192];
    bool done = false;
    while (!done) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0)
        break;
      int left = static_cast<int>(n);
      for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, left);
           message = NLMSG_NEXT(message, left)) {
        if (message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR) {
          done = true;
          break;
        }
        const auto* socket = static_cast<const inet_diag_msg*>(NLMSG_DATA(message));
        if (ntohs(socket->id.idiag_sport) == port)
          length = static_cast<int>(socket->idiag_rqueue);
      }
    }
  }
  ::close(fd);
  return length;
}

TIdleCrowd::TIdleCrowd(int port) : port_(port), sender_([this] { SendSlowly(); }) {}

TIdleCrowd::~TIdleCrowd() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  sender_.join();
  for (const int fd : fds_)
    ::close(fd);
}

void TIdleCrowd::GrowTo(int count) {
  while (Size() < count) {
    for (int wait = 0; AcceptQueueLength(port_) >= kBacklogRoom; ++wait) {
      if (wait == 50000)
        throw std::runtime_error("the server stopped taking connections");
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const int fd = ConnectLoopback(port_);
    if (fd < 0)
      throw std::runtime_error("idle connection " + std::to_string(Size() + 1) + " failed");
    std::lock_guard lock(mutex_);
    fds_.push_back(fd);
  }
}

void TIdleCrowd::WaitForSlowRound() {
  std::unique_lock lock(mutex_);
  const int round = rounds_;
  wake_.wait(lock, [&] { return rounds_ >= round + 2; });  // the next one whole
}

int TIdleCrowd::Size() {
  std::lock_guard lock(mutex_);
  return static_cast<int>(fds_.size());
}

int TIdleCrowd::ClosedByServer() {
  std::vector<pollfd> polls;
  {
    std::lock_guard lock(mutex_);
    for (const int fd : fds_)
      polls.push_back({fd, POLLRDHUP, 0});
  }
  ::poll(polls.data(), polls.size(), 0);
  return static_cast<int>(std::count_if(polls.begin(), polls.end(), [](const pollfd& p) {
    return (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
  }));
}

void TIdleCrowd::SendSlowly() {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; })) {
    for (std::size_t i = 1; i < fds_.size(); i += 2)
      ::send(fds_[i], "<", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    ++rounds_;
    wake_.notify_all();
  }
}

}  // namespace bench
