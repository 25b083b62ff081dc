#include "tools/client/ClientResponse.h"

#include <pugixml.hpp>

namespace client {

std::optional<Response> ParseResponse(std::string_view document) {
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed =
      doc.load_buffer(document.data(), document.size(), pugi::parse_default, pugi::encoding_utf8);
  const pugi::xml_node root = doc.document_element();
  if (!parsed || std::string_view(root.name()) != "DoorResponse")
    return std::nullopt;
  Response response;
  response.ResultCode = root.child("ResultCode").child_value();
  response.ResultMessage = root.child("ResultMessage").child_value();
  response.CardNo = root.child("CardNo").child_value();
  return response;
}

std::string FormatResponse(const Response& response) {
  return "ResultCode: " + response.ResultCode + "\nResultMessage: " + response.ResultMessage +
         "\nCardNo: " + response.CardNo + "\n";
}

}  // namespace client
