#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalogdb/grammar/CatalogBtreeIndexObject.h"
#include "catalogdb/grammar/CatalogBtreeLayout.h"
#include "catalogdb/tests/XdbBtreeTestIndex.h"
#include "catalogdb/tests/XdbNativeFixture.h"

namespace {

namespace cb = CatalogBtree;
using fsk::Value;
using xdbtest::IndexShape;
using xdbtest::KeyType;
using xdbtest::TestIndex;
using xdbtest::TestKey;

using Walked = std::vector<std::pair<TestKey, std::vector<int32_t>>>;

constexpr int32_t kBigEndian = 8;
constexpr int32_t kLittleEndian = 12;

TestKey Key(double number) { return TestKey::Of(number); }
TestKey Text(const char* text) { return TestKey::Of(std::string(text)); }

// A unique integer index of degree 4 (120-byte pages).
IndexShape SmallUnique(int32_t order) {
  IndexShape shape;
  shape.defaultSize = 64;
  shape.order = order;
  return shape;
}

// A non-unique index with two inline IDs and small overflow slots.
IndexShape SmallShared(KeyType keys, int32_t order) {
  IndexShape shape;
  shape.keys = keys;
  shape.unique = false;
  shape.keyLength = 8;
  shape.pageEntries = 2;
  shape.overflowEntries = 3;
  shape.defaultSize = 64;
  shape.order = order;
  return shape;
}

class XdbBtreeNatives : public xdbtest::XdbNativeFixture {
 protected:
  TestIndex& Make(const IndexShape& shape) {
    indexes_.push_back(std::make_unique<TestIndex>(the_, shape));
    return *indexes_.back();
  }

  void TearDown() override {
    indexes_.clear();
    XdbNativeFixture::TearDown();
  }

  cb::IndexPage View(const Value& page) { return CatalogIndexPageOf(the_, page); }

  // The integer keys of a page.
  std::vector<int32_t> Keys(const Value& page) {
    cb::IndexPage view = View(page);
    std::vector<int32_t> keys;
    for (int entry = 0; entry < view.Count(); ++entry) {
      int32_t key = 0;
      std::memcpy(&key, view.Key(entry), sizeof key);
      keys.push_back(key);
    }
    return keys;
  }

  Value Child(TestIndex& index, const Value& page, int entry) { return index.Node(View(page).Child(entry)); }

  std::string ErrorMessage(const std::function<void()>& call) {
    try {
      call();
    } catch (const FskException& error) {
      return fsk::ToString(the_, fsk::Get(the_, Value(error.Value()), "message"));
    }
    return "";
  }

