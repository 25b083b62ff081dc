#pragma once

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

// Raised by Deactivate when connection threads outlive its wait.
class ETerminateThreadTimeout : public std::runtime_error {
 public:
  ETerminateThreadTimeout() : std::runtime_error("Terminate Thread Timeout") {}
};

// The listening server: every IPv4 address at the default port, backlog 15, one
// thread per accepted connection, each serving one request through TCPServerExecute.
// Connections are not limited by number, only by the open file limit: activation
// raises the process's soft limit to its hard limit and keeps a reserve of
// descriptors for the program's own files; when the connections use up the rest and
// another client connects, the connection that has waited longest without
// delivering a whole request is closed to make room for it.
class TDoorlockServer {
 public:
  TDoorlockServer();
  // Deactivates, swallowing a timeout: a destructor must not throw.
  ~TDoorlockServer();
  TDoorlockServer(const TDoorlockServer&) = delete;
  TDoorlockServer& operator=(const TDoorlockServer&) = delete;

  void SetDefaultPort(int port);  // 0 picks a free port (tests)
  int DefaultPort() const;
  // The port actually listened on while active.
  int BoundPort() const;
  bool Active() const;

  // The connections held open at most, fixed at activation from the open file limit;
  // 0 before. SetMaxConnections, before activation, sets it instead (tests).
  int MaxConnections() const;
  void SetMaxConnections(int count);

  // Throws std::runtime_error naming the port when it cannot listen.
  void Activate();
  // Stops listening, shuts down every open connection and waits at most 5000 ms for
  // the connection threads; throws ETerminateThreadTimeout when some still run.
  void Deactivate();
  // Another wait for Deactivate (tests).
  void SetDeactivationWait(std::chrono::milliseconds wait);

  struct State;  // shared with the connection threads

 private:
  std::shared_ptr<State> state_;
};

// Connection threads of every server that have not finished yet. After a deactivation
// that timed out, they may still use the driver, the record store, the options and
// the log: shut-down must then destroy none of them.
int ConnectionThreadsRunning();
