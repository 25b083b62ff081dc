#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

// One accepted connection, as the request handler sees it.
class TConnection {
 public:
  virtual ~TConnection() = default;
  // Writes every byte in one piece; throws std::runtime_error when the peer has gone.
  virtual void Write(std::string_view bytes) = 0;
};

// Raised by Deactivate when connection threads outlive its wait.
class ETerminateThreadTimeout : public std::runtime_error {
 public:
  ETerminateThreadTimeout() : std::runtime_error("Terminate Thread Timeout") {}
};

// The listening server: every IPv4 address at the default port, backlog 15, one
// thread per accepted connection with no limit on their number, each serving one
// request through TCPServerExecute.
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

  // Throws std::runtime_error naming the port when it cannot listen.
  void Activate();
  // Stops listening, shuts down every open connection and waits at most 5000 ms for
  // the connection threads; throws ETerminateThreadTimeout when some still run.
  void Deactivate();

  struct State;  // shared with the connection threads

 private:
  std::shared_ptr<State> state_;
};
