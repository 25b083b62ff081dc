#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "doorlock/DoorlockMessageUnit.h"

// One accepted connection, as the request handler sees it.
class TConnection {
 public:
  virtual ~TConnection() = default;
  // Writes every byte in one piece; throws std::runtime_error when the peer has gone.
  virtual void Write(std::string_view bytes) = 0;
};

namespace plat {
class TXmlElement;
}

// Carries out one request of the hotel-management system: logs it, parses it,
// drives the encoder, keeps the room and issued-card tables, answers on the same
// connection and logs the outcome. One handler serves one request.
class TDoorlockMessageHandler {
 public:
  // `text` is the request decoded to GBK. A request that cannot be parsed raises
  // and gets no response; so does an "IssueCard" whose fields do not convert.
  void HandleMessage(TConnection& connection, const std::string& text);

  bool DoIssueCard(const plat::TXmlElement& root, std::int64_t& CardNo);
  bool DoReadCard(std::int64_t& CardNo);
  bool DoEraseCard();
  // A client that has gone is not an error: the response is simply lost.
  void SendResponse(TConnection& connection, const TResponse& response);
};
