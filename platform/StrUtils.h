#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

// Leading blanks, an optional sign, then decimal digits, or hexadecimal digits
// after "$" or "0x". Decimal must fit a signed 32-bit integer; eight hexadecimal
// digits fill all 32 bits, so "$FFFFFFFF" is -1.
// Throws EConvertError "'%s' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);
bool TryStrToInt(std::string_view text, std::int32_t& value);

// Decimal digits, or hexadecimal digits after "$" or "0x", and nothing else (no
// blanks, no sign): 0 to 4294967295.
bool TryStrToUInt32(std::string_view text, std::uint32_t& value);

// The value of a hexadecimal digit in either case, or -1.
int HexDigitValue(char c);

// Equal when only the case of ASCII letters differs; every other byte, GBK's
// included, must match exactly.
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);

// Removes every leading and trailing character whose code is 0 to 32.
std::string Trim(std::string_view text);

}  // namespace plat
