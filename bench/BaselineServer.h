#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace bench {

// The floor for any server of this protocol on this machine: one thread per
// connection that reads up to the 0x00 byte, writes a fixed framed response and
// closes. Listens on a free loopback port with the same backlog as the interface.
class TBaselineServer {
 public:
  explicit TBaselineServer(std::string response);
  // Stops listening and waits for the connection threads.
  ~TBaselineServer();
  TBaselineServer(const TBaselineServer&) = delete;
  TBaselineServer& operator=(const TBaselineServer&) = delete;

  int Port() const { return port_; }

 private:
  void AcceptLoop();
  static void* ServeThread(void* argument);
  void Serve(int fd);

  const std::string response_;
  int listenFd_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  std::condition_variable idle_;
  int running_ = 0;
  bool stopping_ = false;
  std::thread acceptor_;
};

}  // namespace bench
