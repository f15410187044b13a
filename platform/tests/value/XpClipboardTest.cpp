#include <gtest/gtest.h>

#include "platform/tests/value/PlistTestTrees.h"
#include "platform/value/XpClipboard.h"
#include "platform/value/XpIniDict.h"

namespace {

using plisttest::Describe;

// The clipboard is one store for the whole process: every test starts and
// ends with it empty.
class XpClipboardFixture : public ::testing::Test {
 protected:
  void SetUp() override { ::XpClipboard::Empty(); }
  void TearDown() override { ::XpClipboard::Empty(); }
};
using XpClipboard = XpClipboardFixture;

TEST_F(XpClipboard, DictionaryGoesThroughTheClipboardUnderItsFormat) {
  XpIniDict saved;
  plisttest::BuildGolden(saved);
  ASSERT_EQ(saved.SaveToClipboard(5), kXpOk);
  EXPECT_TRUE(::XpClipboard::IsFormatAvailable(5));

  XpIniDict loaded;
  ASSERT_EQ(loaded.Add(u"old", kXpIniTypeInt, 1), kXpOk);
  EXPECT_EQ(loaded.LoadFromClipboard(5), kXpOk);
  EXPECT_EQ(Describe(loaded), plisttest::kGoldenDescription);

  XpIniDict untouched;
  ASSERT_EQ(untouched.Add(u"old", kXpIniTypeInt, 1), kXpOk);
  EXPECT_EQ(untouched.LoadFromClipboard(6), kXpErrGeneric);
  EXPECT_EQ(Describe(untouched), "{old=i:1}");

  // The clipboard holds the text form of the dictionary.
  XpString text;
  ASSERT_EQ(saved.SaveToText(&text), kXpOk);
  XpString held;
  ASSERT_EQ(::XpClipboard::GetText(5, &held), kXpOk);
  EXPECT_EQ(held, text);
}

TEST_F(XpClipboard, SettingATextReplacesEveryFormat) {
  ASSERT_EQ(::XpClipboard::SetText(1, u"one"), kXpOk);
  ASSERT_EQ(::XpClipboard::SetText(2, u"two"), kXpOk);
  EXPECT_FALSE(::XpClipboard::IsFormatAvailable(1));

  XpString text = u"kept";
  EXPECT_EQ(::XpClipboard::GetText(1, &text), kXpErrGeneric);
  EXPECT_EQ(text, u"kept");
  EXPECT_EQ(::XpClipboard::GetText(2, &text), kXpOk);
  EXPECT_EQ(text, u"two");
  EXPECT_EQ(::XpClipboard::GetText(2, nullptr), kXpErrBadArgument);

  // Text that is no property list loads as a parse failure.
  XpIniDict dict;
  EXPECT_EQ(dict.LoadFromClipboard(2), kXpErrValueParse);

  ::XpClipboard::Empty();
  EXPECT_FALSE(::XpClipboard::IsFormatAvailable(2));
}

}  // namespace
