#include "framework/strings/XfStringLookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "framework/tests/strings/StringsFileFixture.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

using framework_test::Dict;
using framework_test::StringsManagerPtr;
using framework_test::Text;
using XfStringLookup = framework_test::StringsFileFixture;

TEST_F(XfStringLookup, AsksTheFilesInListOrder) {
  const StringsManagerPtr first =
      LoadStrings("Strings.xml", Text("Shared", "one") + Dict("Dialog", Text("1-0", "first")));
  const StringsManagerPtr second = LoadStrings(
      "PreviousStrings.xml", Text("Shared", "two") + Text("OnlySecond", "second") +
                                 Dict("Dialog", Text("2-0", "second item")));
  ASSERT_EQ(XfSetStringsManagers({first, second}), kXpOk);
  EXPECT_EQ(XfGetString(u"Shared"), u"one");
  EXPECT_EQ(XfGetString(u"OnlySecond"), u"second");
  EXPECT_EQ(XfGetString(u"Missing"), u"");
  EXPECT_EQ(XfGetStringItem(u"Dialog", u"1-0"), u"first");
  EXPECT_EQ(XfGetStringItem(u"Dialog", u"2-0"), u"second item");
}

TEST_F(XfStringLookup, LinkCycleFallsThroughToTheNextFile) {
  const StringsManagerPtr cyclic = LoadStrings("Strings.xml", Text("A", "::/B") + Text("B", "::/A"));
  const StringsManagerPtr second = LoadStrings("PreviousStrings.xml", Text("A", "two"));
  ASSERT_EQ(XfSetStringsManagers({cyclic, second}), kXpOk);
  EXPECT_EQ(XfGetString(u"A"), u"two");
  EXPECT_EQ(XfGetString(u"B"), u"");
}

void ExpectEveryLookUpEmpty() {
  EXPECT_EQ(XfGetString(u"Strings/ApplicationName"), u"");
  EXPECT_EQ(XfGetStringItem(u"LensTable", u"Other"), u"");
  EXPECT_EQ(XfFormatString(u"Strings/ApplicationName", 1), u"");
  EXPECT_EQ(XfFormatMessage(u"Strings/ApplicationName", u"x"), u"");
  EXPECT_EQ(XfGetErrorText(0x8300), u"");
  EXPECT_EQ(XfGetErrorText(0x8105, u"x"), u"");
  EXPECT_EQ(XfGetLensName(1), u"");
}

TEST_F(XfStringLookup, AnswersEmptyWithoutStrings) {
  const std::string entries =
      Dict("Strings", Text("ApplicationName", "Kavo Accessor")) +
      Dict("Errors", Dict("Generic", Text("Other", "generic")) + Dict("File", Text("Other", "file"))) +
      Dict("LensTable", Text("Other", "lens"));
  const StringsManagerPtr manager = LoadStrings("Strings.xml", entries);
  ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);
  ASSERT_EQ(XfGetString(u"Strings/ApplicationName"), u"Kavo Accessor");

  XfSetStringsSource(XpSharedPtr<IXfStringsSource>());
  ExpectEveryLookUpEmpty();
  ASSERT_EQ(XfSetStringsManagers({}), kXpOk);
  ExpectEveryLookUpEmpty();
  ASSERT_EQ(XfSetStringsManagers({StringsManagerPtr()}), kXpOk);
  ExpectEveryLookUpEmpty();
}

TEST_F(XfStringLookup, FormatStringChecksEveryArgument) {
  const StringsManagerPtr manager = LoadStrings(
      "Strings.xml", Text("Text", "%s") + Text("Mixed", "%s %d") + Text("Big", "%I64d") +
                         Text("Count", "%d of %s") + Text("Link", "::/Count"));
  ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);

  const XpString long5000(std::u16string(5000, u'w'));
  const XpString cut = XfFormatString(u"Text", long5000);
  EXPECT_EQ(cut.GetLength(), 4095);
  EXPECT_EQ(cut, long5000.Left(4095));
  EXPECT_EQ(XfFormatString(u"Text", XpString(std::u16string(4095, u'w'))).GetLength(), 4095);

  EXPECT_EQ(XfFormatString(u"Mixed", 5, u"x"), u"");
  EXPECT_EQ(XfFormatString(u"Text"), u"");
  EXPECT_EQ(XfFormatString(u"Big", int64_t{5000000000}), u"5000000000");
  EXPECT_EQ(XfFormatString(u"Link", 2, u"files"), u"2 of files");
  EXPECT_EQ(XfFormatString(u"Missing", 2), u"");
}

