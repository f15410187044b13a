#include "platform/text/XpString.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/tests/text/XpStringPrinters.h"

namespace {

std::u16string Repeat(char16_t ch, size_t count) { return std::u16string(count, ch); }

TEST(XpString, SubstringsFollowTheirRules) {
  const XpString abcd(u"abcd");
  struct Case {
    const char* call;
    XpString result;
    const char16_t* expected;
  };
  const Case cases[] = {
      {"Mid(1,2)", abcd.Mid(1, 2), u"bc"},   {"Mid(4,1)", abcd.Mid(4, 1), u""},
      {"Mid(9,1)", abcd.Mid(9, 1), u""},     {"Mid(-2,2)", abcd.Mid(-2, 2), u"ab"},
      {"Mid(1,-1)", abcd.Mid(1, -1), u""},   {"Mid(2)", abcd.Mid(2), u"cd"},
      {"Mid(4)", abcd.Mid(4), u""},          {"Mid(1,99)", abcd.Mid(1, 99), u"bcd"},
      {"Left(-3)", abcd.Left(-3), u""},      {"Left(2)", abcd.Left(2), u"ab"},
      {"Left(9)", abcd.Left(9), u"abcd"},    {"Right(-1)", abcd.Right(-1), u""},
      {"Right(1)", abcd.Right(1), u"d"},     {"Right(4)", abcd.Right(4), u"abcd"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result, c.expected) << c.call;
    EXPECT_EQ(c.result.CStr()[c.result.GetLength()], u'\0') << c.call;
  }
}

TEST(XpString, WholeStringSubstringsShareTheRepresentation) {
  const XpString abcd(u"abcd");
  EXPECT_EQ(abcd.Left(4).RepForTest(), abcd.RepForTest());
  EXPECT_EQ(abcd.Left(100).RepForTest(), abcd.RepForTest());
  EXPECT_EQ(abcd.Right(4).RepForTest(), abcd.RepForTest());
  EXPECT_NE(abcd.Left(3).RepForTest(), abcd.RepForTest());
}

TEST(XpString, FindAndReverseFind) {
  const XpString text(u"abcabc");
  EXPECT_EQ(text.Find(u'c'), 2);
  EXPECT_EQ(text.Find(u'c', 3), 5);
  EXPECT_EQ(text.Find(u'c', 6), -1);
  EXPECT_EQ(text.Find(u'c', 10), -1);
  EXPECT_EQ(text.Find(u'a', -5), 0);
  EXPECT_EQ(text.Find(u'z'), -1);
  EXPECT_EQ(text.ReverseFind(u'a'), 3);
  EXPECT_EQ(text.ReverseFind(u'z'), -1);
  EXPECT_EQ(XpString(u"abcd").Find(u'c', 10), -1);
}

TEST(XpString, CapacityGrowsInStepsAndShrinksOnlyBelowHalf) {
  struct Case {
    size_t first;
    size_t then;
    int32_t firstCapacity;
    int32_t thenCapacity;
  };
  const Case cases[] = {
      {63, 63, 64, 64},     {64, 64, 128, 128},   {300, 100, 320, 128}, {100, 10, 128, 128},
      {128, 0, 192, 64},    {200, 60, 256, 64},   {10, 200, 64, 256},   {127, 63, 128, 128},
  };
  for (const Case& c : cases) {
    const std::u16string first = Repeat(u'x', c.first);
    const std::u16string then = Repeat(u'y', c.then);
    XpString text(first.c_str());
    EXPECT_EQ(text.CapacityForTest(), c.firstCapacity) << c.first;
    text = then.c_str();
    EXPECT_EQ(text.CapacityForTest(), c.thenCapacity) << c.first << " -> " << c.then;
    EXPECT_EQ(text, then.c_str());
  }
}

TEST(XpString, AppendGrowsByTheSizingRule) {
  XpString text;
  for (int i = 0; i < 64; ++i) text += u'a';
  EXPECT_EQ(text.GetLength(), 64);
  EXPECT_EQ(text.CapacityForTest(), 128);
  text += Repeat(u'b', 64).c_str();
  EXPECT_EQ(text.CapacityForTest(), 192);
  EXPECT_EQ(text.View(), Repeat(u'a', 64) + Repeat(u'b', 64));
}

TEST(XpString, ReplaceCountsAndRewrites) {
  struct Case {
    const char16_t* text;
    const char16_t* search;
    const char16_t* replacement;
    int32_t count;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"ababab", u"ab", u"x", 3, u"xxx"},
      {u"aaa", u"a", u"xyz", 3, u"xyzxyzxyz"},
      {u"a-b-c", u"-", nullptr, 2, u"abc"},
      {u"aaaa", u"aa", u"a", 2, u"aa"},
      {u"abc", u"", u"x", 0, u"abc"},
      {u"abc", nullptr, u"x", 0, u"abc"},
      {u"abc", u"z", u"x", 0, u"abc"},
      {u"abc", u"abc", u"", 1, u""},
  };
  for (const Case& c : cases) {
    XpString text(c.text);
    EXPECT_EQ(text.Replace(c.search, c.replacement), c.count) << std::string(c.text, c.text + 1);
    EXPECT_EQ(text, c.expected);
  }
}

