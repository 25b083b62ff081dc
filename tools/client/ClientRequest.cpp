#include "tools/client/ClientRequest.h"

#include <array>

#include "doorlock/DoorlockMessageUnit.h"

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
  namespace F = IssueCardField;
  std::array<std::string, F::Count> fields;
  fields[F::RegisterId] = issue.RegisterId;
  fields[F::RoomBuildingCode] = issue.Building;
  fields[F::RoomFloorCode] = issue.Floor;
  fields[F::RoomNo] = issue.Room;
  fields[F::GuestName] = issue.Guest;
  fields[F::CheckInDate] = plat::FormatDateTime("yyyy-mm-dd", issue.CheckIn);
  fields[F::CheckInTime] = plat::FormatDateTime("hh:nn:ss", issue.CheckIn);
  fields[F::CheckOutDate] = plat::FormatDateTime("yyyy-mm-dd", issue.CheckOut);
  fields[F::CheckOutTime] = plat::FormatDateTime("hh:nn:ss", issue.CheckOut);
  fields[F::IsCopy] = issue.IsCopy ? "1" : "0";
  std::string out = "<DoorRequest type=\"IssueCard\">";
  for (std::size_t i = 0; i < F::Count; ++i)
    AppendElement(out, kIssueCardFieldNames[i], fields[i]);
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
