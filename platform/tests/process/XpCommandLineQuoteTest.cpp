#include "platform/process/XpCommandLineQuote.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process/XpCommandLineSplit.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using XpCommandLineQuote = testsupport::HermeticTest;

std::vector<std::u16string> Split(const XpString& commandLine) {
  std::vector<std::u16string> result;
  for (const XpString& argument : XpCommandLineSplit(commandLine)) result.emplace_back(argument.View());
  return result;
}

TEST_F(XpCommandLineQuote, SplitsBackIntoTheText) {
  const char16_t* const texts[] = {
      u"",        u"a b",        uR"(a"b)", uR"(a\)", uR"(a\"b)", uR"(dir with trailing\)", u"\t",
      uR"(\\"\)", uR"("quoted")", u"plain", uR"(a\\b c)",
  };
  for (const char16_t* text : texts) {
    for (const bool always : {false, true}) {
      const XpString quoted = ::XpCommandLineQuote(XpString(text), always);
      EXPECT_EQ(Split(quoted), std::vector<std::u16string>{text})
          << "always " << always << ", quoted " << quoted.ToMultiByte().CStr();
    }
  }
}

TEST_F(XpCommandLineQuote, QuotesOnlyWhenNeededOrAsked) {
  struct Case {
    const char16_t* text;
    bool always;
    const char16_t* quoted;
  };
  const Case cases[] = {
      {u"plain", false, u"plain"},
      {u"plain", true, u"\"plain\""},
      {uR"(a\b)", false, uR"(a\b)"},
      {u"", false, u"\"\""},
      {u"a b", false, u"\"a b\""},
      {uR"(a"b)", false, uR"("a\"b")"},
      {uR"(dir\)", true, uR"("dir\\")"},
      {uR"(/p/My "x" dir)", true, uR"("/p/My \"x\" dir")"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(::XpCommandLineQuote(XpString(c.text), c.always).View(), std::u16string_view(c.quoted))
        << XpString(c.text).ToMultiByte().CStr();
  }
}

}  // namespace
