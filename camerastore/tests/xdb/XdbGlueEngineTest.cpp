#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbEngineFixture.h"
#include "camerastore/xdb/XdbConnection.h"
#include "camerastore/xdb/XdbRecordReads.h"
#include "camerastore/xdb/XdbRecordWrites.h"
#include "camerastore/xdb/XdbRecords.h"
#include "camerastore/xdb/XdbResultCache.h"
#include "camerastore/xdb/XdbSearches.h"

namespace {

using XdbGlueEngine = xdbtest::EngineTest;

constexpr int32_t kShareValue = 4;
constexpr int32_t kLimit = 40000;
constexpr double kLargestGuid = 2147483647.0;

// 2009-03-15 plus minutes, in the record's fields.
XdbContentRecord Content(int32_t albumId, int32_t fileId, int32_t minutes) {
  XdbContentRecord record{};
  record.minutes = minutes;
  record.hours = 10;
  record.dayOfMonth = 15;
  record.month = 2;
  record.yearsSince1900 = 109;
  record.folderID = 100;
  record.fileID = fileId;
  record.albumID = albumId;
  record.misc = 1;
  return record;
}

// Frees the set it holds when it goes.
class Set {
 public:
  Set() = default;
  ~Set() {
    if (held_) {
      EXPECT_EQ(XdbResultFree(handle_), 0);
    }
  }
  Set(const Set&) = delete;
  Set& operator=(const Set&) = delete;

  XdbResultHandle* Out() {
    held_ = true;
    return &handle_;
  }
  XdbResultHandle Get() const { return handle_; }
  int32_t Count() const {
    int32_t count = -1;
    EXPECT_EQ(XdbCount(handle_, &count), 0);
    return count;
  }

 private:
  XdbResultHandle handle_{};
  bool held_ = false;
};

struct Written {
  int32_t albumId = 0;
  std::vector<int32_t> contentIds;
};

void ExpectAnswers(const Written& written) {
  Set all;
  ASSERT_EQ(XdbSearchAll("d", all.Out()), 0);
  EXPECT_EQ(all.Count(), 3);

  Set range;
  ASSERT_EQ(XdbRangeSearchNumber("g", 2.0, kLargestGuid, range.Out()), 0);
  Set sorted;
  ASSERT_EQ(XdbSort(range.Get(), "g", "", sorted.Out()), 0);
  ASSERT_EQ(sorted.Count(), 2);
  for (int32_t position = 0; position < 2; ++position) {
    SCOPED_TRACE(position);
    XdbRecordBuffer buffer{};
    ASSERT_EQ(XdbGetCachedRecord(sorted.Get(), position, &buffer), 0);
    EXPECT_EQ(buffer.content.guid, position + 2);
    EXPECT_EQ(buffer.content.fileID, position + 2);
    EXPECT_EQ(buffer.content.albumID, written.albumId);
    EXPECT_EQ(buffer.content.folderID, 100);
    EXPECT_EQ(buffer.content.misc, 1);
    EXPECT_EQ(buffer.content.yearsSince1900, 109);
    EXPECT_EQ(buffer.content.month, 2);
    EXPECT_EQ(buffer.content.dayOfMonth, 15);
    EXPECT_EQ(buffer.content.hours, 10);
    EXPECT_EQ(buffer.content.minutes, position + 1);
    int32_t id = 0;
    ASSERT_EQ(XdbGetID(sorted.Get(), position, &id), 0);
    EXPECT_EQ(id, written.contentIds[static_cast<size_t>(position) + 1]);
  }

  Set group;
  ASSERT_EQ(XdbSearchGroup("sf", kShareValue, group.Out()), 0);
  ASSERT_EQ(group.Count(), 1);
  int32_t shared = 0;
  ASSERT_EQ(XdbGetID(group.Get(), 0, &shared), 0);
  EXPECT_EQ(shared, written.contentIds[1]);

  int32_t limit = 0;
  ASSERT_EQ(XdbGetLimit(&limit), 0);
  EXPECT_EQ(limit, kLimit);
}

TEST_F(XdbGlueEngine, RecordsWrittenThroughTheGlueReadBackAfterARestart) {
  std::filesystem::create_directories(DatabaseFolder());
  const XpString path = fstest::ToXp(DatabaseFolder()) + u"/";
  ASSERT_EQ(XdbRuntimeStart(), 0);
  ASSERT_EQ(XdbCreateMaster(), 0);
  ASSERT_EQ(XdbOpenDatabase(path.CStr()), kXdbOpened);

  Written written;
  char16_t title[] = u"Trip";
  XdbAlbumRecord album{};
  album.dayOfMonth = 1;
  album.yearsSince1900 = 109;
  album.title = title;
  ASSERT_EQ(XdbCreateAlbum(album, &written.albumId), 0);
  ASSERT_GT(written.albumId, 0);
  for (int32_t file = 1; file <= 3; ++file) {
    int32_t id = 0;
    ASSERT_EQ(XdbAddPhoto(Content(written.albumId, file, file - 1), &id), 0);
    ASSERT_GT(id, 0);
    written.contentIds.push_back(id);
  }
  ASSERT_EQ(XdbAddPhotoToGroup("sf", written.contentIds[1], kShareValue), 0);
  {
    SCOPED_TRACE("before the restart");
    ExpectAnswers(written);
  }
  ASSERT_EQ(XdbFlush(), 0);
  ASSERT_EQ(XdbCloseDatabase(), 0);
  ASSERT_EQ(XdbRuntimeStop(), 0);
  EXPECT_EQ(FskMainStartCount(), 0);

  ASSERT_EQ(XdbRuntimeStart(), 0);
  ASSERT_EQ(XdbCreateMaster(), 0);
  ASSERT_EQ(XdbOpenDatabase(path.CStr()), kXdbOpened);
  {
    SCOPED_TRACE("after the restart");
    ExpectAnswers(written);
  }
  XdbRecordBuffer buffer{};
  ASSERT_EQ(XdbGetRecordFromID(written.albumId, &buffer), 0);
  ASSERT_NE(buffer.album.title, nullptr);
  EXPECT_EQ(std::u16string(buffer.album.title), u"Trip");
  std::free(buffer.album.title);
  EXPECT_EQ(XdbCloseDatabase(), 0);
  EXPECT_EQ(XdbRuntimeStop(), 0);
}

TEST_F(XdbGlueEngine, OpenAnswersTheStoresStatus) {
  struct Case {
    const char* name;
    const char* folder;
    bool make;
    const char* foreignFile;
    int32_t result;
  };
  const Case cases[] = {
      {"an empty folder", "empty", true, nullptr, kXdbOpened},
      {"a missing folder", "missing", false, nullptr, kXdbNotOpened},
      {"a folder of other files", "foreign", true, "XDB.DAT", kXdbNotOpened},
  };
  ASSERT_EQ(XdbRuntimeStart(), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::filesystem::path folder = Card() / c.folder;
    if (c.make) {
      std::filesystem::create_directories(folder);
    }
    if (c.foreignFile != nullptr) {
      fstest::WriteBytes(folder / c.foreignFile, "not a database");
    }
    ASSERT_EQ(XdbCreateMaster(), 0);
    EXPECT_EQ(XdbOpenDatabase((fstest::ToXp(folder) + u"/").CStr()), c.result);
  }
  EXPECT_EQ(XdbRuntimeStop(), 0);
}

}  // namespace
