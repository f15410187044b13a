#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/dbmanager/XdbBtreeIndex.h"
#include "outside/fsk/dbmanager/XdbStore.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kLimit = 100;
constexpr double kDate = 1237075200000.0;
// Words of the block file headers.
constexpr std::streamoff kBlockCountAt = 24;
constexpr std::streamoff kFirstBlockAt = 16;
constexpr std::streamoff kMaxIDAt = 64;
constexpr std::streamoff kCounterAt = 68;
constexpr int64_t kRowsPerPage = 1024;
constexpr int64_t kRowBytes = 32;
// An ID far beyond any limit of the store.
constexpr int32_t kFarID = 40000000;

void PutWord(const fs::path& path, std::streamoff at, uint32_t value) {
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  ASSERT_TRUE(file.is_open()) << path;
  file.seekp(at);
  for (int byte = 0; byte < 4; ++byte) {
    file.put(static_cast<char>(value >> (8 * byte)));
  }
  ASSERT_TRUE(file.good()) << path;
}

uint32_t WordOf(const fs::path& path, std::streamoff at) {
  std::ifstream file(path, std::ios::binary);
  file.seekg(at);
  uint32_t value = 0;
  for (int byte = 0; byte < 4; ++byte) {
    value |= static_cast<uint32_t>(static_cast<uint8_t>(file.get())) << (8 * byte);
  }
  return value;
}

// DATA.BLK claims rows rows, its file (sparse) just long enough to hold
// their pages, as the block file asks of a sound header.
void ClaimRows(const fs::path& folder, int64_t rows) {
  fs::path path = folder / "DATA.BLK";
  int64_t pages = (rows + kRowsPerPage - 1) / kRowsPerPage;
  fs::resize_file(path, WordOf(path, kFirstBlockAt) + pages * kRowsPerPage * kRowBytes);
  PutWord(path, kBlockCountAt, static_cast<uint32_t>(rows));
}

// The check of crafted databases: each count or maximum a file gives is
// held against the store's limits before anything loops on it.
class XdbStoreCheck : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    machine_ = std::make_unique<fsktest::GrammarMachine>();
    ASSERT_NE(machine_->Machine(), nullptr) << machine_->LoadError();
    store_ = std::make_unique<XdbStore>(machine_->Machine());
    store_->SetLimit(kLimit);
    folder_ = Dir("DBFILES");
  }

  void TearDown() override {
    store_.reset();
    machine_.reset();
    HermeticTest::TearDown();
  }

  int Open() {
    int status = 0;
    EXPECT_EQ(store_->Open(folder_.string(), &status), kXpOk);
    return status;
  }

  // A sound database of one album (ID 1) holding three contents (2 to 4),
  // closed.
  void MakeDatabase() {
    ASSERT_EQ(Open(), XdbStore::kOpened);
    ASSERT_EQ(store_->AddAlbum({0, 3, "album"}, &album_), kXpOk);
    for (int32_t file = 1; file <= 3; ++file) {
      int32_t id = 0;
      ASSERT_EQ(store_->AddContent({kDate, 100, file, album_, 1, 0, 0, 0}, &id), kXpOk);
    }
    ASSERT_EQ(store_->Check(), std::vector<std::string>{});
    ASSERT_EQ(store_->Close(), kXpOk);
  }

  // Adds id under key to the index file name, behind the store's back.
  void IndexBehindTheStore(const char* name, int32_t key, int32_t id) {
    XdbBtreeIndex index(machine_->Machine());
    ASSERT_EQ(index.Open((folder_ / name).string()), kXpOk);
    ASSERT_EQ(index.Insert(key, id), kXpOk);
    ASSERT_EQ(index.Close(), kXpOk);
  }

  std::unique_ptr<fsktest::GrammarMachine> machine_;
  std::unique_ptr<XdbStore> store_;
  fs::path folder_;
  int32_t album_ = 0;
};

TEST_F(XdbStoreCheck, CountsAndMaximaOutsideTheLimitsAreDamageAndDriveNoLoop) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& folder)> craft;
    // The whole answer of the check: one line, however far the value lies
    // beyond the limit, and no line per ID or row it names.
    std::vector<std::string> faults;
  };
  const Case cases[] = {
      {"maxID just past the limit", [](const fs::path& f) { PutWord(f / "IDS.BLK", kMaxIDAt, 5000); },
       {"IDS.BLK: maxID 5000 is outside 0 to 100"}},
      {"maxID at the largest word", [](const fs::path& f) { PutWord(f / "IDS.BLK", kMaxIDAt, 0x7FFFFFFFu); },
       {"IDS.BLK: maxID 2147483647 is outside 0 to 100"}},
      {"negative maxID", [](const fs::path& f) { PutWord(f / "IDS.BLK", kMaxIDAt, 0xFFFFFFFFu); },
       {"IDS.BLK: maxID -1 is outside 0 to 100"}},
      {"counter past the largest guid", [](const fs::path& f) { PutWord(f / "IDS.BLK", kCounterAt, 0x80000000u); },
       {"IDS.BLK: counter 2147483648 is outside 0 to 2147483647"}},
      {"rows past the limit", [](const fs::path& f) { ClaimRows(f, 2 * kRowsPerPage); },
       {"DATA.BLK: row count 2048 is outside 0 to 100"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    MakeDatabase();
    c.craft(folder_);
    ASSERT_EQ(Open(), XdbStore::kOpened);
    EXPECT_EQ(store_->Check(), c.faults);
    ASSERT_EQ(store_->Close(), kXpOk);
  }
}

TEST_F(XdbStoreCheck, SearchesRefuseAnIndexThatNamesAnIDBeyondTheLimit) {
  struct Case {
    const char* name;
    const char* index;
    int32_t key;
    std::function<XpResult(XdbStore& store, int32_t album, XdbStore::Found* found)> search;
  };
  const Case cases[] = {
      {"album index", "OAI.IND", 1,
       [](XdbStore& store, int32_t album, XdbStore::Found* found) { return store.ContentsOfAlbum(album, found); }},
      {"guid index", "GUID.IND", 77,
       [](XdbStore& store, int32_t, XdbStore::Found* found) { return store.GuidRange(1, 2147483647.0, found); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    MakeDatabase();
    IndexBehindTheStore(c.index, c.key, kFarID);
    ASSERT_EQ(Open(), XdbStore::kOpened);
    // A set sized to the far ID would cost the reading of every ID up to
    // it; the search answers the damage instead.
    XdbStore::Found found;
    EXPECT_EQ(c.search(*store_, album_, &found), kXpErrInvalidFile);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(store_->Check(), std::vector<std::string>{std::string(c.index) + " does not match the records"});
    ASSERT_EQ(store_->Close(), kXpOk);
  }
}

TEST_F(XdbStoreCheck, SearchesOfASoundDatabaseStillAnswer) {
  MakeDatabase();
  ASSERT_EQ(Open(), XdbStore::kOpened);
  XdbStore::Found found;
  ASSERT_EQ(store_->ContentsOfAlbum(album_, &found), kXpOk);
  int64_t count = 0;
  ASSERT_EQ(found->Count(&count), kXpOk);
  EXPECT_EQ(count, 3);
  ASSERT_EQ(store_->GuidRange(1, 2147483647.0, &found), kXpOk);
  ASSERT_EQ(found->Count(&count), kXpOk);
  EXPECT_EQ(count, 3);
}

}  // namespace
