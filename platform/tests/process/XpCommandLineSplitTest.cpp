#include "platform/process/XpCommandLineSplit.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::u16string> Split(const char16_t* commandLine) {
  std::vector<std::u16string> result;
  for (const XpString& argument : XpCommandLineSplit(XpString(commandLine))) {
    result.emplace_back(argument.View());
  }
  return result;
}

struct SplitCase {
  const char16_t* commandLine;
  std::vector<std::u16string> arguments;
};

TEST(XpCommandLineSplit, FollowsTheWindowsRules) {
  const SplitCase cases[] = {
      {uR"(a "b c" d)", {u"a", u"b c", u"d"}},
      {uR"("a\"b")", {uR"(a"b)"}},
      {uR"(a\\b)", {uR"(a\\b)"}},
      {uR"("a b\\" c)", {uR"(a b\)", u"c"}},
      // 2n+1 backslashes before a quote: n backslashes and a literal quote.
      {uR"(a\\\"b)", {uR"(a\"b)"}},
      // 2n backslashes before a quote: n backslashes, and the quote opens.
      {uR"(\\\\"a b")", {uR"(\\a b)"}},
      {uR"(a\ b\)", {uR"(a\)", uR"(b\)"}},
      // "" inside quotes is a quote, and the quoted part goes on.
      {uR"("a""b c")", {uR"(a"b c)"}},
      {uR"(a""b)", {u"ab"}},
      {uR"("" x "")", {u"", u"x", u""}},
      {uR"(a"b c"d e)", {u"ab cd", u"e"}},
      {u"  \ta\t\tb  ", {u"a", u"b"}},
      // An unclosed quote runs to the end.
      {uR"("a b)", {u"a b"}},
      {u"", {}},
      {u" \t ", {}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(Split(c.commandLine), c.arguments) << XpString(c.commandLine).ToMultiByte().CStr();
  }
}

}  // namespace
