#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "catalogdb/tests/XdbBtreeTestIndex.h"
#include "catalogdb/tests/XdbNativeFixture.h"

// Random insertions, removals and searches through the natives, checked
// step by step against a map. The seed is fixed and printed; the
// environment variable KAVO_TEST_SEED sets another, or "fresh" draws one.

namespace {

using fsk::Value;
using xdbtest::IndexShape;
using xdbtest::KeyType;
using xdbtest::TestIndex;
using xdbtest::TestKey;

constexpr uint32_t kDefaultSeed = 20240611;
constexpr int kSteps = 2000;
constexpr int kReopenEvery = 500;
// Keys are drawn from about this many values, so that the trees grow a few
// levels deep and shrink again.
constexpr int kKeyValues = 150;

uint32_t Seed() {
  const char* chosen = std::getenv("KAVO_TEST_SEED");
  if (chosen == nullptr || *chosen == '\0') {
    return kDefaultSeed;
  }
  if (std::string(chosen) == "fresh") {
    return std::random_device()();
  }
  return static_cast<uint32_t>(std::strtoul(chosen, nullptr, 10));
}

struct ModelCase {
  const char* name;
  KeyType keys;
  bool unique;
  int32_t order;
};

void PrintTo(const ModelCase& test, std::ostream* out) { *out << test.name; }

// Each key with its IDs; a key may be left with none.
using Model = std::map<TestKey, std::vector<int32_t>>;

class XdbBtreeNativesModel : public xdbtest::XdbNativeFixture, public ::testing::WithParamInterface<ModelCase> {
 protected:
  static IndexShape ShapeOf(const ModelCase& test) {
    IndexShape shape;
    shape.keys = test.keys;
    shape.unique = test.unique;
    shape.keyLength = 8;
    shape.pageEntries = 2;
    shape.overflowEntries = 3;
    shape.defaultSize = 64;
    shape.order = test.order;
    return shape;
  }

  TestKey RandomKey(KeyType keys) {
    switch (keys) {
      case KeyType::kInteger:
        return TestKey::Of(std::uniform_int_distribution<int>(-kKeyValues / 2, kKeyValues / 2)(random_));
      case KeyType::kNumber:
        return TestKey::Of(std::uniform_int_distribution<int>(-kKeyValues / 2, kKeyValues / 2)(random_) * 0.37e3 - 0.5);
      case KeyType::kString: {
        static constexpr char kLetters[] = "abcz\xE9";
        std::string text(std::uniform_int_distribution<size_t>(1, 3)(random_), 'a');
        for (char& letter : text) {
          letter = kLetters[std::uniform_int_distribution<size_t>(0, sizeof kLetters - 2)(random_)];
        }
        return TestKey::Of(text);
      }
    }
    return TestKey();
  }

  // A key of the model (or a random one when the model is empty).
  TestKey ExistingKey(const Model& model, KeyType keys) {
    if (model.empty()) {
      return RandomKey(keys);
    }
    auto at = model.begin();
    std::advance(at, std::uniform_int_distribution<size_t>(0, model.size() - 1)(random_));
    return at->first;
  }

