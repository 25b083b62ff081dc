#pragma once

#include <string>
#include <string_view>

namespace plat {

// Decodes request bytes as the protocol defines UTF-8: a byte below 0x80 is one
// character; a byte of 0x80 or above takes two continuation bytes when its bit
// 0x20 is set and one otherwise, and the character is kept to 16 bits. A missing
// or wrong continuation byte empties the whole text. So a lead byte of 0xF0 to 0xF7
// takes two continuation bytes like any other with that bit: the rule knows no
// four-byte sequences (characters above U+FFFF).
std::u16string DecodeRequestUtf8(std::string_view bytes);

// Whether the bytes are standard UTF-8, strictly: no overlong forms, no surrogates,
// nothing above U+10FFFF. This is what a peer may send or be sent, unlike the
// request rule above.
bool IsValidUtf8(std::string_view bytes);

// UTF-16 to GBK (code page 936); what GBK cannot hold becomes "?".
std::string Utf16ToGbk(std::u16string_view text);

// GBK to UTF-8, for the wire and for Qt. An invalid GBK byte becomes "?".
std::string GbkToUtf8(std::string_view gbk);

// Standard UTF-8 to GBK, for the system's own texts written as UTF-8 literals.
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace plat
