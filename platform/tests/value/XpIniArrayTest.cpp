#include "platform/value/XpIniArray.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "platform/tests/text/XpStringPrinters.h"
#include "platform/value/XpIniDict.h"
#include "platform/value/XpIniPath.h"

namespace {

int64_t IntAt(const XpIniElement& container, const XpString& path) {
  const XpIniElement* element = container.Find(path);
  int64_t value = -999;
  if (element == nullptr || element->GetInt64(&value) != kXpOk) {
    ADD_FAILURE() << "no integer at " << std::string(path.ToMultiByte().View());
  }
  return value;
}

// An array holding the integers 10 and 20.
void FillTwo(XpIniArray& array) {
  ASSERT_EQ(array.InsertAt(XpIniArray::kAppend, kXpIniTypeInt, 10), kXpOk);
  ASSERT_EQ(array.InsertAt(XpIniArray::kAppend, kXpIniTypeInt, 20), kXpOk);
}

TEST(XpIniArray, InsertAtAppendsAtTheCountAndRefusesIndexesAboveIt) {
  const struct {
    int32_t index;
    XpResult result;
    int32_t count;
    int32_t newAt;  // where the new element lands
  } cases[] = {
      {2, kXpOk, 3, 2},
      {-1, kXpOk, 3, 2},
      {0, kXpOk, 3, 0},
      {1, kXpOk, 3, 1},
      {3, kXpErrValueNotFound, 2, -1},
      {-2, kXpErrValueNotFound, 2, -1},
      {INT32_MIN, kXpErrValueNotFound, 2, -1},
  };
  for (const auto& c : cases) {
    XpIniArray array;
    FillTwo(array);
    EXPECT_EQ(array.InsertAt(c.index, kXpIniTypeInt, 99), c.result) << c.index;
    EXPECT_EQ(array.GetCount(), c.count) << c.index;
    if (c.newAt >= 0) {
      EXPECT_EQ(IntAt(array, XpString(std::u16string(1, static_cast<char16_t>(u'0' + c.newAt)))), 99);
    }
  }
}

TEST(XpIniArray, GetAtAndRemoveAtStayInsideTheArray) {
  XpIniArray array;
  FillTwo(array);
  EXPECT_EQ(array.GetAt(-1), nullptr);
  EXPECT_EQ(array.GetAt(2), nullptr);
  ASSERT_NE(array.GetAt(1), nullptr);
  for (int32_t index : {-1, 2, INT32_MAX}) {
    EXPECT_EQ(array.RemoveAt(index), kXpErrValueNotFound) << index;
  }
  EXPECT_EQ(array.GetCount(), 2);
  EXPECT_EQ(array.RemoveAt(0), kXpOk);
  EXPECT_EQ(array.GetCount(), 1);
  EXPECT_EQ(IntAt(array, u"0"), 20);
}

TEST(XpIniArray, IndexComponentsAreReadLikeWtoi) {
  const struct {
    const char16_t* text;
    int32_t index;
  } cases[] = {
      {u"12", 12},         {u"  7", 7},          {u"\t-3", -3},
      {u"+4x", 4},         {u"x", 0},            {u"", 0},
      {u"-", 0},           {u"1/2", 1},          {u" - 5", 0},
      {u"2147483647", 2147483647},               {u"99999999999", 2147483647},
      {u"-2147483648", -2147483647 - 1},         {u"-99999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XpIniParseIndex(c.text), c.index) << std::string(XpString(c.text).ToMultiByte().View());
  }
}

TEST(XpIniArray, PathsStepThroughIndexes) {
  XpIniArray array;
  FillTwo(array);
  ASSERT_EQ(array.InsertAt(XpIniArray::kAppend, kXpIniTypeDict), kXpOk);
  // The last component is the insertion index.
  EXPECT_EQ(array.Add(u"-1", kXpIniTypeInt, 30), kXpOk);
  EXPECT_EQ(array.Add(u"x", kXpIniTypeInt, 5), kXpOk);  // index 0
  EXPECT_EQ(array.GetCount(), 5);
  EXPECT_EQ(IntAt(array, u"0"), 5);
  EXPECT_EQ(IntAt(array, u"4"), 30);

  EXPECT_EQ(array.Add(u"3/key", kXpIniTypeInt, 7), kXpOk);
  EXPECT_EQ(IntAt(array, u"3/key"), 7);
  EXPECT_EQ(IntAt(array, u" 3/key"), 7);
  EXPECT_EQ(array.Find(u"3/other"), nullptr);
  EXPECT_EQ(array.Find(u"9/key"), nullptr);
  EXPECT_EQ(array.Add(u"9/key", kXpIniTypeInt), kXpErrValueNotFound);
  EXPECT_EQ(array.Add(u"1/key", kXpIniTypeInt), kXpErrValueNotSupported);  // an integer

  EXPECT_EQ(array.Remove(u"3/key"), kXpOk);
  EXPECT_EQ(array.Find(u"3/key"), nullptr);
  EXPECT_EQ(array.Remove(u"9/key"), kXpErrValueNotFound);
  EXPECT_EQ(array.Remove(u"9"), kXpErrValueNotFound);
  EXPECT_EQ(array.Remove(u"0"), kXpOk);
  EXPECT_EQ(IntAt(array, u"0"), 10);
}

}  // namespace