  std::vector<std::unique_ptr<TestIndex>> indexes_;
};

TEST_F(XdbBtreeNatives, TheEighthKeySplitsAFullRoot) {
  for (int32_t order : {kBigEndian, kLittleEndian}) {
    TestIndex& index = Make(SmallUnique(order));
    for (int32_t key = 1; key <= 7; ++key) {
      index.Insert(Key(key), key * 10);
    }
    EXPECT_TRUE(View(index.Root()).IsLeaf());
    EXPECT_EQ(Keys(index.Root()), std::vector<int32_t>({1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(index.changingCalls, 0);

    index.Insert(Key(8), 80);
    Value root = index.Root();
    EXPECT_FALSE(View(root).IsLeaf());
    EXPECT_EQ(Keys(root), std::vector<int32_t>({4}));
    EXPECT_EQ(Keys(Child(index, root, 0)), std::vector<int32_t>({1, 2, 3}));
    EXPECT_EQ(Keys(Child(index, root, 1)), std::vector<int32_t>({5, 6, 7, 8}));
    EXPECT_EQ(index.changingCalls, 1);
    EXPECT_EQ(index.Search(Key(4)), std::vector<int32_t>({40}));
    EXPECT_EQ(index.Check(), "");

    std::vector<unsigned char> before = index.File();
    EXPECT_EQ(ErrorMessage([&] { index.Insert(Key(5), 99); }), "BTree duplicate key!");
    EXPECT_EQ(ErrorMessage([&] { index.Insert(Key(4), 99); }), "BTree duplicate key!");
    EXPECT_EQ(index.File(), before);
    EXPECT_EQ(index.Search(Key(5)), std::vector<int32_t>({50}));
  }
}

TEST_F(XdbBtreeNatives, ARootSplitThatFailsKeepsTheOldRoot) {
  TestIndex& index = Make(SmallUnique(kBigEndian));
  for (int32_t key = 1; key <= 7; ++key) {
    index.Insert(Key(key), key);
  }
  Value root = index.Root();
  index.makeNodeBudget = 1;  // The new root, but not the split's right page.
  EXPECT_EQ(Raised([&] { index.Insert(Key(8), 8); }), EFBIG);
  EXPECT_EQ(CatalogPageOffset(the_, index.Root()), CatalogPageOffset(the_, root));
  EXPECT_EQ(Keys(index.Root()), std::vector<int32_t>({1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(index.Check(), "");
  index.makeNodeBudget = -1;
  index.Insert(Key(8), 8);
  EXPECT_EQ(index.Count(true), 8);
  EXPECT_EQ(index.Check(), "");
}

TEST_F(XdbBtreeNatives, InsertionClearsTheSortingArray) {
  TestIndex& index = Make(SmallUnique(kLittleEndian));
  fsk::Set(the_, index.Object(), "sortingArray", fsk::NewObject(the_));
  index.Insert(Key(1), 1);
  EXPECT_TRUE(fsk::Get(the_, index.Object(), "sortingArray").IsUndefined());
}

TEST_F(XdbBtreeNatives, KeysCompareByTheirKind) {
  struct Case {
    IndexShape shape;
    std::vector<TestKey> inserted;
    std::vector<TestKey> ascending;
  };
  IndexShape text = SmallShared(KeyType::kString, kBigEndian);
  text.keyLength = 4;
  const Case cases[] = {
      {SmallUnique(kBigEndian),
       {Key(5), Key(-1), Key(2147483647), Key(-2147483648.0), Key(0)},
       {Key(-2147483648.0), Key(-1), Key(0), Key(5), Key(2147483647)}},
      {SmallShared(KeyType::kNumber, kBigEndian | 0x100),
       {Key(0.5), Key(-1e300), Key(-0.25), Key(1e-300)},
       {Key(-1e300), Key(-0.25), Key(1e-300), Key(0.5)}},
      // Text compares as unsigned bytes, NUL-padded, cut at the key size.
      {text,
       {Text("b"), Text("\xC3\xA9"), Text("ab"), Text("a"), Text("abcdXYZ")},
       {Text("a"), Text("ab"), Text("abcd"), Text("b"), Text("\xC3\xA9")}},
  };
  for (const Case& test : cases) {
    TestIndex& index = Make(test.shape);
    int32_t id = 1;
    for (const TestKey& key : test.inserted) {
      index.Insert(key, id++);
    }
    Walked walked = index.Walk();
    std::vector<TestKey> keys;
    for (const auto& [key, ids] : walked) {
      keys.push_back(key);
    }
    EXPECT_EQ(keys, test.ascending) << Describe(test.ascending[0]);
    EXPECT_EQ(index.Check(), "");
  }
}

TEST_F(XdbBtreeNatives, RemovingTheOnlyKeyOfARootLeafLeavesAnEmptyLeaf) {
  TestIndex& index = Make(SmallUnique(kBigEndian));
  index.Insert(Key(3), 30);
  EXPECT_TRUE(index.RemoveKey(Key(3)));
  EXPECT_TRUE(View(index.Root()).IsLeaf());
  EXPECT_EQ(View(index.Root()).Count(), 0);
  EXPECT_EQ(index.changingCalls, 0);
  EXPECT_TRUE(index.freed.empty());
  EXPECT_FALSE(index.RemoveKey(Key(3)));
  EXPECT_EQ(index.Count(true), 0);
  EXPECT_EQ(index.Check(), "");
}

TEST_F(XdbBtreeNatives, AnInnerRootWithoutKeysGivesWayToItsChild) {
  TestIndex& index = Make(SmallUnique(kBigEndian));
  for (int32_t key = 1; key <= 8; ++key) {
    index.Insert(Key(key), key);
  }
  EXPECT_TRUE(index.RemoveKey(Key(8)));
  Value oldRoot = index.Root();
  int32_t oldRootOffset = CatalogPageOffset(the_, oldRoot);
  int32_t left = View(oldRoot).Child(0);
  int32_t right = View(oldRoot).Child(1);
  int changes = index.changingCalls;

  // Both children hold d - 1 keys: they merge with the root's only key.
  EXPECT_TRUE(index.RemoveKey(Key(4)));
  EXPECT_EQ(CatalogPageOffset(the_, index.Root()), left);
  EXPECT_TRUE(View(index.Root()).IsLeaf());
  EXPECT_EQ(Keys(index.Root()), std::vector<int32_t>({1, 2, 3, 5, 6, 7}));
  EXPECT_EQ(index.changingCalls, changes + 1);
  EXPECT_EQ(index.freed, std::vector<int32_t>({right, oldRootOffset}));
  EXPECT_EQ(index.Check(), "");

  // Freed pages come back before the file grows.
  size_t size = index.File().size();
  for (int32_t key = 10; key <= 13; ++key) {
    index.Insert(Key(key), key);
  }
  EXPECT_EQ(index.File().size(), size);
  EXPECT_EQ(index.FreeHead(), 0);
  EXPECT_EQ(index.Check(), "");
}

TEST_F(XdbBtreeNatives, DeletionBorrowsFromSiblingsAndMerges) {
  // Deleting in these orders walks every case: a key in a leaf, in an inner
  // page with a rich left or right child or two poor ones, a poor child
  // borrowing from the left or the right sibling, and merging either way.
  const std::vector<std::vector<int32_t>> orders = {
      {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30},
      {30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1},
      {16, 8, 24, 4, 12, 20, 28, 2, 6, 10, 14, 18, 22, 26, 30, 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29},
  };
  for (const std::vector<int32_t>& order : orders) {
    TestIndex& index = Make(SmallUnique(kBigEndian));
    std::map<int32_t, int32_t> model;
    for (int32_t key = 1; key <= 30; ++key) {
      index.Insert(Key(key), key + 100);
      model[key] = key + 100;
    }
    for (int32_t key : order) {
      ASSERT_TRUE(index.RemoveKey(Key(key))) << key;
      model.erase(key);
      Walked walked = index.Walk();
      ASSERT_EQ(walked.size(), model.size()) << key;
      auto expected = model.begin();
      for (const auto& [walkedKey, ids] : walked) {
        EXPECT_EQ(walkedKey, Key(expected->first));
        EXPECT_EQ(ids, std::vector<int32_t>({expected->second}));
        ++expected;
      }
      ASSERT_EQ(index.Check(), "") << "after removing " << key;
    }
    EXPECT_EQ(index.Count(true), 0);
  }
}

TEST_F(XdbBtreeNatives, RemovingIdsKeepsTheKey) {
  TestIndex& index = Make(SmallShared(KeyType::kInteger, kBigEndian));
  for (int32_t id : {1, 2, 3}) {
    index.Insert(Key(7), id);
  }
  index.Insert(Key(9), 4);
  cb::IndexPage root = View(index.Root());
  int32_t chainPage = root.OverflowPage(0);
  ASSERT_NE(chainPage, 0);

  // An inline ID goes; the chain's first ID takes the freed inline slot.
  EXPECT_TRUE(index.RemoveKeyId(Key(7), 1));
  root = View(index.Root());
  EXPECT_EQ(root.InlineId(0, 0), 2);
  EXPECT_EQ(root.InlineId(0, 1), 3);
  EXPECT_EQ(root.OverflowPage(0), 0) << "the emptied chain is cut off";
  EXPECT_EQ(index.freed, std::vector<int32_t>({chainPage}));

  EXPECT_FALSE(index.RemoveKeyId(Key(7), 1)) << "an ID the key lacks";
  EXPECT_FALSE(index.RemoveKeyId(Key(8), 2)) << "a key the index lacks";
  EXPECT_TRUE(index.RemoveKeyId(Key(7), 2));
  EXPECT_TRUE(index.RemoveKeyId(Key(7), 3));
  EXPECT_EQ(index.Walk(), Walked({{Key(7), {}}, {Key(9), {4}}}));
  EXPECT_EQ(index.Count(true), 2);
  EXPECT_EQ(index.Count(false), 1);
  EXPECT_TRUE(index.Search(Key(7)).empty());
  EXPECT_TRUE(index.RemoveKey(Key(7)));
  EXPECT_EQ(index.Walk(), Walked({{Key(9), {4}}}));
  EXPECT_EQ(index.Check(), "");
}

TEST_F(XdbBtreeNatives, RemovingAKeyGivesBackItsChain) {
  TestIndex& index = Make(SmallShared(KeyType::kInteger, kLittleEndian));
  for (int32_t id = 1; id <= 30; ++id) {
    index.Insert(Key(7), id);
  }
  index.Insert(Key(8), 31);
  EXPECT_TRUE(index.RemoveKey(Key(7)));
  EXPECT_EQ(index.freed.size(), 2u) << "both overflow pages";
  EXPECT_EQ(index.Walk(), Walked({{Key(8), {31}}}));
  EXPECT_EQ(index.Check(), "");
}

TEST_F(XdbBtreeNatives, UniqueEntriesTakeIdUpdatesAndRemovals) {
  TestIndex& index = Make(SmallUnique(kBigEndian));
  for (int32_t key = 1; key <= 10; ++key) {
    index.Insert(Key(key), key);
  }
  Value root = index.Root();
  EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Call(the_, index.Object(), "updateNode", root, 6, 66)));
  EXPECT_EQ(index.Search(Key(6)), std::vector<int32_t>({66}));
  EXPECT_FALSE(fsk::ToBoolean(the_, fsk::Call(the_, index.Object(), "updateNode", root, 11, 1)));

  EXPECT_FALSE(index.RemoveKeyId(Key(6), 6));
  EXPECT_TRUE(index.RemoveKeyId(Key(6), 66));
  EXPECT_TRUE(index.Search(Key(6)).empty());
  EXPECT_EQ(index.Count(true), 10);
  EXPECT_EQ(index.Count(false), 9);

  // A search without a result adds nothing in a unique index.
  fsk::Call(the_, index.Object(), "searchNode", root, 5, Value());
  EXPECT_EQ(index.Check(), "");

  TestIndex& shared = Make(SmallShared(KeyType::kInteger, kBigEndian));
  shared.Insert(Key(1), 1);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, shared.Object(), "updateNode", shared.Root(), 1, 2); }), EINVAL);
}

TEST_F(XdbBtreeNatives, EachUpNodeGivesIdsInSlotThenChainOrder) {
  TestIndex& unique = Make(SmallUnique(kLittleEndian));
  for (int32_t key : {5, 3, 9}) {
    unique.Insert(Key(key), key * 2);
  }
  EXPECT_EQ(unique.Walk(), Walked({{Key(3), {6}}, {Key(5), {10}}, {Key(9), {18}}}));

  TestIndex& shared = Make(SmallShared(KeyType::kString, kBigEndian));
  for (int32_t id : {11, 12, 13, 14}) {
    shared.Insert(Text("pear"), id);
  }
  shared.Insert(Text("fig"), 15);
  EXPECT_EQ(shared.Walk(), Walked({{Text("fig"), {15}}, {Text("pear"), {11, 12, 13, 14}}}));
}

TEST_F(XdbBtreeNatives, PartialSearchMatchesTextPrefixes) {
  TestIndex& index = Make(SmallShared(KeyType::kString, kBigEndian));
  const std::pair<const char*, int32_t> keys[] = {
      {"apple", 1}, {"apricot", 2}, {"banana", 3}, {"app", 4}, {"ap", 5}, {"cherry", 6}, {"apples", 7},
  };
  for (const auto& [text, id] : keys) {
    index.Insert(Text(text), id);
  }
  struct Case {
    const char* text;
    int64_t length;
    std::vector<int32_t> ids;
  };
  const Case cases[] = {
      {"ap", 2, {5, 4, 1, 7, 2}},
      {"app", 3, {4, 1, 7}},
      {"apple", 5, {1, 7}},
      {"apx", 2, {5, 4, 1, 7, 2}},  // only length bytes count
      {"ap", 3, {5}},               // the text is NUL-padded to length
      {"", 0, {5, 4, 1, 7, 2, 3, 6}},
      {"apples", 100, {7}},  // at most the key size
      {"zebra", 5, {}},
  };
  for (const Case& test : cases) {
    std::vector<int32_t> ids;
    fsk::Call(the_, index.Object(), "partialSearchNode", index.Root(), test.text, test.length, index.NewResult(&ids));
    EXPECT_EQ(ids, test.ids) << test.text << " " << test.length;
  }

  TestIndex& integers = Make(SmallUnique(kBigEndian));
  integers.Insert(Key(1), 1);
  std::vector<int32_t> ids;
  fsk::Call(the_, integers.Object(), "partialSearchNode", integers.Root(), "1", 1, integers.NewResult(&ids));
  EXPECT_TRUE(ids.empty());
}

TEST_F(XdbBtreeNatives, FilterSearchSkipsKeysTheFilterRefuses) {
  TestIndex& index = Make(SmallShared(KeyType::kInteger, kBigEndian));
  for (int32_t key = 1; key <= 20; ++key) {
    index.Insert(Key(key), key);
    index.Insert(Key(key), key + 100);
  }
  // filter.call(key): the key is this of the filter.
  Value even = fsk::NewFunction(
      the_,
      [](FskMachine* the, const Value& key, const std::vector<Value>&) {
        return Value::Boolean(fsk::ToInteger(the, key) % 2 == 0);
      },
      0);
  std::vector<int32_t> ids;
  fsk::Call(the_, index.Object(), "filterSearchNode", index.Root(), even, index.NewResult(&ids));
  std::vector<int32_t> expected;
  for (int32_t key = 2; key <= 20; key += 2) {
    expected.push_back(key);
    expected.push_back(key + 100);
  }
  EXPECT_EQ(ids, expected);
  EXPECT_EQ(index.locks, 1);
  EXPECT_EQ(index.unlocks, 1);

  ids.clear();
  fsk::Call(the_, index.Object(), "filterSearchNode", index.Root(), Value(), index.NewResult(&ids));
  EXPECT_EQ(ids.size(), 40u);

  // A filter that fails leaves the page unlocked.
  Value failing = fsk::NewFunction(
      the_, [](FskMachine* the, const Value&, const std::vector<Value>&) -> Value { fxError(the, EPERM); }, 0);
  EXPECT_EQ(Raised([&] {
              fsk::Call(the_, index.Object(), "filterSearchNode", index.Root(), failing, index.NewResult(&ids));
            }),
            EPERM);
  EXPECT_EQ(index.locks, 3);
  EXPECT_EQ(index.unlocks, 3);
}

TEST_F(XdbBtreeNatives, SortingRanksFollowKeyOrder) {
  TestIndex& index = Make(SmallShared(KeyType::kNumber, kLittleEndian | 0x100));
  const std::pair<double, std::vector<int32_t>> keys[] = {
      {30.5, {4, 5, 6, 7}},
      {-10, {1, 2}},
      {20, {3}},
      {25, {}},
  };
  for (const auto& [key, ids] : keys) {
    for (int32_t id : ids) {
      index.Insert(Key(key), id);
    }
  }
  index.Insert(Key(25), 8);
  index.RemoveKeyId(Key(25), 8);  // A key without IDs takes a rank all the same.

  std::map<int32_t, int64_t> ranks = {{9, -1}, {4, -1}};
  Value array = fsk::NewObject(the_);
  fsk::Set(the_, array, "index", Value::Integer(5));
  fsk::Set(the_, array, "setValue",
           fsk::NewFunction(
               the_,
               [&ranks](FskMachine* the, const Value&, const std::vector<Value>& args) {
                 ranks[static_cast<int32_t>(fsk::ToInteger(the, args.at(0)))] = fsk::ToInteger(the, args.at(1));
                 return Value();
               },
               2));
  fsk::Call(the_, index.Object(), "buildSortingNode", array, index.Root());
  std::map<int32_t, int64_t> expected = {{1, 5}, {2, 5}, {3, 6}, {4, 8}, {5, 8}, {6, 8}, {7, 8}, {9, -1}};
  EXPECT_EQ(ranks, expected);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, array, "index")), 9);
  EXPECT_EQ(index.locks, 1);
  EXPECT_EQ(index.unlocks, 1);
}

