#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/testsupport/HermeticTest.h"
#include "platform/xml/XpXmlDocument.h"

namespace {

using Clock = std::chrono::steady_clock;

class XpXmlDocumentFixture : public testsupport::HermeticTest {
 protected:
  static std::vector<XpXmlNode> Children(XpXmlNode node) {
    std::vector<XpXmlNode> children;
    for (XpXmlNode child = node.GetFirstChild(); !child.IsNull(); child = child.GetNextSibling()) {
      children.push_back(child);
    }
    return children;
  }

  void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
  }

  // A built document with one element under the root holding text.
  static std::string SerializeText(const XpString& text) {
    ::XpXmlDocument document;
    EXPECT_EQ(document.ParseUtf8("<r/>"), kXpOk);
    XpXmlNode root = document.GetRoot();
    XpXmlNode child;
    EXPECT_EQ(root.AppendElement("s", &child), kXpOk);
    EXPECT_EQ(child.AppendText(text), kXpOk);
    XpStringA bytes;
    EXPECT_EQ(document.Serialize(&bytes), kXpOk);
    return std::string(bytes.View());
  }
};
using XpXmlDocument = XpXmlDocumentFixture;

TEST_F(XpXmlDocument, ParseKeepsNodeKindsAndTextRules) {
  ::XpXmlDocument document;
  ASSERT_EQ(document.Parse(
                "<?xml version=\"1.0\"?>\n"
                "<plist version=\"1.0\">\n  <!--c--><a><![CDATA[cd]]><!--x--><b/>t1<i>u</i>t2</a>"
                "<e/><Key>K</Key>\n</plist>"),
            kXpOk);
  XpXmlNode root = document.GetRoot();
  EXPECT_TRUE(root.IsElement("plist"));
  EXPECT_FALSE(root.IsElement("Plist"));

  const std::vector<XpXmlNode> children = Children(root);
  ASSERT_EQ(children.size(), 6u);
  const XpXmlNodeType kinds[] = {XpXmlNodeType::kText,    XpXmlNodeType::kComment,
                                 XpXmlNodeType::kElement, XpXmlNodeType::kElement,
                                 XpXmlNodeType::kElement, XpXmlNodeType::kText};
  for (size_t i = 0; i < std::size(kinds); ++i) {
    EXPECT_EQ(children[i].GetType(), kinds[i]) << i;
  }
  EXPECT_TRUE(children[0].IsBlankText());
  EXPECT_EQ(static_cast<int>(children[1].GetType()), 8);
  EXPECT_EQ(children[1].GetValue(), u"c");
  EXPECT_FALSE(children[1].IsBlankText());
  EXPECT_EQ(children[1].GetName(), "");
  EXPECT_EQ(children[4].GetName(), "Key");
  EXPECT_TRUE(children[5].IsBlankText());

  // The first text child is the text: CDATA, comments and elements before
  // it are passed over.
  XpXmlNode a = children[2];
  EXPECT_EQ(a.GetName(), "a");
  EXPECT_EQ(a.GetText(), u"t1");
  XpXmlNode cdata = a.GetFirstChild();
  EXPECT_EQ(static_cast<int>(cdata.GetType()), 4);
  EXPECT_EQ(cdata.GetValue(), u"cd");
  EXPECT_EQ(a.GetValue(), u"");
  EXPECT_EQ(children[3].GetText(), u"");
  EXPECT_TRUE(children[3].GetFirstChild().IsNull());
  EXPECT_TRUE(children[5].GetNextSibling().IsNull());
}

TEST_F(XpXmlDocument, ParseFailuresLeaveAnEmptyDocument) {
  const char* const cases[] = {"",         "not xml",     "<a>",        "<a></b>",
                               "<a/><b/>", "<a>\x01</a>", "<a>\xff</a>"};
  for (const char* text : cases) {
    ::XpXmlDocument document;
    ASSERT_EQ(document.Parse("<ok/>"), kXpOk);
    EXPECT_EQ(document.Parse(text), kXpErrValueParse) << text;
    EXPECT_TRUE(document.IsEmpty()) << text;
    EXPECT_TRUE(document.GetRoot().IsNull()) << text;
    XpStringA bytes;
    EXPECT_EQ(document.Serialize(&bytes), kXpErrValueNoRoot);
  }
}

