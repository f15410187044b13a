#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/tests/text/XpStringPrinters.h"
#include "platform/text/XpString.h"
#include "platform/text/XpStringA.h"

namespace {

// The handle rules XpString and XpStringA share: construction from a
// pointer and a length, sharing on copy, releasing on move.
template <typename String>
class XpStringHandleTest : public ::testing::Test {
 protected:
  using Char = std::remove_cv_t<std::remove_pointer_t<decltype(String().CStr())>>;

  // The ASCII text in the string's character type.
  static std::basic_string<Char> Text(std::string_view ascii) {
    return std::basic_string<Char>(ascii.begin(), ascii.end());
  }
};

using Strings = ::testing::Types<XpString, XpStringA>;
TYPED_TEST_SUITE(XpStringHandleTest, Strings);

TYPED_TEST(XpStringHandleTest, PointerAndLengthTakeThatManyCharacters) {
  struct Case {
    const char* name;
    bool null;
    int32_t length;
    std::string_view expected;
  };
  const Case cases[] = {
      {"part", false, 2, "ab"},    {"all", false, 3, "abc"}, {"zero", false, 0, ""},
      {"negative", false, -1, ""}, {"null", true, 3, ""},
  };
  const auto source = TestFixture::Text("abc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TypeParam text(c.null ? nullptr : source.c_str(), c.length);
    EXPECT_EQ(text.View(), TestFixture::Text(c.expected));
    EXPECT_EQ(text.GetLength(), static_cast<int32_t>(c.expected.size()));
  }
}

TYPED_TEST(XpStringHandleTest, EmbeddedNulCountsWithAnExplicitLength) {
  const auto source = TestFixture::Text(std::string_view("a\0b", 3));
  const TypeParam text(source.c_str(), 3);
  EXPECT_EQ(text.GetLength(), 3);
  EXPECT_EQ(text.View(), source);
  EXPECT_EQ(text.Compare(TestFixture::Text("a").c_str()), 1);
}

TYPED_TEST(XpStringHandleTest, CopyAssignSharesAndMoveAssignReleasesTheSource) {
  const auto abc = TestFixture::Text("abc");
  TypeParam original(abc.c_str());
  TypeParam copy;
  copy = original;
  EXPECT_EQ(copy.RepForTest(), original.RepForTest());
  copy = copy;
  EXPECT_EQ(copy, original);

  TypeParam target(TestFixture::Text("old").c_str());
  const void* rep = original.RepForTest();
  target = std::move(original);
  EXPECT_EQ(target.RepForTest(), rep);
  EXPECT_EQ(target.View(), abc);
  EXPECT_EQ(original.RepForTest(), nullptr);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(original.GetLength(), 0);
  EXPECT_EQ(original.CStr()[0], typename TestFixture::Char());

  TypeParam& same = target;
  target = std::move(same);
  EXPECT_EQ(target.View(), abc);
}

TYPED_TEST(XpStringHandleTest, CompareGivesTheSignOnly) {
  struct Case {
    std::string_view mine;
    std::string_view theirs;
    int expected;
  };
  const Case cases[] = {
      {"abc", "abd", -1}, {"abd", "abc", 1}, {"abc", "abc", 0},
      {"ab", "abc", -1},  {"abc", "", 1},    {"", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mine) + " vs " + std::string(c.theirs));
    const TypeParam mine(TestFixture::Text(c.mine).c_str());
    EXPECT_EQ(mine.Compare(TestFixture::Text(c.theirs).c_str()), c.expected);
  }
}

}  // namespace
