#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/dbmanager/XdbBtreeIndex.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/result/XpResult.h"
#include "platform/testsupport/HermeticTest.h"

// Random insertions, removals and searches on an index file, checked step
// by step against a multimap; the index is closed and opened again from its
// file every few hundred steps. The seed is fixed and printed; the
// environment variable KAVO_TEST_SEED sets another, or "fresh" draws one.

namespace {

using Key = ::XdbBtreeIndex::Key;
using Kind = ::XdbBtreeIndex::Kind;
using KeyKind = ::XdbBtreeIndex::KeyKind;

constexpr uint32_t kDefaultSeed = 20261210;
constexpr int kSteps = 5000;
constexpr int kReopenEvery = 500;
// Keys are drawn from about this many values, so that the trees grow a few
// levels deep and shrink again.
constexpr int kKeyValues = 60;
// The rank an ID of no key keeps.
constexpr int64_t kNoRank = -7;

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

std::string Describe(const Key& key) {
  std::ostringstream text;
  std::visit([&](const auto& value) { text << value; }, key);
  return text.str();
}

struct ModelCase {
  const char* name;
  KeyKind keys;
  bool unique;
  int32_t order;
};

void PrintTo(const ModelCase& test, std::ostream* out) { *out << test.name; }

// The index as a multimap of (key, ID) pairs, and the keys that the index
// holds without IDs (removeKeyID leaves a key in place).
struct Model {
  std::multimap<Key, int32_t> pairs;
  std::set<Key> idless;

  bool Holds(const Key& key) const { return pairs.count(key) != 0 || idless.count(key) != 0; }