TEST_F(XpXmlDocument, ParseTakesTheDeclaredEncodingAndParseUtf8IgnoresIt) {
  const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xe9</a>";
  ::XpXmlDocument document;
  ASSERT_EQ(document.Parse(latin1), kXpOk);
  EXPECT_EQ(document.GetRoot().GetText(), u"\u00e9");

  const std::string utf8 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xc3\xa9</a>";
  ASSERT_EQ(document.ParseUtf8(utf8), kXpOk);
  EXPECT_EQ(document.GetRoot().GetText(), u"\u00e9");
  ASSERT_EQ(document.ParseUtf8("<?xml version=\"1.0\" encoding=\"utf-16\"?><a>x</a>"), kXpOk);
  EXPECT_EQ(document.GetRoot().GetText(), u"x");

  // UTF-16 with a byte-order mark.
  const char utf16Bytes[] = "\xff\xfe<\0a\0>\0\x34\xd8\x1e\xdd<\0/\0a\0>\0";
  const std::string utf16(utf16Bytes, sizeof(utf16Bytes) - 1);
  ASSERT_EQ(document.Parse(utf16), kXpOk);
  EXPECT_EQ(document.GetRoot().GetText(), u"\U0001D11E");
}

TEST_F(XpXmlDocument, ExternalResourcesAreNeverRead) {
  const std::filesystem::path secret = Root() / "secret.txt";
  WriteFile(secret, "SECRET");
  const std::filesystem::path dtd = Root() / "ext.dtd";
  WriteFile(dtd, "<!ENTITY e \"FROMDTD\"><!ATTLIST a v CDATA \"DEFAULT\">");
  const std::string secretUrl = "file://" + secret.string();
  const std::string dtdUrl = "file://" + dtd.string();

  const std::string entity =
      "<!DOCTYPE a [<!ENTITY x SYSTEM \"" + secretUrl + "\">]><a><s>&x;</s></a>";
  ::XpXmlDocument document;
  ASSERT_EQ(document.Parse(entity), kXpOk);
  XpXmlNode s = document.GetRoot().GetFirstChild();
  EXPECT_EQ(s.GetText(), u"");
  ASSERT_FALSE(s.GetFirstChild().IsNull());
  EXPECT_EQ(s.GetFirstChild().GetType(), XpXmlNodeType::kEntityReference);
  EXPECT_TRUE(s.GetFirstChild().GetFirstChild().IsNull());

  // An external DTD: neither its entities nor its default attributes come in.
  const std::string external = "<!DOCTYPE a SYSTEM \"" + dtdUrl + "\"><a><s>x</s></a>";
  ASSERT_EQ(document.Parse(external), kXpOk);
  ASSERT_EQ(document.ParseUtf8(external), kXpOk);
  XpStringA bytes;
  ASSERT_EQ(document.Serialize(&bytes), kXpOk);
  EXPECT_EQ(std::string(bytes.View()).find("DEFAULT"), std::string::npos) << bytes.CStr();

  const std::string parameter =
      "<!DOCTYPE a [<!ENTITY % p SYSTEM \"" + dtdUrl + "\"> %p;]><a>&e;</a>";
  const XpResult result = document.Parse(parameter);
  if (result == kXpOk) {
    ASSERT_EQ(document.Serialize(&bytes), kXpOk);
    EXPECT_EQ(std::string(bytes.View()).find("FROMDTD"), std::string::npos) << bytes.CStr();
  } else {
    EXPECT_EQ(result, kXpErrValueParse);
  }
}

