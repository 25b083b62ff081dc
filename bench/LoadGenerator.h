#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

struct TRoundResult {
  std::size_t Completed = 0;  // answered with the expected text
  std::size_t Failed = 0;     // refused, cut off, or answered otherwise
  double Seconds = 0;
  std::vector<double> LatenciesMs;  // of the completed requests, connect to close

  double RequestsPerSecond() const { return Seconds > 0 ? Completed / Seconds : 0; }
};

// One round of closed-loop load on 127.0.0.1:port: `clients` threads each
// connect, send one framed request, read the response up to its 0x00 byte and
// close, again and again for `seconds`. Client i sends requests[i], then
// requests[i + clients], and so on round the list. A response counts as
// completed when it holds `expect`.
TRoundResult RunRound(int port, const std::vector<std::string>& requests, int clients,
                      double seconds, const std::string& expect);

// A client socket connected to 127.0.0.1:port, which never hangs on a server that
// does not answer (10 s); -1 when it cannot connect.
int ConnectLoopback(int port);

// Sends each request once, one after another; how many got `expect`.
std::size_t SendEach(int port, const std::vector<std::string>& requests, const std::string& expect);

// The value below which `fraction` of the sorted samples lie (nearest rank).
double Percentile(std::vector<double> samples, double fraction);
double Median(std::vector<double> samples);

// Connected client sockets, closed on destruction, for holding connections idle.
class TIdleClients {
 public:
  TIdleClients(int port, int count);
  ~TIdleClients();
  TIdleClients(const TIdleClients&) = delete;
  TIdleClients& operator=(const TIdleClients&) = delete;
  std::size_t Count() const { return fds_.size(); }

 private:
  std::vector<int> fds_;
};

}  // namespace bench
