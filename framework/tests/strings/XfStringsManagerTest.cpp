#include "framework/strings/XfStringsManager.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "framework/strings/XfStringLookup.h"
#include "framework/tests/strings/StringsFileFixture.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

using framework_test::Dict;
using framework_test::Integer;
using framework_test::StringsManagerPtr;
using framework_test::Text;
using XfStringsManager = framework_test::StringsFileFixture;

const std::string kLinkedStrings =
    Dict("Strings", Text("ApplicationName", "Kavo Accessor")) +
    Text("A", "::/Strings/ApplicationName") + Text("B", "::Foo") + Text("Empty", "") +
    Dict("Messages", Dict("Errors", Text("X", "::Other") + Text("Other", "Something failed"))) +
    Dict("Dialog", Text("Name", "N") + Text("8-0", "OK") + Text("Other", "Fallback") +
                       Text("Link", "::8-0") + Text("Absolute", "::/A") + Integer("9-0", 9)) +
    Dict("NoName", Text("Other", "x")) + Integer("Number", 5);

TEST_F(XfStringsManager, ResolvesKeysItemsAndLinks) {
  const StringsManagerPtr manager = LoadStrings("Strings.xml", kLinkedStrings);
  struct Case {
    const char16_t* key;
    const char16_t* item;  // null: GetString
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"A", nullptr, u"Kavo Accessor"},
      {u"Messages/Errors/X", nullptr, u"Something failed"},
      {u"B", nullptr, u"::Foo"},  // a sibling link needs a parent
      {u"Dialog", nullptr, u"N"},
      {u"Dialog/Link", nullptr, u"OK"},
      {u"NoName", nullptr, u""},
      {u"Number", nullptr, u""},
      {u"Empty", nullptr, u""},
      {u"Missing", nullptr, u""},
      {u"Dialog", u"8-0", u"OK"},
      {u"Dialog", u"Link", u"OK"},
      {u"Dialog", u"Absolute", u"Kavo Accessor"},
      {u"Dialog", u"Unknown", u"Fallback"},
      {u"Dialog", u"9-0", u"Fallback"},  // not a string
      {u"Strings/ApplicationName", u"Other", u""},  // not a dictionary
      {u"Missing", u"Other", u""},
  };
  for (const Case& c : cases) {
    const XpString answer =
        c.item == nullptr ? manager->GetString(c.key) : manager->GetStringItem(c.key, c.item);
    EXPECT_EQ(answer, XpString(c.expected)) << XpString(c.key).ToMultiByte().CStr() << " item "
                                  << XpString(c.item).ToMultiByte().CStr();
  }
  EXPECT_TRUE(manager->HasString(u"Number"));
  EXPECT_TRUE(manager->HasString(u"Messages/Errors"));
  EXPECT_FALSE(manager->HasString(u"Messages/Warnings"));
}

// L0 -> L1 -> ... -> L16 -> "end" takes 17 hops from L0, 16 from L1.
std::string LinkChain() {
  std::string entries = Text("L17", "end");
  for (int i = 0; i <= 16; ++i) {
    entries += Text("L" + std::to_string(i), "::/L" + std::to_string(i + 1));
  }
  return entries;
}

TEST_F(XfStringsManager, FollowsAtMostSixteenLinks) {
  const StringsManagerPtr manager =
      LoadStrings("Strings.xml", LinkChain() + Text("A", "::/B") + Text("B", "::/A") +
                                     Dict("D", Text("X", "::Y") + Text("Y", "::X")) +
                                     Dict("E", Text("X", "::/E/Y") + Text("Y", "::X")));
  EXPECT_EQ(manager->GetString(u"L1"), u"end");
  EXPECT_EQ(manager->GetString(u"L0"), u"");
  EXPECT_EQ(manager->GetString(u"A"), u"");
  EXPECT_EQ(manager->GetStringItem(u"D", u"X"), u"");
  EXPECT_EQ(manager->GetString(u"D/X"), u"");
  EXPECT_EQ(manager->GetString(u"E/X"), u"");
}

TEST_F(XfStringsManager, LoadReplacesTheContentAndReportsFailures) {
  const StringsManagerPtr manager = LoadStrings("Old.xml", Text("Old", "old"));
  EXPECT_EQ(manager->Load(XpStringA(WriteStrings("New.xml", Text("New", "new")).c_str()).ToWide()),
            kXpOk);
  EXPECT_EQ(manager->GetString(u"New"), u"new");
  EXPECT_FALSE(manager->HasString(u"Old"));

  ::XfStringsManager other;
  EXPECT_NE(other.Load(XpStringA((Root() / "Missing.xml").c_str()).ToWide()), kXpOk);
  EXPECT_EQ(other.GetString(u"New"), u"");
}

const std::string kErrorStrings =
    Dict("Errors",
         Dict("Generic", Text("Other", "generic other") + Text("1", "generic 1")) +
             Dict("File", Text("0", "file 0") + Text("21", "::Locked") +
                              Text("Locked", "File %s is locked") + Text("Other", "file other")) +
             Dict("Thread", Text("1", "::/Strings/Busy") + Text("Other", "thread other")) +
             Dict("DocumentRead", Text("12", "document 12") + Text("Other", "document other %s"))) +
    Dict("Strings", Text("Busy", "%s is busy"));

TEST_F(XfStringsManager, GetErrorTextPicksTheKeyFromTheCode) {
  const StringsManagerPtr manager = LoadStrings("Strings.xml", kErrorStrings);
  ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);
  const XpFormatArg args[] = {XpFormatArg(u"a.jpg")};
  struct Case {
    uint32_t code;
    const char16_t* expected;
  };
  const Case cases[] = {
      {0x8300, u"generic other"},          // group 3 has no category
      {0x8700, u"generic other"},          // no category past group 6
      {0x8001, u"generic 1"},
      {0x8140, u"file 0"},                 // low six bits only
      {0x8115, u"File a.jpg is locked"},   // "::" link within the category
      {0x8105, u"file other"},
      {0x8201, u"a.jpg is busy"},          // "::/" link
      {0xC00C, u"document 12"},
      {0x860C, u"document 12"},
      {0x400D, u"document other a.jpg"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(manager->GetErrorText(c.code, args), XpString(c.expected)) << std::hex << c.code;
  }

  const StringsManagerPtr without12 = LoadStrings(
      "Other.xml", Dict("Errors", Dict("DocumentRead", Text("Other", "document other %s"))));
  ASSERT_EQ(XfSetStringsManagers({without12}), kXpOk);
  EXPECT_EQ(without12->GetErrorText(0xC00C, args), u"document other a.jpg");
}

}  // namespace