TEST_F(XdbBtreeNatives, TheGrammarsSortingArrayTakesTheRanks) {
  TestIndex& index = Make(SmallShared(KeyType::kInteger, kBigEndian));
  index.Insert(Key(5), 1);
  index.Insert(Key(5), 2);
  index.Insert(Key(3), 4);
  Value array = fsk::New(the_, fsk::GetPath(the_, "xdbBtree"), "SortingArray", 8);
  fsk::Call(the_, index.Object(), "buildSortingNode", array, index.Root());
  auto compare = [&](int32_t a, int32_t b) { return fsk::ToInteger(the_, fsk::Call(the_, array, "compare", a, b)); };
  EXPECT_EQ(compare(1, 2), 0);
  EXPECT_EQ(compare(1, 4), 1);
  EXPECT_EQ(compare(3, 4), -1) << "an ID without a key keeps its -1";
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, array, "index")), 2);
}

TEST_F(XdbBtreeNatives, StatisticsCountIdsChainsAndDepth) {
  TestIndex& index = Make(SmallShared(KeyType::kString, kBigEndian));
  for (int32_t id = 1; id <= 12; ++id) {
    index.Insert(Text("many"), id);  // Two inline, then slots of three: 4 slots.
  }
  for (const char* text : {"a", "b", "c", "d", "e", "f", "g", "h"}) {
    index.Insert(Text(text), 100);
  }
  struct Added {
    int64_t ids, pages, slots, keyLength;
  };
  std::vector<Added> added;
  Value statistics = fsk::NewObject(the_);
  fsk::Set(the_, statistics, "add",
           fsk::NewFunction(
               the_,
               [&added](FskMachine* the, const Value&, const std::vector<Value>& args) {
                 added.push_back({fsk::ToInteger(the, args.at(0)), fsk::ToInteger(the, args.at(1)),
                                  fsk::ToInteger(the, args.at(2)), fsk::ToInteger(the, args.at(3))});
                 return Value();
               },
               4));
  fsk::Call(the_, index.Object(), "statsNode", index.Root(), statistics, 0);
  ASSERT_EQ(added.size(), 9u);
  for (size_t i = 0; i < added.size(); ++i) {
    bool many = i == 8;  // "many" sorts last.
    EXPECT_EQ(added[i].ids, many ? 12 : 1) << i;
    EXPECT_EQ(added[i].pages, many ? 1 : 0) << i;
    EXPECT_EQ(added[i].slots, many ? 4 : 0) << i;
    EXPECT_EQ(added[i].keyLength, many ? 4 : 1) << i;
  }
  // Degree 2: these nine keys make three levels.
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, statistics, "depth")), 3);
  fsk::Set(the_, statistics, "depth", Value::Integer(7));
  fsk::Call(the_, index.Object(), "statsNode", index.Root(), statistics, 0);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, statistics, "depth")), 7) << "a deeper depth stays";
}

