#include "platform/XmlReader.h"

#include <gtest/gtest.h>

#include <string>

using plat::EXmlError;
using plat::ResolveEntities;
using plat::TXmlDocument;

TEST(ResolveEntities, ReplacesTheFiveEntitiesAndSmallCharacterReferences) {
  const struct {
    const char* text;
    std::string expected;
  } cases[] = {
      {"&amp;", "&"},
      {"a&lt;b&gt;c", "a<b>c"},
      {"&apos;&quot;", "'\""},
      {"&#65;&#x42;", "AB"},
      {"&#254;", "\xFE"},
      {"&#255;", "&#255;"},      // only values below 255 become a byte
      {"&#x4E09;", "&#x4E09;"},  // larger ones stay as written
      {"&nbsp;", "&nbsp;"},
      {"&amp", "&amp"},
      {"&#;&#x;&#1a;", "&#;&#x;&#1a;"},
      {"&amp;amp;", "&amp;"},  // one pass only
  };
  for (const auto& c : cases)
    EXPECT_EQ(ResolveEntities(c.text), c.expected) << c.text;
}

TEST(XmlDocument, ReadsTheRootChildrenByPositionIgnoringLayout) {
  TXmlDocument doc;
  doc.Parse(
      "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<DoorRequest type=\" IssueCard \">\n"
      "  <a>0</a>\n  <!-- note -->\n  <b>x &amp; y</b>\n  <c> </c>\n  <d/>\n"
      "  <e><![CDATA[&amp;]]></e>\n</DoorRequest>");
  const plat::TXmlElement root = doc.Root();
  EXPECT_EQ(root.Attribute("type"), " IssueCard ");
  EXPECT_EQ(root.Attribute("missing"), "");
  ASSERT_EQ(root.ChildCount(), 5u);
  EXPECT_EQ(root.Child(0).Text(), "0");
  EXPECT_EQ(root.Child(1).Text(), "x & y");
  EXPECT_EQ(root.Child(2).Text(), " ");  // a field of blanks is not layout
  EXPECT_EQ(root.Child(3).Text(), "");
  EXPECT_EQ(root.Child(4).Text(), "&amp;");  // CDATA is taken as it stands
  EXPECT_THROW(root.Child(5), EXmlError);
}

TEST(XmlDocument, PassesGbkBytesThrough) {
  TXmlDocument doc;
  doc.Parse("<r type=\"ReadCard\"><n>\xCD\xF5\xD0\xA1\xC3\xF7</n></r>");
  EXPECT_EQ(doc.Root().Child(0).Text(), "\xCD\xF5\xD0\xA1\xC3\xF7");
}

TEST(XmlDocument, RefusesTextWithoutARootElement) {
  const char* cases[] = {"",
                         "   ",
                         "not xml",
                         "<a>",
                         "<a></b>",
                         "<?xml version=\"1.0\"?>",
                         "<!-- only a comment -->",
                         "<a x=1/>"};
  for (const char* text : cases) {
    TXmlDocument doc;
    EXPECT_THROW(doc.Parse(text), EXmlError) << text;
  }
}

TEST(XmlDocument, RefusesAnythingButMarkupBesideTheRoot) {
  using namespace std::string_literals;
  const std::string cases[] = {
      "<r type=\"ReadCard\"/><r type=\"IssueCard\"/>"s,
      "<r type=\"ReadCard\"/>trailing"s,
      "leading<r type=\"ReadCard\"/>"s,
      "<r type=\"ReadCard\"/><![CDATA[x]]>"s,
      "<r type=\"ReadCard\"/>\0<<<"s,
      "<r type=\"ReadCard\"><a>\0</a></r>"s,
  };
  for (const std::string& text : cases) {
    TXmlDocument doc;
    EXPECT_THROW(doc.Parse(text), EXmlError) << text;
    EXPECT_THROW(doc.Root(), EXmlError) << text;
  }
}

TEST(XmlDocument, TakesLayoutCommentsAndDeclarationsBesideTheRoot) {
  const char* cases[] = {
      "<?xml version=\"1.0\"?>\r\n<!-- c -->\n<r type=\"ReadCard\"/>\n<!-- d --><?pi x?>\n",
      "<!DOCTYPE r>\t<r type=\"ReadCard\"></r> \r\n",
  };
  for (const char* text : cases) {
    TXmlDocument doc;
    doc.Parse(text);
    EXPECT_EQ(doc.Root().Attribute("type"), "ReadCard") << text;
  }
}

TEST(XmlDocument, DoesNotExpandEntitiesDeclaredInADoctype) {
  TXmlDocument doc;
  doc.Parse("<!DOCTYPE r [<!ENTITY x \"boom\">]><r type=\"ReadCard\"><a>&x;</a></r>");
  EXPECT_EQ(doc.Root().Child(0).Text(), "&x;");
}

TEST(XmlDocument, AFieldKeepsItsLineEndsByteForByte) {
  TXmlDocument doc;
  doc.Parse(
      "<r type=\"IssueCard\">\r\n  <a>one\r\ntwo\rthree\nfour</a>\r\n"
      "  <b><![CDATA[x\r\ny\r]]></b>\r\n  <c>\r\n</c>\r</r>");
  const plat::TXmlElement root = doc.Root();
  ASSERT_EQ(root.ChildCount(), 3u);  // the layout between the fields still does not count
  EXPECT_EQ(root.Child(0).Text(), "one\r\ntwo\rthree\nfour");
  EXPECT_EQ(root.Child(1).Text(), "x\r\ny\r");
  EXPECT_EQ(root.Child(2).Text(), "\r\n");
}