TEST_F(XfStringLookup, FormatMessageFillsNumberedInserts) {
  const StringsManagerPtr manager = LoadStrings(
      "Strings.xml", Text("Swap", "%2 %1") + Text("Files", "%1!d! files") + Text("Third", "%3") +
                         Text("Percent", "100%%") + Text("Lines", "%1%n%2%0 dropped"));
  ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);
  EXPECT_EQ(XfFormatMessage(u"Swap", u"a", u"b"), u"b a");
  EXPECT_EQ(XfFormatMessage(u"Files", 3), u"3 files");
  EXPECT_EQ(XfFormatMessage(u"Files", u"3"), u"%1!d! files");
  EXPECT_EQ(XfFormatMessage(u"Third", u"a", u"b"), u"%3");
  EXPECT_EQ(XfFormatMessage(u"Percent"), u"100%");
  EXPECT_EQ(XfFormatMessage(u"Lines", u"a", u"b"), u"a\nb");
  EXPECT_EQ(XfFormatMessage(u"Missing", u"a"), u"");
}

TEST_F(XfStringLookup, GetErrorTextFormatsTheLinkedMessage) {
  const StringsManagerPtr manager = LoadStrings(
      "Strings.xml",
      Dict("Errors", Dict("File", Text("21", "::Locked") + Text("Locked", "File %s is locked"))));
  ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);
  EXPECT_EQ(XfGetErrorText(0x8115, u"a.jpg"), u"File a.jpg is locked");
  EXPECT_EQ(XfGetErrorText(0x8115, 7), u"");
}

TEST_F(XfStringLookup, LensNameDividesLargeNumbersOnce) {
  const StringsManagerPtr manager = LoadStrings(
      "Strings.xml", Dict("LensTable", Text("25", "L25") + Text("255", "L255") + Text("100", "L100") +
                                           Text("0", "L0") + Text("Other", "Unknown lens")));
  ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);
  struct Case {
    int32_t number;
    const char16_t* expected;
  };
  const Case cases[] = {
      {256, u"L25"}, {255, u"L255"}, {1000, u"L100"}, {-5, u"L0"}, {0, u"L0"}, {77, u"Unknown lens"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(XfGetLensName(c.number), XpString(c.expected)) << c.number;
  }
}

TEST_F(XfStringLookup, LooksUpWhileTheListIsReplaced) {
  constexpr int kReaders = 4;
  constexpr int kReplacements = 200;
  const std::string pathA = WriteStrings("A.xml", Text("Key", "a") + Text("Link", "::/Key"));
  const std::string pathB = WriteStrings("B.xml", Text("Key", "b") + Text("Link", "::/Key"));
  // The installed list is the only holder of its managers, so each
  // replacement frees the previous ones while readers may still use them.
  auto install = [&](const std::string& path) {
    StringsManagerPtr manager(new ::XfStringsManager());
    ASSERT_EQ(manager->Load(XpStringA(path.c_str()).ToWide()), kXpOk);
    ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);
  };
  install(pathA);

  std::atomic<bool> stop{false};
  std::atomic<int> wrongAnswers{0};
  std::atomic<int> lookUps{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < kReaders; ++i) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const XpString answer = XfGetString(u"Link");
        const XpString formatted = XfFormatString(u"Key");
        if ((answer != u"a" && answer != u"b") || (formatted != u"a" && formatted != u"b")) {
          ++wrongAnswers;
        }
        ++lookUps;
      }
    });
  }
  for (int i = 0; i < kReplacements; ++i) {
    install(i % 2 == 0 ? pathB : pathA);
  }
  while (lookUps.load() < kReaders * 10) {
    std::this_thread::yield();
  }
  stop = true;
  for (std::thread& reader : readers) {
    reader.join();
  }
  EXPECT_EQ(wrongAnswers.load(), 0);
}

}  // namespace