TEST(XpString, ReplaceLeavesSharingCopiesAlone) {
  const XpString original(u"one two one");
  XpString copy = original;
  EXPECT_EQ(copy.Replace(u"one", u"1"), 2);
  EXPECT_EQ(copy, u"1 two 1");
  EXPECT_EQ(original, u"one two one");
}

TEST(XpString, DefaultStringsShareOnePerThreadRepresentation) {
  XpString first;
  XpString second;
  EXPECT_EQ(first.RepForTest(), second.RepForTest());
  first += u"x";
  EXPECT_EQ(first, u"x");
  EXPECT_EQ(second, u"");
  EXPECT_EQ(XpString().RepForTest(), second.RepForTest());

  const void* otherThreads = nullptr;
  std::thread([&] { otherThreads = XpString().RepForTest(); }).join();
  EXPECT_NE(otherThreads, nullptr);
  EXPECT_NE(otherThreads, second.RepForTest());
}

TEST(XpString, CopiesShareUntilOneChanges) {
  XpString a(u"text");
  XpString b = a;
  XpString c;
  a.Clone(c);
  EXPECT_EQ(b.RepForTest(), a.RepForTest());
  EXPECT_EQ(c.RepForTest(), a.RepForTest());
  b += u"!";
  EXPECT_NE(b.RepForTest(), a.RepForTest());
  EXPECT_EQ(a, u"text");
  EXPECT_EQ(b, u"text!");
  EXPECT_EQ(c, u"text");
  a = u"new";
  EXPECT_EQ(c, u"text");
}

