#include "doorlock/DoorlockMessageUnit.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "platform/XmlReader.h"
#include "tests/support/TempDir.h"

using testing_support::Gbk;

TEST(DecodeRequest, GivesGbkTextAndEmptiesBrokenUtf8) {
  EXPECT_EQ(DecodeRequest("<r>\xE5\xBC\xA0\xE4\xB8\x89</r>"), "<r>" + Gbk("张三") + "</r>");
  EXPECT_EQ(DecodeRequest("<r>\xC3\x41</r>"), "");
  EXPECT_EQ(DecodeRequest("<r>\xF0\x9F\x98\x80</r>"), "");  // 0xF0 leads three bytes
  EXPECT_EQ(DecodeRequest("<r>\xF0\x9F\x98</r>"), "<r>?</r>");
  EXPECT_EQ(DecodeRequest("<r>\xE0\xB8\x81</r>"), "<r>?</r>");  // no GBK form
}

TEST(DecodeRequest, DropsAByteOrderMarkOnlyAtTheStart) {
  EXPECT_EQ(DecodeRequest("\xEF\xBB\xBF<r type=\"ReadCard\"/>"), "<r type=\"ReadCard\"/>");
  EXPECT_EQ(DecodeRequest("<r>\xEF\xBB\xBF</r>"), "<r>?</r>");
  EXPECT_EQ(DecodeRequest("\xEF\xBB\xBF\xEF\xBB\xBF<r/>"), "?<r/>");
}

TEST(RequestType, TrimsBlanksAndControlCharactersOnly) {
  EXPECT_EQ(RequestType("  ReadCard\t\r\n"), "ReadCard");
  EXPECT_EQ(RequestType("readcard"), "readcard");
  EXPECT_EQ(RequestType(""), "");
}

TEST(RequestBoolean, NumbersAndTheWordsTrueAndFalse) {
  const struct {
    const char* text;
    bool expected;
  } cases[] = {{"1", true},      {"2", true},      {"-1", true},   {"0.5", true}, {"True", true},
               {"TRUE", true},   {"true", true},   {"0", false},   {"00", false}, {"0.0", false},
               {"False", false}, {"false", false}, {"yes", false}, {"", false},   {"T", false},
               {"$1", false},    {"0x1", false},   {" 1 ", true}};
  for (const auto& c : cases)
    EXPECT_EQ(RequestBoolean(c.text), c.expected) << c.text;
}

TEST(RequestDateTime, JoinsDateAndTimeWithOneBlank) {
  EXPECT_EQ(plat::FormatDateTime("yyyy-mm-dd hh:nn:ss", RequestDateTime("2024-05-01", "")),
            "2024-05-01 00:00:00");
  EXPECT_EQ(plat::FormatDateTime("yyyy-mm-dd hh:nn:ss", RequestDateTime("2024-5-2", "14:00")),
            "2024-05-02 14:00:00");
  try {
    RequestDateTime("2024-05-01", "25:00:00");
    FAIL();
  } catch (const plat::EConvertError& e) {
    EXPECT_STREQ(e.what(), "'2024-05-01 25:00:00' is not a valid date and time");
  }
}

TEST(Response, ComposesTheDocumentWithoutLayout) {
  TResponse r;
  r.ResultCode = "200";
  r.ResultMessage = Gbk("发卡成功");
  r.CardNo = 123;
  EXPECT_EQ(ResponseToXml(r),
            "<DoorResponse><RequestID></RequestID><ResultCode>200</ResultCode><ResultMessage>" +
                Gbk("发卡成功") + "</ResultMessage><CardNo>123</CardNo></DoorResponse>");
  r.CardNo = -16777213;
  EXPECT_NE(ResponseToXml(r).find("<CardNo>-16777213</CardNo>"), std::string::npos);
  EXPECT_NE(ResponseToXml(TResponse{}).find("<CardNo>0</CardNo>"), std::string::npos);
}

TEST(Response, IsFramedAsUtf8WithOneZeroByte) {
  TResponse r;
  r.ResultCode = "200";
  r.ResultMessage = Gbk("注销卡成功 ");
  const std::string bytes = FrameResponse(r);
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.back(), '\0');
  EXPECT_EQ(bytes.find('\0'), bytes.size() - 1);
  EXPECT_EQ(bytes.substr(0, bytes.size() - 1),
            "<DoorResponse><RequestID></RequestID><ResultCode>200</ResultCode>"
            "<ResultMessage>注销卡成功 </ResultMessage><CardNo>0</CardNo></DoorResponse>");
}

TEST(RequestDocument, AnIssueCardRequestReadsTheSameOnOneLineOrIndented) {
  const std::string oneLine =
      "<DoorRequest type=\"IssueCard\"><RequestID>9</RequestID><RegisterId>R1</RegisterId>"
      "<B>01</B><F>02</F><N>0301</N><G>&amp;</G><D1>2024-05-01</D1><T1></T1><D2>2024-05-03</D2>"
      "<T2>12:00:00</T2><C>1</C></DoorRequest>";
  const std::string indented =
      "<DoorRequest type=\"IssueCard\">\r\n"
      "\t<RequestID>9</RequestID>\r\n\t<RegisterId>R1</RegisterId>\r\n"
      "    <B>01</B>\n    <F>02</F>\n    <N>0301</N>\n    <G>&amp;</G>\n"
      "    <D1>2024-05-01</D1>\n    <T1></T1>\n    <D2>2024-05-03</D2>\n"
      "    <T2>12:00:00</T2>\n    <C>1</C>\n</DoorRequest>\n";
  for (const std::string& text : {oneLine, indented}) {
    plat::TXmlDocument doc;
    doc.Parse(DecodeRequest(text));
    const plat::TXmlElement root = doc.Root();
    EXPECT_EQ(RequestType(root.Attribute("type")), "IssueCard");
    ASSERT_EQ(root.ChildCount(), 11u);
    EXPECT_EQ(root.Child(4).Text(), "0301");
    EXPECT_EQ(root.Child(5).Text(), "&");
    EXPECT_EQ(RequestDateTime(root.Child(6).Text(), root.Child(7).Text()),
              plat::EncodeDateTime(2024, 5, 1));
    EXPECT_TRUE(RequestBoolean(root.Child(10).Text()));
  }
}
