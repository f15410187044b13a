#include "platform/value/XpIniDict.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/tests/text/XpStringPrinters.h"
#include "platform/value/XpIniArray.h"

namespace {

std::string TextAt(const XpIniElement& container, const XpString& path) {
  const XpIniElement* element = container.Find(path);
  XpString text;
  if (element == nullptr || element->GetString(&text) != kXpOk) {
    ADD_FAILURE() << "no string at " << std::string(path.ToMultiByte().View());
  }
  return std::string(text.ToMultiByte().View());
}

std::vector<std::string> Keys(const XpIniDict& dict) {
  std::vector<std::string> keys;
  XpString key;
  for (uint32_t i = 0; dict.GetKeyAt(i, &key) == kXpOk; ++i) {
    keys.emplace_back(key.ToMultiByte().View());
  }
  return keys;
}

TEST(XpIniDict, KeyIsAddedOnceAndTheFirstValueStays) {
  XpIniDict dict;
  EXPECT_EQ(dict.Add(u"name", kXpIniTypeString, u"first"), kXpOk);
  EXPECT_EQ(dict.Add(u"name", kXpIniTypeString, u"second"), kXpErrValueKeyExists);
  EXPECT_EQ(dict.Add(u"name", kXpIniTypeInt, 1), kXpErrValueKeyExists);
  EXPECT_EQ(dict.GetCount(), 1);
  EXPECT_EQ(TextAt(dict, u"name"), "first");
  EXPECT_EQ(dict.Add(u"other", 8), kXpErrValueUnknownType);
  EXPECT_EQ(dict.GetCount(), 1);
}

TEST(XpIniDict, AddingBelowAKeyNeedsAContainerThere) {
  const struct {
    const char* what;
    XpIniType typeOfA;  // -1: no key a
    XpResult result;
  } cases[] = {
      {"a absent", -1, kXpErrValueNotFound},
      {"a an array", kXpIniTypeArray, kXpOk},
      {"a a dictionary", kXpIniTypeDict, kXpOk},
      {"a a string", kXpIniTypeString, kXpErrValueNotSupported},
  };
  for (const auto& c : cases) {
    XpIniDict dict;
    if (c.typeOfA >= 0) {
      ASSERT_EQ(dict.Add(u"a", c.typeOfA), kXpOk);
    }
    EXPECT_EQ(dict.Add(u"a/b", kXpIniTypeInt, 42), c.result) << c.what;
    EXPECT_EQ(dict.GetCount(), c.typeOfA >= 0 ? 1 : 0) << c.what;
  }

  // In an array "b" has no digits: the value goes to index 0.
  XpIniDict dict;
  ASSERT_EQ(dict.Add(u"a", kXpIniTypeArray), kXpOk);
  ASSERT_EQ(dict.Add(u"a/-1", kXpIniTypeString, u"x"), kXpOk);
  ASSERT_EQ(dict.Add(u"a/b", kXpIniTypeString, u"y"), kXpOk);
  EXPECT_EQ(TextAt(dict, u"a/0"), "y");
  EXPECT_EQ(TextAt(dict, u"a/1"), "x");
}

TEST(XpIniDict, KeyWithASlashLandsInTheContainerItNames) {
  XpIniDict dict;
  ASSERT_EQ(dict.Add(u"home", kXpIniTypeDict), kXpOk);
  ASSERT_EQ(dict.Add(u"home/user", kXpIniTypeString, u"v"), kXpOk);
  EXPECT_EQ(dict.GetCount(), 1);
  EXPECT_EQ(Keys(dict), std::vector<std::string>{"home"});
  EXPECT_EQ(TextAt(dict, u"home/user"), "v");
  // A path as key is lost when its first part names nothing.
  EXPECT_EQ(dict.Add(u"/tmp/file", kXpIniTypeInt), kXpErrValueNotFound);
  EXPECT_EQ(dict.GetCount(), 1);
}

TEST(XpIniDict, KeysAreOrderedByCodeUnit) {
  XpIniDict dict;
  for (const char16_t* key : {u"B", u"a", u"A", u"\u00e9", u"", u"AB"}) {
    ASSERT_EQ(dict.Add(key, kXpIniTypeString, key), kXpOk);
  }
  EXPECT_EQ(Keys(dict), (std::vector<std::string>{"", "A", "AB", "B", "a", "\xc3\xa9"}));
  for (uint32_t i = 0; i < 6; ++i) {
    XpString key;
    XpString text;
    ASSERT_EQ(dict.GetKeyAt(i, &key), kXpOk);
    ASSERT_NE(dict.GetAt(i), nullptr);
    ASSERT_EQ(dict.GetAt(i)->GetString(&text), kXpOk);
    EXPECT_EQ(text, key);
  }
  XpString key;
  EXPECT_EQ(dict.GetAt(6u), nullptr);
  EXPECT_EQ(dict.GetKeyAt(6, &key), kXpErrValueNotFound);
  // Through the element interface a dictionary has no indexes.
  const XpIniElement& element = dict;
  EXPECT_EQ(element.GetAt(0), nullptr);
}

TEST(XpIniDict, RemoveDeletesOnlyWhatIsThere) {
  XpIniDict dict;
  ASSERT_EQ(dict.Add(u"keep", kXpIniTypeString, u"k"), kXpOk);
  ASSERT_EQ(dict.Add(u"list", kXpIniTypeArray), kXpOk);
  ASSERT_EQ(dict.Add(u"list/-1", kXpIniTypeDict), kXpOk);
  ASSERT_EQ(dict.Add(u"list/0/deep", kXpIniTypeString, u"d"), kXpOk);

  EXPECT_EQ(dict.Remove(u"absent"), kXpErrValueNotFound);
  EXPECT_EQ(dict.Remove(u"kee"), kXpErrValueNotFound);
  EXPECT_EQ(dict.Remove(u"absent/x"), kXpErrValueNotFound);
  EXPECT_EQ(dict.Remove(u"keep/x"), kXpErrValueNotSupported);
  EXPECT_EQ(dict.GetCount(), 2);

  EXPECT_EQ(dict.Remove(u"list/0/deep"), kXpOk);
  EXPECT_EQ(dict.Find(u"list/0/deep"), nullptr);
  ASSERT_NE(dict.Find(u"list/0"), nullptr);
  EXPECT_EQ(dict.Remove(u"list"), kXpOk);
  EXPECT_EQ(Keys(dict), std::vector<std::string>{"keep"});

  dict.RemoveAll();
  EXPECT_EQ(dict.GetCount(), 0);
  EXPECT_EQ(dict.Find(u"keep"), nullptr);
}

TEST(XpIniDict, DestroyDeletesOnlyDictionariesFromCreate) {
  XpIniDict* created = XpIniDict::Create();
  ASSERT_NE(created, nullptr);
  ASSERT_EQ(created->Add(u"tree", kXpIniTypeDict), kXpOk);
  ASSERT_EQ(created->Add(u"tree/leaf", kXpIniTypeString, u"x"), kXpOk);
  // The sanitizer build reports a leak should this not delete the tree.
  XpIniDict::Destroy(created);

  XpIniDict onStack;
  ASSERT_EQ(onStack.Add(u"k", kXpIniTypeInt, 1), kXpOk);
  XpIniDict::Destroy(&onStack);  // not ours to delete: nothing happens
  EXPECT_EQ(onStack.GetCount(), 1);
  XpIniDict::Destroy(nullptr);
}

}  // namespace
