#pragma once

#include <cstdint>
#include <string>
#include <thread>

namespace testing_support {

// A one-connection server on 127.0.0.1 that stands in for the door lock interface.
// It reads the request up to its 0x00 byte, then does what it was told. Every wait
// is bounded, so the server ends by itself even when no client comes.
class FakeServer {
 public:
  enum class Action {
    Answer,          // write the answer, keep the connection open until the client closes it
    AnswerAndClose,  // write the answer and close
    Close,           // close without a word
    Stay,            // say nothing until the client closes the connection
  };

  explicit FakeServer(Action action, std::string answer = {});
  ~FakeServer();
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;

  std::uint16_t Port() const { return port_; }

  struct Record {
    std::string Received;       // every byte the client sent
    bool ClientClosed = false;  // the client ended the connection itself
  };
  // Waits for the exchange to end and tells what happened.
  Record Finish();

 private:
  void Serve();

  Action action_;
  std::string answer_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  Record record_;
  std::thread thread_;
};

// A port on 127.0.0.1 that refuses connections: bound, so no one else takes it,
// but not listening.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  std::uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace testing_support
