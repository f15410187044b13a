#include <algorithm>
#include <filesystem>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/tests/XdbMasterFixture.h"

namespace {

namespace fs = std::filesystem;
using fsk::Value;
using IDs = std::vector<int64_t>;

constexpr int32_t kLimit = 40;
constexpr int kCalls = 1000;
constexpr int kSeeds = 2;

struct ModelRecord {
  bool album = false;
  double date = 0;
  int32_t folderID = 0;
  int32_t fileID = 0;
  int32_t albumID = 0;
  int32_t misc = 0;
  int32_t shareFlag = 0;
  int32_t favoriteFlag = 0;
  int32_t guid = 0;
  std::string title;
  int32_t preference = 0;
};

// The database as the machine should answer it.
struct Model {
  std::map<int32_t, ModelRecord> records;
  int32_t lastGuid = 0;

  int32_t FreeID() const {
    for (int32_t id = 1; id <= kLimit; ++id) {
      if (records.count(id) == 0) {
        return id;
      }
    }
    return -1;
  }
  bool Is(int32_t id, bool album) const {
    auto found = records.find(id);
    return found != records.end() && found->second.album == album;
  }
  template <typename Match>
  IDs Where(Match match) const {
    IDs ids;
    for (const auto& [id, record] : records) {
      if (match(record)) {
        ids.push_back(id);
      }
    }
    return ids;
  }
  // Contents in ascending order of (albumID when byAlbum, guid).
  IDs Sorted(bool byAlbum) const {
    IDs ids = Where([](const ModelRecord& r) { return !r.album; });
    std::stable_sort(ids.begin(), ids.end(), [&](int64_t a, int64_t b) {
      const ModelRecord& x = records.at(static_cast<int32_t>(a));
      const ModelRecord& y = records.at(static_cast<int32_t>(b));
      if (byAlbum && x.albumID != y.albumID) {
        return x.albumID < y.albumID;
      }
      return x.guid < y.guid;
    });
    return ids;
  }
};

class XdbMasterModel : public xdbtest::MasterFixture {
 protected:
  void SetUp() override {
    SetEnv("KAVO_XDB_LIMIT", std::to_string(kLimit));
    MasterFixture::SetUp();
  }

  void Reopen(Value* master) {
    fsk::Call(the_, *master, "deleteIndex", "guid");
    fsk::Call(the_, *master, "close");
    ASSERT_EQ(Integer(fsk::Call(the_, *master, "open", folder_.string(), nullptr)), 350);
    fsk::Call(the_, *master, "createIndex", "guid", 64, nullptr);
  }

  void ExpectRecord(const Value& master, const Model& model, int32_t id) {
    Value object = fsk::Call(the_, master, "getRecord", id);
    auto found = model.records.find(id);
    if (found == model.records.end()) {
      EXPECT_TRUE(object.IsUndefined()) << id;
      return;
    }
    const ModelRecord& r = found->second;
    ASSERT_TRUE(object.IsObject()) << id;
    EXPECT_EQ(fsk::Call(the_, master, "getRecordA", id).IsUndefined(), !r.album) << id;
    if (r.album) {
      EXPECT_EQ(fsk::ToString(the_, fsk::Get(the_, object, "title")), r.title) << id;
      EXPECT_EQ(fsk::ToNumber(the_, fsk::Get(the_, object, "albumDate")), r.date) << id;
      EXPECT_EQ(Integer(fsk::Get(the_, object, "preference")), r.preference) << id;
      return;
    }
    const std::map<std::string, double> fields = {
        {"date", r.date},         {"folderID", r.folderID},   {"fileID", r.fileID},
        {"albumID", r.albumID},   {"misc", r.misc},           {"shareFlag", r.shareFlag},
        {"favoriteFlag", r.favoriteFlag}, {"guid", r.guid}};
    for (const auto& [name, value] : fields) {
      EXPECT_EQ(fsk::ToNumber(the_, fsk::Get(the_, object, name)), value) << id << " " << name;
    }
  }