TEST_F(XdbBtreeNatives, SearchLeftAndRightCopyTheNeighbourKeys) {
  TestIndex& index = Make(SmallUnique(kBigEndian));
  for (int32_t key = 1; key <= 8; ++key) {
    index.Insert(Key(key), key * 10);
  }
  Value root = index.Root();
  int32_t left = View(root).Child(0);
  fsk::Call(the_, index.Object(), "searchLeft", root, 0, index.Node(left));
  EXPECT_EQ(Keys(root), std::vector<int32_t>({3}));
  EXPECT_EQ(View(root).Id(0), 30);
  EXPECT_EQ(View(root).Child(0), left) << "the child stays";
  fsk::Call(the_, index.Object(), "searchRight", root, 0, index.Node(View(root).Child(1)));
  EXPECT_EQ(Keys(root), std::vector<int32_t>({5}));
  EXPECT_EQ(View(root).Id(0), 50);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, index.Object(), "searchLeft", root, 1, index.Node(left)); }), EINVAL);
}

TEST_F(XdbBtreeNatives, SplitNodeRefusesPagesThatAreNotFull) {
  TestIndex& index = Make(SmallUnique(kBigEndian));
  for (int32_t key = 1; key <= 8; ++key) {
    index.Insert(Key(key), key);
  }
  Value root = index.Root();
  EXPECT_EQ(Raised([&] { fsk::Call(the_, index.Object(), "splitNode", root, 0, Child(index, root, 0)); }), EINVAL);
  EXPECT_EQ(Raised([&] { fsk::Call(the_, index.Object(), "splitNode", root, 1, Child(index, root, 0)); }), EINVAL);
  EXPECT_EQ(index.Check(), "");
}

