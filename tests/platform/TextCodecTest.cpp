#include "platform/TextCodec.h"

#include <gtest/gtest.h>

using namespace plat;

TEST(DecodeRequestUtf8, DecodesOneTwoAndThreeByteSequences) {
  EXPECT_EQ(DecodeRequestUtf8("abc"), u"abc");
  EXPECT_EQ(DecodeRequestUtf8("\xC3\xA9"), u"\u00E9");
  EXPECT_EQ(DecodeRequestUtf8("\xE5\xBC\xA0\xE4\xB8\x89"), u"\u5F20\u4E09");  // 张三
  EXPECT_EQ(DecodeRequestUtf8(""), u"");
}

TEST(DecodeRequestUtf8, ABrokenSequenceEmptiesTheWholeText) {
  const char* cases[] = {
      "<a>\xC3</a>",         // continuation byte missing: '<' follows
      "abc\xC3",             // text ends inside a sequence
      "\xE5\xBC",            // three-byte sequence cut short
      "\xE5\x41\xA0",        // wrong first continuation
      "\xE5\xBC\x41",        // wrong second continuation
      "\xF0\x9F",            // 0xF0 leads three bytes, like 0xE5
      "a\xF0\x9F\x98\x80z",  // standard four-byte UTF-8 falls out of step: 0x80 leads
  };
  for (const char* bytes : cases)
    EXPECT_EQ(DecodeRequestUtf8(bytes), u"") << bytes;
}

TEST(DecodeRequestUtf8, FollowsTheProtocolsOwnLeadByteRule) {
  // Any byte of 0x80 or above leads; bit 0x20 decides between one and two
  // continuation bytes, and the value keeps 16 bits.
  EXPECT_EQ(DecodeRequestUtf8("\x80\x80"), std::u16string(1, u'\0'));
  EXPECT_EQ(DecodeRequestUtf8("\xC1\xBF"), u"\u007F");  // overlong, still one character
  EXPECT_EQ(DecodeRequestUtf8("\xA0\x80\x80"), std::u16string(1, char16_t(0x0000)));
  // 0xF0 to 0xF7 have the bit too: three bytes, the lead's low six bits on top.
  EXPECT_EQ(DecodeRequestUtf8("a\xF0\x9F\x98z"), u"a\u07D8z");
  EXPECT_EQ(DecodeRequestUtf8("\xF7\xBF\xBF\xC3\xA9"), u"\u7FFF\u00E9");
}

TEST(IsValidUtf8, AcceptsStandardUtf8AndNothingElse) {
  const struct {
    std::string_view bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain ASCII", true},
      {std::string_view("a\0b", 3), true},
      {"\xE5\xBC\xA0\xE4\xB8\x89", true},  // 张三
      {"\xC2\x80", true},                  // the smallest two-byte character
      {"\xED\x9F\xBF", true},              // U+D7FF, just below the surrogates
      {"\xF0\x9F\x98\x80", true},          // U+1F600: four bytes, unlike the request rule
      {"\xF4\x8F\xBF\xBF", true},          // U+10FFFF, the last
      {"\x80", false},                     // a continuation byte alone
      {"\xC3", false},                     // cut short at the end
      {"\xC3\x28", false},                 // a continuation byte that is none
      {"\xE5\xBC", false},
      {"\xC0\xAF", false},          // overlong two bytes
      {"\xC1\xBF", false},          // overlong, read by the request rule all the same
      {"\xE0\x9F\xBF", false},      // overlong three bytes
      {"\xF0\x8F\xBF\xBF", false},  // overlong four bytes
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xED\xBF\xBF", false},
      {"\xF4\x90\x80\x80", false},  // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\xF0\x9F\x98z", false},  // three bytes after 0xF0, as the request rule takes them
      {"\xFF", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << testing::PrintToString(std::string(c.bytes));
}

TEST(Gbk, ConvertsBothWaysAndMarksWhatGbkCannotHold) {
  const std::string gbk = Utf16ToGbk(u"\u5F20\u4E09 Zhang");
  EXPECT_EQ(gbk, "\xD5\xC5\xC8\xFD Zhang");
  EXPECT_EQ(GbkToUtf8(gbk), "\xE5\xBC\xA0\xE4\xB8\x89 Zhang");
  EXPECT_EQ(Utf16ToGbk(u"a\u0E01b"), "a?b");                        // Thai has no GBK form
  EXPECT_EQ(Utf16ToGbk(std::u16string(1, char16_t(0xD800))), "?");  // lone surrogate
  EXPECT_EQ(Utf8ToGbk("\xE5\x8F\x91\xE5\x8D\xA1\xE6\x88\x90\xE5\x8A\x9F"),
            "\xB7\xA2\xBF\xA8\xB3\xC9\xB9\xA6");  // 发卡成功
  EXPECT_EQ(Utf8ToGbk("x\xF0\x9F\x98\x80y"), "x?y");
  EXPECT_EQ(GbkToUtf8("a\x81"), "a?");  // a lead byte with nothing after it
}

TEST(Gbk, AChineseGuestNameSurvivesTheRequestPathAndBack) {
  const std::string wire = "\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E";  // 王小明 in UTF-8
  const std::string gbk = Utf16ToGbk(DecodeRequestUtf8(wire));
  EXPECT_EQ(gbk, Utf8ToGbk(wire));
  EXPECT_EQ(GbkToUtf8(gbk), wire);
}
