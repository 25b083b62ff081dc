#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace client {

enum class ExchangeStatus {
  Answered,  // bytes came back: up to the 0x00 byte, or all that came before the close
  Closed,    // the server closed the connection without sending anything
  Failed,    // the connection could not be made or broke
  TimedOut,  // the time-out ran out before the exchange was over
};

struct ExchangeResult {
  ExchangeStatus Status = ExchangeStatus::Failed;
  std::string Response;  // without the 0x00 byte
  std::string Error;     // for Failed and TimedOut
};

// Connects, sends `request` as it stands and reads the answer up to its 0x00 byte.
// `timeout` bounds the whole exchange, connect included (not the name lookup).
ExchangeResult Exchange(const std::string& host, std::uint16_t port, std::string_view request,
                        std::chrono::milliseconds timeout);

}  // namespace client
