#include "platform/shell/XpCompareNamesLogical.h"

#include <gtest/gtest.h>

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

struct OrderCase {
  const char16_t* a;
  const char16_t* b;
  int order;
};

TEST(XpCompareNamesLogical, OrdersNamesNaturally) {
  const OrderCase cases[] = {
      {u"file2", u"file10", -1},
      {u"File2", u"file2", 0},
      {u"IMG_0002.JPG", u"img_0010.jpg", -1},
      {u"a", u"B", -1},
      {u"file", u"file1", -1},
      {u"file007", u"file7", 0},
      {u"x99y", u"x100", -1},
      {u"2", u"10b", -1},
      // Runs longer than any machine integer compare by value too.
      {u"123456789012345678901234", u"99", 1},
      {u"v12345678901234567890", u"v12345678901234567891", -1},
      {u"\u00c4rger", u"\u00e4rger", 0},
      {u"a b", u"ab", -1},
      {u"", u"", 0},
      {u"", u"a", -1},
  };
  for (const OrderCase& c : cases) {
    const std::string a = XpString(c.a).ToMultiByte().CStr();
    const std::string b = XpString(c.b).ToMultiByte().CStr();
    EXPECT_EQ(Sign(XpCompareNamesLogical(c.a, c.b)), c.order) << a << " vs " << b;
    EXPECT_EQ(Sign(XpCompareNamesLogical(c.b, c.a)), -c.order) << b << " vs " << a;
  }
}

}  // namespace
