#include "tools/client/ClientRequest.h"

namespace client {
namespace {

void AppendElement(std::string& out, std::string_view name, std::string_view value) {
  out.append("<").append(name).append(">");
  out += XmlEscape(value);
  out.append("</").append(name).append(">");
}

}  // namespace

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
        break;
    }
  }
  return out;
}

std::string IssueCardDocument(const IssueFields& issue) {
  std::string out = "<DoorRequest type=\"IssueCard\">";
  // The server reads the fields by position, so the order here is the protocol.
  AppendElement(out, "RequestID", "");
  AppendElement(out, "RegisterId", issue.RegisterId);
  AppendElement(out, "RoomBuildingCode", issue.Building);
  AppendElement(out, "RoomFloorCode", issue.Floor);
  AppendElement(out, "RoomNo", issue.Room);
  AppendElement(out, "GuestName", issue.Guest);
  AppendElement(out, "CheckInDate", plat::FormatDateTime("yyyy-mm-dd", issue.CheckIn));
  AppendElement(out, "CheckInTime", plat::FormatDateTime("hh:nn:ss", issue.CheckIn));
  AppendElement(out, "CheckOutDate", plat::FormatDateTime("yyyy-mm-dd", issue.CheckOut));
  AppendElement(out, "CheckOutTime", plat::FormatDateTime("hh:nn:ss", issue.CheckOut));
  AppendElement(out, "IsCopy", issue.IsCopy ? "1" : "0");
  out += "</DoorRequest>";
  return out;
}

std::string EmptyDocument(std::string_view type) {
  return "<DoorRequest type=\"" + XmlEscape(type) + "\"></DoorRequest>";
}

std::string Frame(std::string_view document) {
  std::string bytes(document);
  bytes.push_back('\0');
  return bytes;
}

}  // namespace client
