#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/dbmanager/XdbStore.h"
#include "outside/fsk/tests/XdbStoreSearch.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using xdbtest::Found;

using IDs = std::vector<int32_t>;
using Kind = ::XdbStore::Kind;
using Record = ::XdbStore::Record;

constexpr int kSteps = 3000;
constexpr int kCheckEvery = 100;
constexpr int32_t kLimit = 60;
const uint32_t kSeeds[] = {20260101U};

// The store as a map of records.
struct Model {
  std::map<int32_t, Record> records;
  int32_t counter = 0;

  int32_t FreeID() const {
    for (int32_t id = 1; id <= kLimit; ++id) {
      if (records.count(id) == 0) {
        return id;
      }
    }
    return 0;
  }
  IDs Select(const std::function<bool(const Record&)>& match) const {
    IDs ids;
    for (const auto& [id, record] : records) {
      if (match(record)) {
        ids.push_back(id);
      }
    }
    return ids;
  }
  IDs OfKind(Kind kind) const {
    return Select([&](const Record& r) { return r.kind == kind; });
  }
};

bool IsContent(const Record& r) { return r.kind == Kind::kContent; }

// The dates of the steps fall in the first months of kYear.
constexpr int32_t kYear = 2008;
constexpr int32_t kMonths = 6;

// The month of a date's UTC fields in kYear, else 0.
int32_t MonthOf(double date) {
  auto seconds = static_cast<time_t>(std::floor(date / 1000));
  tm fields{};
  if (gmtime_r(&seconds, &fields) == nullptr || fields.tm_year + 1900 != kYear) {
    return 0;
  }
  return fields.tm_mon + 1;
}

// Named as the class it tests.
class XdbStoreModel : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    machine_ = std::make_unique<fsktest::GrammarMachine>();
    ASSERT_NE(machine_->Machine(), nullptr) << machine_->LoadError();
  }
  void TearDown() override {
    machine_.reset();
    HermeticTest::TearDown();
  }

  // The ranks of key order the contents as their keys do, equal keys
  // sharing a rank; every other ID ranks -1.
  template <typename KeyOf>
  static void ExpectRanksFollow(::XdbStore& store, ::XdbStore::SortKey key, const Model& model, KeyOf keyOf) {
    std::vector<int64_t> ranks;
    ASSERT_EQ(store.SortingRanks(key, &ranks), kXpOk);
    ASSERT_EQ(ranks.size(), static_cast<size_t>(kLimit) + 1);
    std::vector<std::pair<int32_t, int32_t>> byKey;  // (key, id)
    for (int32_t id = 1; id <= kLimit; ++id) {
      auto found = model.records.find(id);
      if (found == model.records.end() || !IsContent(found->second)) {
        EXPECT_EQ(ranks[static_cast<size_t>(id)], -1) << id;
        continue;
      }
      byKey.emplace_back(keyOf(found->second.content), id);
    }
    std::sort(byKey.begin(), byKey.end());
    for (size_t i = 1; i < byKey.size(); ++i) {
      int64_t before = ranks[static_cast<size_t>(byKey[i - 1].second)];
      int64_t after = ranks[static_cast<size_t>(byKey[i].second)];
      if (byKey[i - 1].first == byKey[i].first) {
        EXPECT_EQ(before, after) << byKey[i - 1].second << " " << byKey[i].second;
      } else {
        EXPECT_LT(before, after) << byKey[i - 1].second << " " << byKey[i].second;
      }
    }
  }

  static void ExpectAgrees(::XdbStore& store, const Model& model) {
    EXPECT_EQ(Found(store, &::XdbStore::AllAlbums), model.OfKind(Kind::kAlbum));
    EXPECT_EQ(Found(store, &::XdbStore::AllContents), model.OfKind(Kind::kContent));
    for (int32_t album : model.OfKind(Kind::kAlbum)) {
      EXPECT_EQ(Found(store, &::XdbStore::ContentsOfAlbum, album),
                model.Select([&](const Record& r) { return IsContent(r) && r.content.albumID == album; }));
    }
    EXPECT_EQ(Found(store, &::XdbStore::GuidRange, 1, 2147483647.0), model.OfKind(Kind::kContent));
    EXPECT_EQ(Found(store, &::XdbStore::AlbumRange, 1, kLimit / 2),
              model.Select([](const Record& r) { return IsContent(r) && r.content.albumID <= kLimit / 2; }));
    for (int32_t bit : {1, 2, 4}) {
      EXPECT_EQ(Found(store, &::XdbStore::ShareAny, bit),
                model.Select([&](const Record& r) { return IsContent(r) && (r.content.shareFlag & bit) != 0; }));
    }
    for (int32_t value : {0, 3}) {
      EXPECT_EQ(Found(store, &::XdbStore::FavoriteEqual, value),
                model.Select([&](const Record& r) { return IsContent(r) && r.content.favoriteFlag == value; }));
    }
    for (int32_t month = 1; month <= kMonths; ++month) {
      EXPECT_EQ(Found(store, &::XdbStore::InMonth, kYear, month), model.Select([&](const Record& r) {
        return IsContent(r) && MonthOf(r.content.date) == month;
      })) << "month "
          << month;
    }
    IDs contents = model.OfKind(Kind::kContent);
    if (!contents.empty()) {
      const XdbContent& first = model.records.at(contents.front()).content;
      EXPECT_EQ(Found(store, &::XdbStore::Dcf, first.folderID, first.fileID), model.Select([&](const Record& r) {
        return IsContent(r) && r.content.folderID == first.folderID && r.content.fileID == first.fileID;
      }));
      EXPECT_EQ(Found(store, &::XdbStore::GuidEqual, first.guid), IDs{contents.front()});
    }
    ExpectRanksFollow(store, ::XdbStore::SortKey::kGuid, model, [](const XdbContent& c) { return c.guid; });
    ExpectRanksFollow(store, ::XdbStore::SortKey::kAlbumID, model, [](const XdbContent& c) { return c.albumID; });
    for (int32_t id = 1; id <= kLimit; ++id) {
      auto found = store.GetRecord(id);
      auto expected = model.records.find(id);
      ASSERT_EQ(found.has_value(), expected != model.records.end()) << id;
      if (!found) {
        continue;
      }
      EXPECT_EQ(found->kind, expected->second.kind) << id;
      if (found->kind == Kind::kContent) {
        EXPECT_EQ(found->content, expected->second.content) << id;
      } else {
        EXPECT_EQ(found->album, expected->second.album) << id;
      }
    }
  }

  std::unique_ptr<fsktest::GrammarMachine> machine_;
};

