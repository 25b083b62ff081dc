#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/DateTime.h"

// The wire protocol with the hotel-management system: one request per connection,
// UTF-8 XML ended by one 0x00 byte; the response is framed the same way.

constexpr std::size_t kMaxRequestBytes = 16384;

// An "IssueCard" request's fields are the root's child elements, read by position;
// the element names are never read. Position 0 is not read either.
namespace IssueCardField {
enum : std::size_t {
  RequestID,
  RegisterId,
  RoomBuildingCode,
  RoomFloorCode,
  RoomNo,
  GuestName,
  CheckInDate,
  CheckInTime,
  CheckOutDate,
  CheckOutTime,
  IsCopy,
  Count
};
}  // namespace IssueCardField

// The element names a sender gives the fields, in their positions.
inline constexpr std::array<std::string_view, IssueCardField::Count> kIssueCardFieldNames = {
    "RequestID",   "RegisterId",  "RoomBuildingCode", "RoomFloorCode", "RoomNo", "GuestName",
    "CheckInDate", "CheckInTime", "CheckOutDate",     "CheckOutTime",  "IsCopy"};

// Request bytes (without the 0x00 byte) to GBK text, without a leading byte order
// mark. Bytes that break the protocol's UTF-8 rules give the empty text.
std::string DecodeRequest(std::string_view bytes);

// The "type" attribute with blanks and control characters at both ends removed.
std::string RequestType(std::string_view rawType);

// The IsCopy field: true for a decimal number other than zero or "True" in
// any case; everything else, the empty text included, is false.
bool RequestBoolean(std::string_view text);

// A date field and the time of day field after it, joined by one blank.
// Throws plat::EConvertError "'%s' is not a valid date and time".
plat::TDateTime RequestDateTime(std::string_view date, std::string_view time);

struct TResponse {
  std::string RequestID;
  std::string ResultCode;
  std::string ResultMessage;  // GBK
  std::int64_t CardNo = 0;
};

// The response document, GBK like every text inside the system.
std::string ResponseToXml(const TResponse& response);

// The bytes written to the connection: the document in UTF-8 and one 0x00 byte.
std::string FrameResponse(const TResponse& response);
