#include "doorlock/DoorlockMessageUnit.h"

#include "platform/StrUtils.h"
#include "platform/TextCodec.h"

std::string DecodeRequest(std::string_view bytes) {
  std::u16string text = plat::DecodeRequestUtf8(bytes);
  // A byte order mark only announces the encoding; GBK has no form for it, and the
  // "?" it would become stands before the root element as text.
  if (!text.empty() && text.front() == u'\uFEFF')
    text.erase(0, 1);
  return plat::Utf16ToGbk(text);
}

std::string RequestType(std::string_view rawType) {
  return plat::Trim(rawType);
}

namespace {

// A decimal number such as "1", "-2" or "0.5", with blanks around it; sets isZero.
bool DecimalNumber(std::string_view text, bool& isZero) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ')
    ++i;
  if (i < n && (text[i] == '+' || text[i] == '-'))
    ++i;
  std::size_t digits = 0;
  isZero = true;
  bool point = false;
  for (; i < n; ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      ++digits;
      isZero = isZero && text[i] == '0';
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  while (i < n && text[i] == ' ')
    ++i;
  return digits > 0 && i == n;
}

}  // namespace

bool RequestBoolean(std::string_view text) {
  bool isZero = false;
  if (DecimalNumber(text, isZero))
    return !isZero;
  return plat::EqualsAsciiNoCase(text, "true");
}

plat::TDateTime RequestDateTime(std::string_view date, std::string_view time) {
  std::string text(date);
  text += ' ';
  text += time;
  return plat::StrToDateTime(text);
}

std::string ResponseToXml(const TResponse& response) {
  std::string xml = "<DoorResponse><RequestID>";
  xml += response.RequestID;
  xml += "</RequestID><ResultCode>";
  xml += response.ResultCode;
  xml += "</ResultCode><ResultMessage>";
  xml += response.ResultMessage;
  xml += "</ResultMessage><CardNo>";
  xml += std::to_string(response.CardNo);
  xml += "</CardNo></DoorResponse>";
  return xml;
}

std::string FrameResponse(const TResponse& response) {
  std::string bytes = plat::GbkToUtf8(ResponseToXml(response));
  bytes.push_back('\0');
  return bytes;
}