  std::mt19937 random_;
};

std::vector<int32_t> Sorted(std::vector<int32_t> ids) {
  std::sort(ids.begin(), ids.end());
  return ids;
}

TEST_P(XdbBtreeNativesModel, StaysEqualToAMap) {
  const ModelCase& test = GetParam();
  uint32_t seed = Seed();
  std::cout << "XdbBtreeNativesModel " << test.name << " seed " << seed << std::endl;
  RecordProperty("seed", std::to_string(seed));
  random_.seed(seed);

  TestIndex index(the_, ShapeOf(test));
  Model model;
  int32_t nextId = 1;
  for (int step = 1; step <= kSteps; ++step) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
    int action = std::uniform_int_distribution<int>(0, 99)(random_);
    if (action < 45) {
      TestKey key = action < 10 ? ExistingKey(model, test.keys) : RandomKey(test.keys);
      int32_t id = nextId++;
      bool duplicate = test.unique && model.count(key) != 0;
      if (duplicate) {
        // Splits made on the way down stay; the keys do not change.
        EXPECT_EQ(Raised([&] { index.Insert(key, id); }), xdbtest::kOtherError) << "an Error without a code";
      } else {
        index.Insert(key, id);
        model[key].push_back(id);
      }
    } else if (action < 60) {
      TestKey key = action < 55 ? ExistingKey(model, test.keys) : RandomKey(test.keys);
      ASSERT_EQ(index.RemoveKey(key), model.erase(key) != 0) << Describe(key);
    } else if (action < 80 && !model.empty()) {
      TestKey key = ExistingKey(model, test.keys);
      std::vector<int32_t>& ids = model[key];
      int32_t id = ids.empty() || action < 64 ? nextId + 1
                                              : ids[std::uniform_int_distribution<size_t>(0, ids.size() - 1)(random_)];
      auto found = std::find(ids.begin(), ids.end(), id);
      ASSERT_EQ(index.RemoveKeyId(key, id), found != ids.end()) << Describe(key) << " " << id;
      if (found != ids.end()) {
        ids.erase(found);
      }
    } else {
      TestKey key = action < 90 ? ExistingKey(model, test.keys) : RandomKey(test.keys);
      auto found = model.find(key);
      std::vector<int32_t> expected = found != model.end() ? Sorted(found->second) : std::vector<int32_t>();
      ASSERT_EQ(Sorted(index.Search(key)), expected) << Describe(key);
    }

    if (step % kReopenEvery == 0) {
      index.Reopen();
    }

    std::vector<std::pair<TestKey, std::vector<int32_t>>> walked = index.Walk();
    ASSERT_EQ(walked.size(), model.size());
    auto expected = model.begin();
    int64_t ids = 0;
    for (auto& [key, walkedIds] : walked) {
      ASSERT_EQ(key, expected->first);
      if (test.unique && walkedIds == std::vector<int32_t>({0})) {
        walkedIds.clear();  // A unique key whose ID was removed.
      }
      ASSERT_EQ(Sorted(walkedIds), Sorted(expected->second)) << Describe(key);
      ids += static_cast<int64_t>(expected->second.size());
      ++expected;
    }
    ASSERT_EQ(index.Count(true), static_cast<int64_t>(model.size()));
    ASSERT_EQ(index.Count(false), ids);
    ASSERT_EQ(index.Check(), "");
  }
  std::cout << "XdbBtreeNativesModel " << test.name << " ended with " << model.size() << " keys, file of "
            << index.File().size() << " bytes" << std::endl;
}

TEST_P(XdbBtreeNativesModel, RanksFollowTheKeys) {
  const ModelCase& test = GetParam();
  uint32_t seed = Seed() + 1;
  random_.seed(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  TestIndex index(the_, ShapeOf(test));
  Model model;
  for (int32_t id = 1; id <= 600; ++id) {
    TestKey key = RandomKey(test.keys);
    if (test.unique && model.count(key) != 0) {
      continue;
    }
    index.Insert(key, id);
    model[key].push_back(id);
  }
  std::map<int32_t, int64_t> ranks = {{0, -7}, {100000, -7}};
  Value array = fsk::NewObject(the_);
  fsk::Set(the_, array, "index", Value::Integer(0));
  fsk::Set(the_, array, "setValue",
           fsk::NewFunction(
               the_,
               [&ranks](FskMachine* the, const Value&, const std::vector<Value>& args) {
                 ranks[static_cast<int32_t>(fsk::ToInteger(the, args.at(0)))] = fsk::ToInteger(the, args.at(1));
                 return Value();
               },
               2));
  fsk::Call(the_, index.Object(), "buildSortingNode", array, index.Root());

  std::map<int32_t, int64_t> expected = {{0, -7}, {100000, -7}};
  int64_t rank = 0;
  for (const auto& [key, ids] : model) {
    for (int32_t id : ids) {
      expected[id] = rank;
    }
    ++rank;
  }
  EXPECT_EQ(ranks, expected);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, array, "index")), rank);
}

const ModelCase kCases[] = {
    {"UniqueIntegerBigEndian", KeyType::kInteger, true, 8},
    {"UniqueIntegerLittleEndian", KeyType::kInteger, true, 12},
    {"IntegerBigEndian", KeyType::kInteger, false, 8},
    {"IntegerLittleEndian", KeyType::kInteger, false, 12},
    {"NumberBigEndian", KeyType::kNumber, false, 8},
    {"NumberLittleEndian", KeyType::kNumber, false, 12},
    {"NumberSplitDoubles", KeyType::kNumber, false, 12 | 0x100},
    {"TextBigEndian", KeyType::kString, false, 8},
    {"TextLittleEndian", KeyType::kString, false, 12},
};

INSTANTIATE_TEST_SUITE_P(, XdbBtreeNativesModel, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ModelCase>& info) { return info.param.name; });

}  // namespace