TEST(XpString, NullTextReadsAsEmpty) {
  XpString text(static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(text, u"");
  text = u"abc";
  text += static_cast<const char16_t*>(nullptr);
  EXPECT_EQ(text, u"abc");
  text = static_cast<const char16_t*>(nullptr);
  EXPECT_TRUE(text.IsEmpty());
  EXPECT_EQ(text.Compare(nullptr), 0);
  EXPECT_EQ(XpString(nullptr, 5), u"");
}

TEST(XpString, SelfOverlappingAssignAndAppend) {
  XpString text(u"abcdef");
  text += text.CStr();
  EXPECT_EQ(text, u"abcdefabcdef");
  text = text.CharPtr(6);
  EXPECT_EQ(text, u"abcdef");
  text = text;
  EXPECT_EQ(text, u"abcdef");
  XpString shared = text;
  text += shared.CStr();
  EXPECT_EQ(text, u"abcdefabcdef");
  EXPECT_EQ(shared, u"abcdef");
  const std::u16string big = Repeat(u'q', 100);
  XpString grown(big.c_str());
  grown += grown.CStr();
  EXPECT_EQ(grown.View(), Repeat(u'q', 200));
}

TEST(XpString, ReleasedHandleReadsEmptyAndRevives) {
  XpString source(u"abc");
  XpString moved = std::move(source);
  EXPECT_EQ(moved, u"abc");
  // A moved-from handle is released: every read is safe and reads "".
  EXPECT_EQ(source.RepForTest(), nullptr);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(source.CStr(), std::u16string_view(u""));
  EXPECT_EQ(source.GetLength(), 0);
  EXPECT_TRUE(source.IsEmpty());
  EXPECT_EQ(source.Find(u'a'), -1);
  EXPECT_EQ(source.ReverseFind(u'a'), -1);
  EXPECT_EQ(source.Left(2), u"");
  EXPECT_EQ(source.Right(2), u"");
  EXPECT_EQ(source.Mid(0, 2), u"");
  EXPECT_EQ(source.Compare(u""), 0);
  EXPECT_EQ(source.CompareNoCase(u"a"), -1);
  EXPECT_EQ(source.Replace(u"a", u"b"), 0);
  EXPECT_EQ(source.ToMultiByte(), "");
  EXPECT_EQ(source + moved, u"abc");
  XpString copy = source;
  EXPECT_TRUE(copy.IsEmpty());
  source += u"new";
  EXPECT_EQ(source, u"new");
  XpString emptied(u"y");
  XpString holder = std::move(emptied);
  emptied += u"";  // NOLINT(bugprone-use-after-move)
  EXPECT_NE(emptied.RepForTest(), nullptr);
  EXPECT_EQ(emptied, u"");
  XpString assigned(u"x");
  XpString released = std::move(assigned);
  assigned = u"again";  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(assigned, u"again");
  EXPECT_EQ(assigned.CapacityForTest(), 64);
}

TEST(XpString, JoinsInEveryForm) {
  const XpString a(u"ab");
  const XpString b(u"cd");
  EXPECT_EQ(a + b, u"abcd");
  EXPECT_EQ(a + u"!", u"ab!");
  EXPECT_EQ(u"!" + b, u"!cd");
  EXPECT_EQ(a + static_cast<const char16_t*>(nullptr), u"ab");
  const std::u16string big = Repeat(u'z', 130);
  EXPECT_EQ((a + big.c_str()).CapacityForTest(), 192);
}

TEST(XpString, OrdersByUtf16CodeUnit) {
  EXPECT_TRUE(XpString(u"\U00010000") < XpString(u"\uFFFF"));
  EXPECT_FALSE(XpString(u"\uFFFF") < XpString(u"\U00010000"));
  EXPECT_LT(XpString(u"\U00010000").Compare(u"\uFFFF"), 0);
  EXPECT_TRUE(XpString(u"ab") < XpString(u"abc"));
  EXPECT_EQ(XpString(u"b").Compare(u"a"), 1);
  EXPECT_EQ(XpString(u"a").Compare(u"a"), 0);

  std::map<XpString, int> ordered{{XpString(u"\uFFFF"), 2}, {XpString(u"\U00010000"), 1}, {XpString(u"A"), 0}};
  std::vector<int> order;
  for (const auto& entry : ordered) order.push_back(entry.second);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(XpString, CompareNoCaseFoldsToLowerCase) {
  EXPECT_LT(XpString(u"_").CompareNoCase(u"A"), 0);
  EXPECT_EQ(XpString(u"ÄB").CompareNoCase(u"äb"), 0);
  EXPECT_EQ(XpString(u"ΣΊΣΥΦΟΣ").CompareNoCase(u"σίσυφοσ"), 0);
  EXPECT_LT(XpString(u"abc").CompareNoCase(u"ABCD"), 0);
  EXPECT_GT(XpString(u"abcd").CompareNoCase(u"ABC"), 0);
  EXPECT_GT(XpString(u"b").CompareNoCase(u"A"), 0);
}

TEST(XpString, EqualityInEveryForm) {
  const XpString a(u"x");
  EXPECT_TRUE(a == XpString(u"x"));
  EXPECT_TRUE(a == u"x");
  EXPECT_TRUE(u"x" == a);
  EXPECT_TRUE(a != u"y");
  EXPECT_TRUE(u"y" != a);
  EXPECT_TRUE(a != XpString(u"xy"));
  EXPECT_FALSE(a == static_cast<const char16_t*>(nullptr));
  EXPECT_TRUE(XpString() == static_cast<const char16_t*>(nullptr));
}

TEST(XpString, HashesByContent) {
  std::unordered_map<XpString, int> byName;
  byName[XpString(u"alpha")] = 1;
  byName[XpString(u"beta")] = 2;
  XpString key(u"alp");
  key += u"ha";
  EXPECT_EQ(byName.at(key), 1);
  EXPECT_EQ(std::hash<XpString>()(key), std::hash<XpString>()(XpString(u"alpha")));
}

TEST(XpString, ConvertsToUtf8WithEscapes) {
  EXPECT_EQ(XpString(u"a\u00e9\U0001F600").ToMultiByte(), "a\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(XpString(u"a\xDCE9" u"b").ToMultiByte(), "a\xE9" "b");
  EXPECT_EQ(XpString(u"\xD800").ToMultiByte(), "\xEF\xBF\xBD");
}

TEST(XpString, FromUtf8DecodesEveryByteWithEscapes) {
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string units;
  };
  const Case cases[] = {
      {"empty", "", u""},
      {"ascii", "abc", u"abc"},
      {"four bytes", "a\xC3\xA9\xF0\x9F\x98\x80", u"a\u00e9\U0001F600"},
      {"invalid byte",
       "a\xE9"
       "b",
       u"a\xDCE9"
       u"b"},
      {"truncated", "\xE2\x82", u"\xDCE2\xDC82"},
      {"embedded nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const Case& c : cases) {
    const XpString text = XpString::FromUtf8(c.bytes);
    EXPECT_EQ(text.View(), c.units) << c.name;
    EXPECT_EQ(text.ToMultiByte().View(), c.bytes) << c.name;
  }
}

TEST(XpString, KeepsEmbeddedNulWithExplicitLength) {
  const char16_t raw[] = {u'a', u'\0', u'b'};
  const XpString text(raw, 3);
  EXPECT_EQ(text.GetLength(), 3);
  EXPECT_EQ(text.View(), std::u16string_view(raw, 3));
  EXPECT_EQ(XpString(std::u16string_view(u"view")), u"view");
}

// Copies and destructions of shared representations on several threads must
// neither lose nor double-free one.
TEST(XpString, SharedRepresentationsSurviveConcurrentCopies) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 20000;
  const XpString shared(u"shared text that several threads copy");
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&shared, &mismatches] {
      for (int i = 0; i < kRounds; ++i) {
        XpString copy = shared;
        XpString another;
        another = copy;
        XpString local;
        local += u"x";
        if (another.RepForTest() != shared.RepForTest() || local != u"x") ++mismatches;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(shared, u"shared text that several threads copy");
  XpString after = shared;
  after += u"!";
  EXPECT_EQ(shared, u"shared text that several threads copy");
}

}  // namespace
