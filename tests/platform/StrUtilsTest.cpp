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

TEST(Trim, RemovesControlCharactersAndBlanksOnly) {
  EXPECT_EQ(Trim(" \t\r\n ReadCard \x01"), "ReadCard");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\xC4\xE3\xBA\xC3 "), "\xC4\xE3\xBA\xC3");  // GBK bytes stay
  EXPECT_EQ(Trim("a b"), "a b");
}