  std::vector<int32_t> Ids(const Key& key) const {
    std::vector<int32_t> ids;
    auto [first, last] = pairs.equal_range(key);
    for (auto at = first; at != last; ++at) {
      ids.push_back(at->second);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  // Every key in ascending order.
  std::vector<Key> Keys() const {
    std::set<Key> keys = idless;
    for (const auto& [key, id] : pairs) {
      keys.insert(key);
    }
    return std::vector<Key>(keys.begin(), keys.end());
  }
};

class XdbBtreeModel : public testsupport::HermeticTest, public ::testing::WithParamInterface<ModelCase> {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    machine_ = std::make_unique<fsktest::GrammarMachine>();
    ASSERT_NE(machine_->Machine(), nullptr) << machine_->LoadError();
    index_ = std::make_unique<::XdbBtreeIndex>(machine_->Machine());
  }

  void TearDown() override {
    index_.reset();
    machine_.reset();
    HermeticTest::TearDown();
  }

  // Small pages: degree 2 to 4, two inline IDs, three IDs an overflow
  // slot, and a cache of two pages so that pages are read again often.
  static Kind KindOf(const ModelCase& test) {
    Kind kind;
    kind.unique = test.unique;
    kind.keys = test.keys;
    kind.keyLength = 8;
    kind.pageEntries = 2;
    kind.overflowEntries = 3;
    kind.defaultSize = 64;
    kind.order = test.order;
    kind.cacheSize = 2;
    return kind;
  }

  // One of about kKeyValues keys; texts are 1 to 8 bytes, some above 0x7F.
  Key RandomKey(KeyKind keys) {
    int value = std::uniform_int_distribution<int>(-kKeyValues / 2, kKeyValues / 2)(random_);
    switch (keys) {
      case KeyKind::kInteger:
        return Key(int32_t{value * 1000003});
      case KeyKind::kNumber:
        return Key(value * 0.37e3 - 0.5);
      case KeyKind::kString:
        break;
    }
    static constexpr char kLetters[] = "abz\xE9";
    auto bits = static_cast<uint32_t>(value + kKeyValues) * 2654435761U;
    std::string text(1 + static_cast<size_t>(bits >> 29), 'a');
    for (char& letter : text) {
      letter = kLetters[bits & 3];
      bits >>= 2;
    }
    return Key(text);
  }

  Key ExistingKey(const Model& model, KeyKind keys) {
    std::vector<Key> all = model.Keys();
    if (all.empty()) {
      return RandomKey(keys);
    }
    return all[std::uniform_int_distribution<size_t>(0, all.size() - 1)(random_)];
  }

  // One random step on the index and the model.
  void Step(const ModelCase& test, Model& model) {
    int action = std::uniform_int_distribution<int>(0, 99)(random_);
    if (action < 45) {
      Key key = action < 10 ? ExistingKey(model, test.keys) : RandomKey(test.keys);
      int32_t id = nextId_++;
      if (test.unique && model.Holds(key)) {
        ASSERT_EQ(index_->Insert(key, id), kXpErrAlreadyExists) << Describe(key);
        return;
      }
      ASSERT_EQ(index_->Insert(key, id), kXpOk) << Describe(key);
      model.pairs.emplace(key, id);
      model.idless.erase(key);
    } else if (action < 60) {
      Key key = action < 55 ? ExistingKey(model, test.keys) : RandomKey(test.keys);
      bool removed = false;
      ASSERT_EQ(index_->RemoveKey(key, &removed), kXpOk);
      ASSERT_EQ(removed, model.Holds(key)) << Describe(key);
      model.pairs.erase(key);
      model.idless.erase(key);
    } else if (action < 80) {
      Key key = ExistingKey(model, test.keys);
      std::vector<int32_t> ids = model.Ids(key);
      int32_t id = ids.empty() || action < 64 ? nextId_ + 1
                                              : ids[std::uniform_int_distribution<size_t>(0, ids.size() - 1)(random_)];
      bool held = std::find(ids.begin(), ids.end(), id) != ids.end();
      bool removed = false;
      ASSERT_EQ(index_->RemoveKeyId(key, id, &removed), kXpOk);
      ASSERT_EQ(removed, held) << Describe(key) << " " << id;
      if (held) {
        auto [first, last] = model.pairs.equal_range(key);
        model.pairs.erase(std::find_if(first, last, [&](const auto& pair) { return pair.second == id; }));
        if (model.pairs.count(key) == 0) {
          model.idless.insert(key);
        }
      }
    } else {
      Key key = action < 90 ? ExistingKey(model, test.keys) : RandomKey(test.keys);
      std::vector<int32_t> ids;
      ASSERT_EQ(index_->Search(key, &ids), kXpOk);
      std::sort(ids.begin(), ids.end());
      ASSERT_EQ(ids, model.Ids(key)) << Describe(key);
    }
  }

  // The index against the model after a step.
  void Compare(const Model& model) {
    std::vector<Key> keys = model.Keys();
    std::vector<std::pair<Key, std::vector<int32_t>>> walked;
    ASSERT_EQ(index_->Walk([&](const Key& key, const std::vector<int32_t>& ids) {
      std::vector<int32_t> sorted = ids;
      std::sort(sorted.begin(), sorted.end());
      walked.emplace_back(key, std::move(sorted));
    }),
              kXpOk);
    ASSERT_EQ(walked.size(), keys.size());
    for (size_t at = 0; at < keys.size(); ++at) {
      ASSERT_EQ(walked[at].first, keys[at]) << at;
      ASSERT_EQ(walked[at].second, model.Ids(keys[at])) << Describe(keys[at]);
    }

    int64_t count = -1;
    ASSERT_EQ(index_->Count(true, &count), kXpOk);
    ASSERT_EQ(count, static_cast<int64_t>(keys.size()));
    ASSERT_EQ(index_->Count(false, &count), kXpOk);
    ASSERT_EQ(count, static_cast<int64_t>(model.pairs.size()));

    std::vector<int64_t> ranks(static_cast<size_t>(nextId_), kNoRank);
    std::vector<int64_t> expected = ranks;
    for (size_t rank = 0; rank < keys.size(); ++rank) {
      for (int32_t id : model.Ids(keys[rank])) {
        expected[static_cast<size_t>(id)] = static_cast<int64_t>(rank);
      }
    }
    ASSERT_EQ(index_->BuildSortingRanks(&ranks), kXpOk);
    ASSERT_EQ(ranks, expected);

    ASSERT_EQ(index_->Check(), "");
  }

  std::string Path() { return (Dir("db") / "model.idx").string(); }

  std::unique_ptr<fsktest::GrammarMachine> machine_;
  std::unique_ptr<::XdbBtreeIndex> index_;
  std::mt19937 random_;
  int32_t nextId_ = 1;
};

TEST_P(XdbBtreeModel, StaysEqualToAMultimap) {
  const ModelCase& test = GetParam();
  uint32_t seed = Seed();
  std::cout << "XdbBtreeModel " << test.name << " seed " << seed << std::endl;
  RecordProperty("seed", std::to_string(seed));
  random_.seed(seed);

  ASSERT_EQ(index_->Create(Path(), KindOf(test)), kXpOk);
  Model model;
  for (int step = 1; step <= kSteps; ++step) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
    ASSERT_NO_FATAL_FAILURE(Step(test, model));
    if (step % kReopenEvery == 0) {
      ASSERT_EQ(index_->Close(), kXpOk);
      ASSERT_EQ(index_->Open(Path()), kXpOk);
    }
    ASSERT_NO_FATAL_FAILURE(Compare(model));
  }
  std::cout << "XdbBtreeModel " << test.name << " ended with " << model.Keys().size() << " keys and "
            << model.pairs.size() << " IDs" << std::endl;
}

const ModelCase kCases[] = {
    {"UniqueIntegerBigEndian", KeyKind::kInteger, true, ::XdbBtreeIndex::kBigEndian},
    {"UniqueIntegerLittleEndian", KeyKind::kInteger, true, ::XdbBtreeIndex::kLittleEndian},
    {"IntegerBigEndian", KeyKind::kInteger, false, ::XdbBtreeIndex::kBigEndian},
    {"IntegerLittleEndian", KeyKind::kInteger, false, ::XdbBtreeIndex::kLittleEndian},
    {"NumberBigEndian", KeyKind::kNumber, false, ::XdbBtreeIndex::kBigEndian},
    {"NumberLittleEndian", KeyKind::kNumber, false, ::XdbBtreeIndex::kLittleEndian},
    {"NumberSplitDoubles", KeyKind::kNumber, false,
     ::XdbBtreeIndex::kLittleEndian | ::XdbBtreeIndex::kSplitDoubles},
    {"TextBigEndian", KeyKind::kString, false, ::XdbBtreeIndex::kBigEndian},
    {"TextLittleEndian", KeyKind::kString, false, ::XdbBtreeIndex::kLittleEndian},
};

INSTANTIATE_TEST_SUITE_P(, XdbBtreeModel, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ModelCase>& info) { return info.param.name; });

}  // namespace
