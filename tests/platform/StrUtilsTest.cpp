#include "platform/StrUtils.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"

using namespace plat;

TEST(StrToInt, ReadsDecimalAndHexadecimal) {
  const struct {
    const char* text;
    std::int32_t expected;
  } cases[] = {
      {"0", 0},
      {"42", 42},
      {"  42", 42},
      {"-3", -3},
      {"+7", 7},
      {"007", 7},
      {"$1f", 31},
      {"0x1F", 31},
      {"0x1f", 31},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"$80000000", INT32_MIN},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"000101", 101},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StrToInt(c.text), c.expected) << c.text;
}

TEST(StrToInt, RefusesWhatIsNoNumber) {
  const char* cases[] = {"",         " ",   "-",   "$",          "0x",          "12 ",
                         "1a",       "a1",  "1.0", "2147483648", "-2147483649", "$100000000",
                         "KPVZ4729", "x1F", "0X1F"};  // only "$" and a small "0x" lead hexadecimal
  for (const char* text : cases) {
    try {
      StrToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid integer value");
    }
  }
  EXPECT_EQ(StrToIntDef("abc", 1), 1);
  EXPECT_EQ(StrToIntDef("", 8886), 8886);
}

TEST(TryStrToUInt32, ReadsAllThirtyTwoBitsWithoutBlanksOrSign) {
  const struct {
    const char* text;
    bool valid;
    std::uint32_t expected;
  } cases[] = {
      {"0", true, 0},
      {"4711", true, 4711},
      {"4294967295", true, 4294967295U},  // beyond a signed integer, unlike StrToInt
      {"0xFFFFFFFF", true, 4294967295U},
      {"$a1b2c3", true, 0xA1B2C3},
      {"0x0000ABCD", true, 0xABCD},
      {"4294967296", false, 0},
      {"0x100000000", false, 0},
      {"0XABCD", false, 0},  // only "$" and a small "0x" lead hexadecimal
      {"0x", false, 0},
      {"$", false, 0},
      {"", false, 0},
      {" 1", false, 0},
      {"+1", false, 0},
      {"-1", false, 0},
      {"12ab", false, 0},
  };
  for (const auto& c : cases) {
    std::uint32_t value = 7;
    EXPECT_EQ(TryStrToUInt32(c.text, value), c.valid) << c.text;
    EXPECT_EQ(value, c.valid ? c.expected : 7U) << c.text;  // untouched on failure
  }
}

TEST(Trim, RemovesControlCharactersAndBlanksOnly) {
  EXPECT_EQ(Trim(" \t\r\n ReadCard \x01"), "ReadCard");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\xC4\xE3\xBA\xC3 "), "\xC4\xE3\xBA\xC3");  // GBK bytes stay
  EXPECT_EQ(Trim("a b"), "a b");
}

TEST(EqualsAsciiNoCase, FoldsAsciiLettersOnly) {
  const struct {
    const char* a;
    const char* b;
    bool equal;
  } cases[] = {
      {"DoorLockOption", "doorlockoption", true},
      {"true", "TRUE", true},
      {"", "", true},
      {"true", "true ", false},
      {"[", "{", false},                // 0x5B and 0x7B lie 32 apart but are no letters
      {"\xC4\xE3", "\xE4\xE3", false},  // GBK bytes are never folded
      {"\xC4\xE3", "\xC4\xE3", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EqualsAsciiNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(EqualsAsciiNoCase(c.b, c.a), c.equal) << c.b << " / " << c.a;
  }
}