  void RunSeed(uint32_t seed);
};

void XdbMasterModel::RunSeed(uint32_t seed) {
  std::cout << "XdbMasterModel seed " << seed << std::endl;
  SCOPED_TRACE("seed " + std::to_string(seed) +
               "; replay with KAVO_XDB_MODEL_SEED=" + std::to_string(seed));
  std::mt19937 random(seed);
  auto pick = [&](int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random); };
  auto date = [&] { return 946684800000.0 + 1000.0 * pick(0, 600000000); };
  Model model;
  fs::remove_all(folder_);
  fs::create_directories(folder_);
  Value master = OpenMaster(folder_);
  for (int call = 0; call < kCalls && !HasFailure(); ++call) {
    SCOPED_TRACE("call " + std::to_string(call));
    int32_t id = pick(0, kLimit + 1);
    int32_t value = pick(0, 7);
    bool sf = pick(0, 1) == 0;
    switch (pick(0, 15)) {
      case 0:
      case 1: {
        ModelRecord r;
        r.album = true;
        r.date = date();
        r.title = "t" + std::to_string(pick(0, 999));
        r.preference = pick(0, 5);
        int32_t expected = model.FreeID();
        Value album = fsk::New(the_, dbManager_, "ContentAlbumInfo", r.date, r.title, r.preference);
        EXPECT_EQ(Integer(fsk::Call(the_, master, "createAlbum", album)), expected);
        if (expected > 0) {
          model.records[expected] = r;
        }
        break;
      }
      case 2:
      case 3:
      case 4: {
        ModelRecord r;
        r.date = date();
        r.folderID = pick(100, 102);
        r.fileID = pick(1, 9);
        r.albumID = pick(0, 3) == 0 ? id : [&] {
          IDs albums = model.Where([](const ModelRecord& m) { return m.album; });
          return albums.empty() ? id : static_cast<int32_t>(albums[pick(0, static_cast<int32_t>(albums.size()) - 1)]);
        }();
        r.misc = pick(0, 3);
        Value content = fsk::New(the_, dbManager_, "ContentMaster", r.date, r.folderID, r.fileID, r.albumID, r.misc, 0);
        if (!model.Is(r.albumID, true)) {
          EXPECT_TRUE(Thrown([&] { fsk::Call(the_, master, "addPhoto", content); }));
          break;
        }
        int32_t expected = model.FreeID();
        EXPECT_EQ(Integer(fsk::Call(the_, master, "addPhoto", content)), expected);
        if (expected > 0) {
          r.guid = ++model.lastGuid;
          model.records[expected] = r;
        }
        break;
      }
      case 5: {
        bool album = pick(0, 2) == 0;
        const char* method = album ? "deleteAlbum" : "deletePhoto";
        if (model.Is(id, album)) {
          fsk::Call(the_, master, method, id);
          model.records.erase(id);
        } else {
          EXPECT_TRUE(Thrown([&] { fsk::Call(the_, master, method, id); })) << method << " " << id;
        }
        break;
      }
      case 6: {
        int32_t album = pick(0, kLimit);
        double when = date();
        Value content = fsk::New(the_, dbManager_, "ContentMaster", when, 101, 5, album, 2, 0);
        if (model.Is(id, false) && model.Is(album, true)) {
          fsk::Call(the_, master, "updatePhoto", id, content);
          ModelRecord& r = model.records[id];
          r.date = when;
          r.folderID = 101;
          r.fileID = 5;
          r.albumID = album;
          r.misc = 2;
        } else {
          EXPECT_TRUE(Thrown([&] { fsk::Call(the_, master, "updatePhoto", id, content); }));
        }
        break;
      }
      case 7: {
        double when = date();
        Value album = fsk::New(the_, dbManager_, "ContentAlbumInfo", when, "u", 4);
        if (model.Is(id, true)) {
          fsk::Call(the_, master, "updateAlbumInfo", id, album);
          ModelRecord& r = model.records[id];
          r.date = when;
          r.title = "u";
          r.preference = 4;
        } else {
          EXPECT_TRUE(Thrown([&] { fsk::Call(the_, master, "updateAlbumInfo", id, album); }));
        }
        break;
      }
      case 8: {
        bool add = pick(0, 1) == 0;
        const char* method = add ? "addPhotoToGroup" : "removePhotoFromGroup";
        const char* group = sf ? "sf" : "ff";
        if (!model.Is(id, false)) {
          EXPECT_TRUE(Thrown([&] { fsk::Call(the_, master, method, group, id, value); }));
          break;
        }
        fsk::Call(the_, master, method, group, id, value);
        ModelRecord& r = model.records[id];
        if (sf) {
          r.shareFlag = add ? (r.shareFlag | value) : (r.shareFlag & ~value);
        } else {
          r.favoriteFlag = add ? value : 0;
        }
        break;
      }
      case 9: {
        EXPECT_EQ(IdsOf(fsk::Call(the_, master, "search", "a", id)),
                  model.Where([&](const ModelRecord& r) { return !r.album && r.albumID == id; }));
        EXPECT_EQ(IdsOf(fsk::Call(the_, master, "search", "ad", nullptr)),
                  model.Where([](const ModelRecord& r) { return r.album; }));
        EXPECT_EQ(IdsOf(fsk::Call(the_, master, "search", "d", nullptr)),
                  model.Where([](const ModelRecord& r) { return !r.album; }));
        int32_t guid = pick(0, model.lastGuid + 1);
        EXPECT_EQ(IdsOf(fsk::Call(the_, master, "search", "g", guid)),
                  model.Where([&](const ModelRecord& r) { return !r.album && r.guid == guid; }));
        break;
      }
      case 10: {
        int32_t low = pick(0, model.lastGuid + 1);
        int32_t high = pick(0, model.lastGuid + 1);
        EXPECT_EQ(IdsOf(fsk::Call(the_, master, "rangeSearch", "g", low, high)),
                  model.Where([&](const ModelRecord& r) { return !r.album && r.guid >= low && r.guid <= high; }));
        break;
      }
      case 11: {
        IDs expected = sf ? model.Where([&](const ModelRecord& r) { return !r.album && (r.shareFlag & value) != 0; })
                          : model.Where([&](const ModelRecord& r) { return !r.album && r.favoriteFlag == value; });
        EXPECT_EQ(IdsOf(fsk::Call(the_, master, "searchGroup", sf ? "sf" : "ff", value)), expected);
        break;
      }
      case 12: {
        bool byAlbum = pick(0, 1) == 0;
        Value set = fsk::Call(the_, master, "search", "d", nullptr);
        fsk::Call(the_, set, "sort", byAlbum ? "a" : "g", byAlbum ? "g" : "");
        IDs sorted = model.Sorted(byAlbum);
        EXPECT_EQ(IdsOf(set), sorted);
        if (byAlbum && !sorted.empty()) {
          // The lowest ID of each album's contents.
          std::map<int32_t, int64_t> lowest;
          for (int64_t content : sorted) {
            int32_t album = model.records.at(static_cast<int32_t>(content)).albumID;
            auto [at, added] = lowest.emplace(album, content);
            at->second = std::min(at->second, content);
          }
          IDs firsts;
          for (const auto& [album, content] : lowest) {
            firsts.push_back(content);
          }
          std::sort(firsts.begin(), firsts.end());
          EXPECT_EQ(IdsOf(fsk::Call(the_, set, "unique", "a")), firsts);
        }
        break;
      }
      case 13:
        fsk::Call(the_, master, pick(0, 1) == 0 ? "flush" : "compact");
        break;
      case 14:
        Reopen(&master);
        break;
      default:
        ExpectRecord(master, model, id);
        break;
    }
  }
  for (int32_t id = 1; id <= kLimit && !HasFailure(); ++id) {
    ExpectRecord(master, model, id);
  }
  fsk::Call(the_, master, "close");
}

TEST_F(XdbMasterModel, RandomCallsAgreeWithTheModel) {
  // KAVO_XDB_MODEL_SEED replays a printed seed.
  const char* replay = std::getenv("KAVO_XDB_MODEL_SEED");
  const uint32_t first = replay != nullptr ? static_cast<uint32_t>(std::strtoul(replay, nullptr, 10))
                                           : std::random_device{}();
  for (int n = 0; n < kSeeds && !HasFailure(); ++n) {
    RunSeed(first + static_cast<uint32_t>(n));
  }
}

}  // namespace
