#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace client {

struct Response {
  std::string ResultCode;
  std::string ResultMessage;
  std::string CardNo;
};

// Reads a <DoorResponse> document (UTF-8); nothing when the text is not one.
std::optional<Response> ParseResponse(std::string_view document);

// The lines the tool prints: "key: value" for each field.
std::string FormatResponse(const Response& response);

}  // namespace client