TEST_F(XdbStoreModel, RandomStepsAgreeWithTheModel) {
  for (uint32_t seed : kSeeds) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::printf("XdbStoreModel seed %u\n", seed);
    std::string folder = Dir("db" + std::to_string(seed)).string();
    auto store = std::make_unique<::XdbStore>(machine_->Machine());
    store->SetLimit(kLimit);
    int status = 0;
    ASSERT_EQ(store->Open(folder, &status), kXpOk);
    ASSERT_EQ(status, ::XdbStore::kOpened);
    Model model;
    Model flushed;
    std::mt19937 random(seed);
    auto pick = [&](Kind kind) {
      IDs ids = model.OfKind(kind);
      return ids.empty() ? 0 : ids[random() % ids.size()];
    };
    for (int step = 0; step < kSteps; ++step) {
      uint32_t action = random() % 100;
      int32_t id = 0;
      if (action < 10) {
        XdbAlbum album{static_cast<double>(random() % 1000), static_cast<int32_t>(random() % 5),
                       "t" + std::to_string(random() % 100)};
        ASSERT_EQ(store->AddAlbum(album, &id), kXpOk);
        ASSERT_EQ(id, model.FreeID());
        if (id != 0) {
          model.records[id] = Record{id, Kind::kAlbum, {}, album};
        }
      } else if (action < 40) {
        int32_t album = pick(Kind::kAlbum);
        XdbContent fields{1.2e12 + static_cast<double>(random() % 100) * 8.64e7, static_cast<int32_t>(random() % 900),
                          static_cast<int32_t>(random() % 9999), album, 1, 0, 0, 0};
        XpResult result = store->AddContent(fields, &id);
        if (album == 0) {
          ASSERT_EQ(result, kXpErrBadArgument);
          continue;
        }
        ASSERT_EQ(result, kXpOk);
        ASSERT_EQ(id, model.FreeID());
        if (id != 0) {
          fields.guid = ++model.counter;
          model.records[id] = Record{id, Kind::kContent, fields, {}};
        }
      } else if (action < 55) {
        Kind kind = random() % 4 == 0 ? Kind::kAlbum : Kind::kContent;
        id = pick(kind);
        if (id != 0) {
          ASSERT_EQ(store->Delete(id, kind), kXpOk);
          model.records.erase(id);
        }
      } else if (action < 65) {
        id = pick(Kind::kContent);
        int32_t album = pick(Kind::kAlbum);
        if (id != 0 && album != 0) {
          XdbContent& c = model.records[id].content;
          c.date += 8.64e7;
          c.albumID = album;
          c.misc = static_cast<int32_t>(random() % 7);
          ASSERT_EQ(store->UpdateContent(id, c), kXpOk);
        }
      } else if (action < 70) {
        id = pick(Kind::kAlbum);
        if (id != 0) {
          XdbAlbum& a = model.records[id].album;
          a.title = std::string(random() % 40, 'u');
          a.preference = static_cast<int32_t>(random() % 9);
          ASSERT_EQ(store->UpdateAlbum(id, a), kXpOk);
        }
      } else if (action < 85) {
        id = pick(Kind::kContent);
        if (id != 0) {
          auto value = static_cast<int32_t>(1 << (random() % 3));
          bool set = random() % 2 == 0;
          XdbContent& c = model.records[id].content;
          if (random() % 2 == 0) {
            ASSERT_EQ(store->SetShare(id, value, set), kXpOk);
            c.shareFlag = set ? (c.shareFlag | value) : (c.shareFlag & ~value);
          } else {
            ASSERT_EQ(store->SetFavorite(id, 3, set), kXpOk);
            c.favoriteFlag = set ? 3 : 0;
          }
        }
      } else if (action < 93) {
        ASSERT_EQ(store->Flush(), kXpOk);
        flushed = model;
      } else if (action < 97) {
        ASSERT_EQ(store->Close(), kXpOk);
        ASSERT_EQ(store->Open(folder, &status), kXpOk);
        ASSERT_EQ(status, ::XdbStore::kOpened);
        flushed = model;
      } else {
        // Dropped without close: back to the last flush.
        store = std::make_unique<::XdbStore>(machine_->Machine());
        store->SetLimit(kLimit);
        ASSERT_EQ(store->Open(folder, &status), kXpOk);
        model = flushed;
      }
      ExpectAgrees(*store, model);
      if (step % kCheckEvery == 0 || step == kSteps - 1) {
        ASSERT_EQ(store->Check(), std::vector<std::string>{}) << "step " << step;
      }
      if (HasFailure()) {
        FAIL() << "step " << step << " action " << action;
      }
    }
  }
}

}  // namespace
