#include "platform/text/XpStringA.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <unordered_set>
#include <utility>

#include "platform/text/XpString.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

TEST(XpStringA, BasicsAndCopyOnWrite) {
  XpStringA a("abc");
  XpStringA b = a;
  EXPECT_EQ(a.RepForTest(), b.RepForTest());
  b += "def";
  EXPECT_EQ(a, "abc");
  EXPECT_EQ(b, "abcdef");
  EXPECT_EQ(b.GetLength(), 6);
  EXPECT_EQ(*b.CharPtr(3), 'd');
  EXPECT_EQ(XpStringA(static_cast<const char*>(nullptr)), "");
  a = static_cast<const char*>(nullptr);
  EXPECT_TRUE(a.IsEmpty());
  a += b;
  EXPECT_EQ(a, b);
}

TEST(XpStringA, ToStdStringCopiesEveryByte) {
  const std::string cases[] = {"", "abc", "a\xFF\xC3\xA9", std::string("a\0b", 3)};
  for (const std::string& bytes : cases) {
    const XpStringA text(bytes);
    std::string copy = text.ToStdString();
    EXPECT_EQ(copy, bytes);
    copy += "x";
    EXPECT_EQ(text.View(), bytes);
  }
}

TEST(XpStringA, DefaultStringsShareOnePerThreadRepresentation) {
  XpStringA first;
  XpStringA second;
  EXPECT_EQ(first.RepForTest(), second.RepForTest());
  EXPECT_EQ(first.CapacityForTest(), 64);
  first = "changed";
  EXPECT_EQ(second, "");
  const void* otherThreads = nullptr;
  std::thread([&] { otherThreads = XpStringA().RepForTest(); }).join();
  EXPECT_NE(otherThreads, second.RepForTest());
}

TEST(XpStringA, CapacityCountsBytes) {
  XpStringA text(std::string(300, 'x').c_str());
  EXPECT_EQ(text.CapacityForTest(), 320);
  text = std::string(100, 'y').c_str();
  EXPECT_EQ(text.CapacityForTest(), 128);
  text = std::string(10, 'z').c_str();
  EXPECT_EQ(text.CapacityForTest(), 128);
  EXPECT_EQ(XpStringA(std::string(64, 'w').c_str()).CapacityForTest(), 128);
}

TEST(XpStringA, LeftCountsBytesAndMayCutASequence) {
  const XpStringA text("a\xC3\xA9z");  // "aéz"
  EXPECT_EQ(text.Left(2), "a\xC3");
  EXPECT_EQ(text.Left(-1), "");
  EXPECT_EQ(text.Left(4).RepForTest(), text.RepForTest());
  EXPECT_EQ(text.Left(2).ToWide(), u"a\xDCC3");
}

TEST(XpStringA, ComparesBytesUnsigned) {
  EXPECT_GT(XpStringA("\xC3\xA9").Compare("z"), 0);
  EXPECT_LT(XpStringA("a").Compare("b"), 0);
  EXPECT_EQ(XpStringA("a").Compare("a"), 0);
  EXPECT_EQ(XpStringA("a").Compare(nullptr), 1);
  EXPECT_TRUE(XpStringA("z") < XpStringA("\xC3\xA9"));
  EXPECT_TRUE(XpStringA("a") != XpStringA("b"));
  EXPECT_TRUE("a" == XpStringA("a"));
}

TEST(XpStringA, ConvertsToWide) {
  EXPECT_EQ(XpStringA("a\xE9" "b").ToWide(), u"a\xDCE9" u"b");
  XpString target(u"old");
  XpStringA("\xF0\x9F\x98\x80").ToWideInto(target);
  EXPECT_EQ(target, u"\U0001F600");
  EXPECT_EQ(XpStringA("\xED\xB2\x80").ToWide().ToMultiByte(), "\xED\xB2\x80");
}

TEST(XpStringA, ReleasedHandleReadsEmpty) {
  XpStringA source("abc");
  XpStringA moved = std::move(source);
  EXPECT_EQ(source.RepForTest(), nullptr);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(std::string(source.CStr()), "");
  EXPECT_EQ(source.Left(1), "");
  EXPECT_EQ(source.ToWide(), u"");
  source += "x";
  EXPECT_EQ(source, "x");
  EXPECT_EQ(moved, "abc");
}

TEST(XpStringA, HashesByContent) {
  std::unordered_set<XpStringA> names{XpStringA("one"), XpStringA("two")};
  XpStringA key("tw");
  key += "o";
  EXPECT_EQ(names.count(key), 1u);
}

}  // namespace