TEST_F(XpXmlDocument, EntityBombsAndDeepNestingEndQuicklyWithoutExpansion) {
  std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY e0 \"lol\">";
  for (int level = 1; level <= 10; ++level) {
    bomb += "<!ENTITY e" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) {
      bomb += "&e" + std::to_string(level - 1) + ";";
    }
    bomb += "\">";
  }
  bomb += "]><a>&e10;</a>";
  std::string deep;
  for (int i = 0; i < 100000; ++i) {
    deep += "<a>";
  }

  for (const std::string& text : {bomb, deep}) {
    ::XpXmlDocument document;
    const Clock::time_point start = Clock::now();
    const XpResult result = document.Parse(text);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    if (result == kXpOk) {
      XpStringA bytes;
      ASSERT_EQ(document.Serialize(&bytes), kXpOk);
      EXPECT_EQ(std::string(bytes.View()).find("lollol"), std::string::npos);
    } else {
      EXPECT_EQ(result, kXpErrValueParse);
    }
  }
}

TEST_F(XpXmlDocument, SerializeWritesDeclarationAndCompactTree) {
  ::XpXmlDocument document;
  ASSERT_EQ(document.ParseUtf8("<?xml version=\"1.0\" encoding=\"utf-8\" ?>"
                               "<plist version=\"1.0\"><dict/></plist>"),
            kXpOk);
  XpXmlNode dict = document.GetRoot().GetFirstChild();
  ASSERT_TRUE(dict.IsElement("dict"));
  XpXmlNode key;
  ASSERT_EQ(dict.AppendElement("key", &key), kXpOk);
  ASSERT_EQ(key.AppendText(u"a"), kXpOk);
  ASSERT_EQ(key.AppendText(u"b"), kXpOk);
  ASSERT_EQ(dict.AppendElement("true"), kXpOk);
  XpXmlNode empty;
  ASSERT_EQ(dict.AppendElement("array", &empty), kXpOk);
  ASSERT_EQ(empty.AppendElement("dict"), kXpOk);
  EXPECT_EQ(key.AppendElement(nullptr), kXpErrBadArgument);
  EXPECT_EQ(key.GetFirstChild().AppendText(u"x"), kXpErrBadArgument);
  EXPECT_EQ(XpXmlNode().AppendElement("x"), kXpErrBadArgument);

  XpStringA bytes;
  ASSERT_EQ(document.Serialize(&bytes), kXpOk);
  EXPECT_EQ(std::string(bytes.View()),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<plist version=\"1.0\"><dict><key>ab</key><true/><array><dict/></array></dict>"
            "</plist>\n");
  EXPECT_EQ(document.Serialize(nullptr), kXpErrBadArgument);
}

TEST_F(XpXmlDocument, TextIsEscapedAndAlwaysParsesAgain) {
  struct Case {
    const char16_t* text;
    const char* written;  // between <s> and </s>
    const char16_t* read;
  };
  const Case cases[] = {
      {u"x<&>\"'", "x&lt;&amp;&gt;\"'", u"x<&>\"'"},
      {u"a\r\nb\tc", "a&#13;\nb\tc", u"a\r\nb\tc"},
      {u"\u00e9\U0001D11E", "\xc3\xa9\xf0\x9d\x84\x9e", u"\u00e9\U0001D11E"},
      {u"a\u0001b\u001fc",
       "a\xef\xbf\xbd"
       "b\xef\xbf\xbd"
       "c",
       u"a\ufffdb\ufffdc"},
      {u"\xdc80z\xd834", "\xef\xbf\xbdz\xef\xbf\xbd", u"\ufffdz\ufffd"},
      {u"\ufffe\uffff", "\xef\xbf\xbd\xef\xbf\xbd", u"\ufffd\ufffd"},
  };
  for (const Case& c : cases) {
    const std::string bytes = SerializeText(c.text);
    EXPECT_EQ(bytes, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r><s>" + std::string(c.written) +
                         "</s></r>\n");
    ::XpXmlDocument again;
    ASSERT_EQ(again.Parse(bytes), kXpOk) << bytes;
    EXPECT_EQ(again.GetRoot().GetFirstChild().GetText(), c.read) << bytes;
  }
  // An embedded NUL is not cut off.
  const char16_t withNul[] = {u'a', 0, u'b'};
  EXPECT_EQ(SerializeText(XpString(withNul, 3)),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r><s>a\xef\xbf\xbd"
            "b</s></r>\n");
}

}  // namespace
