#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace bench {

// Connections to 127.0.0.1:port that never finish a request, as a flood of them
// would hold: every other one sends nothing, the others one byte a second. All are
// closed on destruction.
class TIdleCrowd {
 public:
  explicit TIdleCrowd(int port);
  ~TIdleCrowd();
  TIdleCrowd(const TIdleCrowd&) = delete;
  TIdleCrowd& operator=(const TIdleCrowd&) = delete;

  // Connects until the crowd counts `count`. Each connection waits for room in the
  // listen backlog: one that finds it full is dropped, and tried again a second later.
  // Throws std::runtime_error when the server stops taking connections.
  void GrowTo(int count);
  // Returns once every slow connection has sent one more byte.
  void WaitForSlowRound();
  int Size();
  // How many of the connections the server has ended.
  int ClosedByServer();

 private:
  void SendSlowly();

  const int port_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<int> fds_;
  bool stop_ = false;
  int rounds_ = 0;
  std::thread sender_;
};

// How many connections wait in the accept queue of the TCP socket listening on
// `port` on this machine, or -1 when the kernel does not tell.
int AcceptQueueLength(int port);

}  // namespace bench