TEST_F(XdbBtreeNatives, APageThatLinksBackUpIsRefused) {
  TestIndex& index = Make(SmallUnique(kBigEndian));
  for (int32_t key = 1; key <= 8; ++key) {
    index.Insert(Key(key), key);
  }
  Value root = index.Root();
  View(root).SetChild(1, CatalogPageOffset(the_, root));
  EXPECT_EQ(Raised([&] { index.Search(Key(9)); }), EINVAL);
  EXPECT_EQ(Raised([&] { index.Count(true); }), EINVAL);
  EXPECT_EQ(Raised([&] { index.Insert(Key(9), 9); }), EINVAL);
}

// A walk enters each page once: a child pointer back to the root, or a
// second pointer to a page already walked, ends it with EINVAL when the
// page is reached again. The filter counts the keys the walk visited.
TEST_F(XdbBtreeNatives, AWalkRefusesAPageItHasAlreadyEntered) {
  struct Case {
    const char* what;
    bool toRoot;  // else child 1 points at child 0
  };
  const Case cases[] = {{"last child back to the root", true}, {"second pointer to a leaf", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestIndex& index = Make(SmallUnique(kBigEndian));
    for (int32_t key = 1; key <= 20; ++key) {
      index.Insert(Key(key), key);
    }
    Value root = index.Root();
    int rootKeys = View(root).Count();
    ASSERT_GE(rootKeys, 2);
    ASSERT_TRUE(View(Child(index, root, 0)).IsLeaf());
    ASSERT_TRUE(View(Child(index, root, rootKeys)).IsLeaf());
    // The keys the walk visits before it reaches the damaged pointer.
    int64_t before = 0;
    if (c.toRoot) {
      before = 20 - View(Child(index, root, rootKeys)).Count();
      View(root).SetChild(rootKeys, CatalogPageOffset(the_, root));
    } else {
      before = View(Child(index, root, 0)).Count() + 1;
      View(root).SetChild(1, View(root).Child(0));
    }
    int64_t visited = 0;
    Value counting = fsk::NewFunction(
        the_,
        [&visited](FskMachine*, const Value&, const std::vector<Value>&) {
          visited += 1;
          return Value::Boolean(true);
        },
        0);
    std::vector<int32_t> ids;
    EXPECT_EQ(Raised([&] {
                fsk::Call(the_, index.Object(), "filterSearchNode", index.Root(), counting, index.NewResult(&ids));
              }),
              EINVAL);
    EXPECT_EQ(visited, before);
    EXPECT_EQ(index.locks, index.unlocks);
    EXPECT_EQ(Raised([&] { index.Count(true); }), EINVAL);
    EXPECT_EQ(Raised([&] { index.Walk(); }), EINVAL);
  }
}

}  // namespace
