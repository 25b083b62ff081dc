#include "bench/LoadGenerator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <latch>
#include <stdexcept>
#include <string_view>
#include <thread>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

// A client never hangs on a server that does not answer.
constexpr timeval kSocketTimeout{10, 0};

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Up to and with the first 0x00 byte; false when the server closes first.
bool ReadResponse(int fd, std::string& response) {
  char buffer[1024];
  response.clear();
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    response.append(buffer, static_cast<std::size_t>(n));
    if (response.find('\0') != std::string::npos)
      return true;
  }
}

bool Exchange(int port, const std::string& request, const std::string& expect,
              std::string& response) {
  const int fd = ConnectLoopback(port);
  if (fd < 0)
    return false;
  const bool ok = SendAll(fd, request) && ReadResponse(fd, response) &&
                  response.find(expect) != std::string::npos;
  ::close(fd);
  return ok;
}

struct TClientTally {
  std::vector<double> latenciesMs;
  std::size_t failed = 0;
};

}  // namespace

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return -1;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &kSocketTimeout, sizeof kSocketTimeout);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &kSocketTimeout, sizeof kSocketTimeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

TRoundResult RunRound(int port, const std::vector<std::string>& requests, int clients,
                      double seconds, const std::string& expect) {
  std::vector<TClientTally> tallies(static_cast<std::size_t>(clients));
  std::latch start(1);
  Clock::time_point deadline;
  std::vector<std::thread> threads;
  threads.reserve(tallies.size());
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      TClientTally& tally = tallies[static_cast<std::size_t>(c)];
      tally.latenciesMs.reserve(4096);
      std::string response;
      start.wait();
      for (std::size_t next = static_cast<std::size_t>(c); Clock::now() < deadline;
           next += static_cast<std::size_t>(clients)) {
        const auto begin = Clock::now();
        if (Exchange(port, requests[next % requests.size()], expect, response)) {
          const std::chrono::duration<double, std::milli> took = Clock::now() - begin;
          tally.latenciesMs.push_back(took.count());
        } else {
          ++tally.failed;
        }
      }
    });
  }
  const auto begin = Clock::now();
  deadline =
      begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  start.count_down();
  for (std::thread& thread : threads)
    thread.join();
  const std::chrono::duration<double> took = Clock::now() - begin;

  TRoundResult result;
  result.Seconds = took.count();
  for (TClientTally& tally : tallies) {
    result.Failed += tally.failed;
    result.LatenciesMs.insert(result.LatenciesMs.end(), tally.latenciesMs.begin(),
                              tally.latenciesMs.end());
  }
  result.Completed = result.LatenciesMs.size();
  return result;
}

std::size_t SendEach(int port, const std::vector<std::string>& requests,
                     const std::string& expect) {
  std::size_t answered = 0;
  std::string response;
  for (const std::string& request : requests)
    answered += Exchange(port, request, expect, response) ? 1 : 0;
  return answered;
}

double Percentile(std::vector<double> samples, double fraction) {
  if (samples.empty())
    return 0;
  const std::size_t rank = static_cast<std::size_t>(std::ceil(fraction * samples.size()));
  const std::size_t index = rank == 0 ? 0 : rank - 1;
  std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(index),
                   samples.end());
  return samples[index];
}

double Median(std::vector<double> samples) {
  return Percentile(std::move(samples), 0.5);
}

TIdleClients::TIdleClients(int port, int count) {
  fds_.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int fd = ConnectLoopback(port);
    if (fd < 0)
      throw std::runtime_error("could not open idle connection " + std::to_string(i + 1) + ": " +
                               std::to_string(errno));
    fds_.push_back(fd);
  }
}

TIdleClients::~TIdleClients() {
  for (const int fd : fds_)
    ::close(fd);
}

}  // namespace bench
