#include "platform/StrUtils.h"

#include "platform/Errors.h"

namespace plat {
int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

namespace {

// The digits from `i` to the end, hexadecimal after "$" or "0x" (not "0X"), as a
// magnitude of at most 32 bits.
bool ReadMagnitude(std::string_view text, std::size_t i, bool& hex, std::uint32_t& magnitude) {
  hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && text[i + 1] == 'x') {
    hex = true;
    i += 2;
  }
  if (i == text.size())
    return false;

  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit =
        hex ? HexDigitValue(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0)
      return false;
    value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (value > 0xFFFF'FFFFULL)
      return false;
  }
  magnitude = static_cast<std::uint32_t>(value);
  return true;
}

}  // namespace

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  std::uint32_t magnitude = 0;
  if (!ReadMagnitude(text, i, hex, magnitude))
    return false;
  if (hex) {
    value = static_cast<std::int32_t>(negative ? 0U - magnitude : magnitude);
    return true;
  }
  if (magnitude > (negative ? 2'147'483'648ULL : 2'147'483'647ULL))
    return false;
  value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                             : static_cast<std::int64_t>(magnitude));
  return true;
}

bool TryStrToUInt32(std::string_view text, std::uint32_t& value) {
  bool hex = false;
  return ReadMagnitude(text, 0, hex, value);
}

std::int32_t StrToInt(std::string_view text) {
  std::int32_t value = 0;
  if (!TryStrToInt(text, value)) {
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  }
  return value;
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
  std::int32_t value = 0;
  return TryStrToInt(text, value) ? value : fallback;
}

std::string Trim(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
    ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
    --end;
  return std::string(text.substr(begin, end - begin));
}

}  // namespace plat
