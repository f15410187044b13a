#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/dbmanager/XdbDbManager.h"
#include "outside/fsk/tests/XdbMasterFixture.h"
#include "platform/testsupport/FaultInjection.h"

namespace {

namespace fs = std::filesystem;
using fsk::Value;
using Snapshot = std::map<std::string, std::string>;

constexpr double kDate = 1237075200000.0;

Snapshot SnapshotOf(const fs::path& folder) {
  Snapshot snapshot;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    snapshot[entry.path().filename().string()] =
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return snapshot;
}

class XdbMaster : public xdbtest::MasterFixture {};

TEST_F(XdbMaster, RoundTripTheWayTheGlueCalls) {
  Value master = NewMaster();
  EXPECT_EQ(Integer(fsk::Call(the_, master, "open", folder_.string(), nullptr)), 350);
  EXPECT_EQ(Integer(fsk::Call(the_, master, "createIndex", "guid", 64, nullptr)), 0);
  EXPECT_EQ(Integer(fsk::Call(the_, master, "createAlbum", Album("\xC3\x89t\xC3\xA9", 0))), 1);
  EXPECT_EQ(Integer(fsk::Call(the_, master, "addPhoto", Content(1))), 2);

  Value record = fsk::Call(the_, master, "getRecord", 2);
  EXPECT_TRUE(fsk::IsInstanceOf(the_, record, fsk::Get(the_, dbManager_, "contentMaster")));
  EXPECT_FALSE(fsk::IsInstanceOf(the_, record, fsk::Get(the_, dbManager_, "contentAlbumInfo")));
  const std::map<std::string, double> expected = {{"date", kDate}, {"folderID", 100}, {"fileID", 1},
                                                  {"albumID", 1},  {"misc", 1},       {"guid", 1},
                                                  {"shareFlag", 0}, {"favoriteFlag", 0}};
  for (const auto& [name, value] : expected) {
    EXPECT_EQ(fsk::ToNumber(the_, fsk::Get(the_, record, name)), value) << name;
  }
  EXPECT_TRUE(fsk::Call(the_, master, "getRecordA", 2).IsUndefined());
  EXPECT_TRUE(fsk::Call(the_, master, "getRecord", 3).IsUndefined());
  Value album = fsk::Call(the_, master, "getRecord", 1);
  EXPECT_EQ(fsk::ToString(the_, fsk::Get(the_, album, "title")), "\xC3\x89t\xC3\xA9");
  EXPECT_TRUE(fsk::IsInstanceOf(the_, fsk::Call(the_, master, "getRecordA", 1),
                                fsk::Get(the_, dbManager_, "contentAlbumInfo")));

  EXPECT_EQ(Count(fsk::Call(the_, master, "search", "a", 1)), 1);
  EXPECT_EQ(Count(fsk::Call(the_, master, "search", "ad", nullptr)), 1);
  EXPECT_EQ(Count(fsk::Call(the_, master, "search", "d", nullptr)), 1);
  EXPECT_EQ(Count(fsk::Call(the_, master, "rangeSearch", "g", 1, 2147483647)), 1);
  EXPECT_EQ(Count(fsk::Call(the_, master, "search", "a", 1.5)), 0);

  EXPECT_EQ(Count(fsk::Call(the_, master, "searchGroup", "sf", 2)), 0);
  fsk::Call(the_, master, "addPhotoToGroup", "sf", 2, 2);
  EXPECT_EQ(Count(fsk::Call(the_, master, "searchGroup", "sf", 2)), 1);
  fsk::Call(the_, master, "addPhotoToGroup", "ff", 2, 6);
  EXPECT_EQ(Integer(fsk::Get(the_, fsk::Call(the_, master, "getRecord", 2), "favoriteFlag")), 6);
  EXPECT_EQ(Count(fsk::Call(the_, master, "searchGroup", "ff", 6)), 1);
  fsk::Call(the_, master, "removePhotoFromGroup", "sf", 2, 2);
  fsk::Call(the_, master, "removePhotoFromGroup", "ff", 2, 6);
  Value cleared = fsk::Call(the_, master, "getRecord", 2);
  EXPECT_EQ(Integer(fsk::Get(the_, cleared, "shareFlag")), 0);
  EXPECT_EQ(Integer(fsk::Get(the_, cleared, "favoriteFlag")), 0);
  EXPECT_EQ(Integer(fsk::Call(the_, master, "getLimit")), 40000);

  EXPECT_EQ(Count(fsk::Call(the_, master, "searchPhoto", 100, 1)), 1);
  EXPECT_EQ(Count(fsk::Call(the_, master, "searchPhotoByYearAndMonth", 2009, 3)), 1);
  EXPECT_EQ(Count(fsk::Call(the_, master, "searchPhotoByYearAndMonth", 2009, 4)), 0);

  fsk::Call(the_, master, "deleteIndex", "guid");
  fsk::Call(the_, master, "close");
  EXPECT_EQ(Integer(fsk::Call(the_, master, "open", folder_.string() + "/", nullptr)), 350);
  EXPECT_EQ(fsk::ToString(the_, fsk::Get(the_, fsk::Call(the_, master, "getRecord", 1), "title")),
            "\xC3\x89t\xC3\xA9");
  fsk::Call(the_, master, "close");
}

TEST_F(XdbMaster, UpdatesReplaceFieldsAndKeepFlagsAndGuid) {
  Value master = OpenMaster(folder_);
  fsk::Call(the_, master, "createAlbum", Album("One"));
  fsk::Call(the_, master, "createAlbum", Album("Two"));
  ASSERT_EQ(Integer(fsk::Call(the_, master, "addPhoto", Content(1))), 3);
  fsk::Call(the_, master, "addPhotoToGroup", "sf", 3, 1);
  fsk::Call(the_, master, "updatePhoto", 3, Content(2, 101, 7, 0.0));
  Value record = fsk::Call(the_, master, "getRecord", 3);
  EXPECT_EQ(Integer(fsk::Get(the_, record, "albumID")), 2);
  EXPECT_EQ(Integer(fsk::Get(the_, record, "folderID")), 101);
  EXPECT_EQ(Integer(fsk::Get(the_, record, "fileID")), 7);
  EXPECT_EQ(Integer(fsk::Get(the_, record, "shareFlag")), 1);
  EXPECT_EQ(Integer(fsk::Get(the_, record, "guid")), 1);
  fsk::Call(the_, master, "updateAlbumInfo", 2, Album("Deux", 5.0));
  Value album = fsk::Call(the_, master, "getRecordA", 2);
  EXPECT_EQ(fsk::ToString(the_, fsk::Get(the_, album, "title")), "Deux");
  EXPECT_EQ(fsk::ToNumber(the_, fsk::Get(the_, album, "albumDate")), 5.0);
  // deleteAlbum leaves the album's contents.
  fsk::Call(the_, master, "deleteAlbum", 2);
  EXPECT_TRUE(fsk::Call(the_, master, "getRecord", 2).IsUndefined());
  EXPECT_FALSE(fsk::Call(the_, master, "getRecord", 3).IsUndefined());
  fsk::Call(the_, master, "deletePhoto", 3);
  EXPECT_TRUE(fsk::Call(the_, master, "getRecord", 3).IsUndefined());
  fsk::Call(the_, master, "close");
}

TEST_F(XdbMaster, RefusalsThrowAndLeaveTheDatabaseUnchanged) {
  {
    Value master = OpenMaster(folder_);
    fsk::Call(the_, master, "createAlbum", Album("A"));
    fsk::Call(the_, master, "addPhoto", Content(1));
    fsk::Call(the_, master, "close");
  }
  Snapshot before = SnapshotOf(folder_);
  Value master = OpenMaster(folder_);
  Value all = fsk::Call(the_, master, "search", "d", nullptr);
  struct Case {
    const char* name;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"addPhoto of an album", [&] { fsk::Call(the_, master, "addPhoto", Album("B")); }},
      {"addPhoto to no album", [&] { fsk::Call(the_, master, "addPhoto", Content(9)); }},
      {"addPhoto to a content", [&] { fsk::Call(the_, master, "addPhoto", Content(2)); }},
      {"createAlbum of a content", [&] { fsk::Call(the_, master, "createAlbum", Content(1)); }},
      {"deletePhoto of an album", [&] { fsk::Call(the_, master, "deletePhoto", 1); }},
      {"deleteAlbum of a content", [&] { fsk::Call(the_, master, "deleteAlbum", 2); }},
      {"deletePhoto of nothing", [&] { fsk::Call(the_, master, "deletePhoto", 77); }},
      {"group of nothing", [&] { fsk::Call(the_, master, "addPhotoToGroup", "sf", 77, 1); }},
      {"unknown group", [&] { fsk::Call(the_, master, "addPhotoToGroup", "xx", 2, 1); }},
      {"search x", [&] { fsk::Call(the_, master, "search", "x", 1); }},
      {"rangeSearch x", [&] { fsk::Call(the_, master, "rangeSearch", "x", 1, 2); }},
      {"sort x", [&] { fsk::Call(the_, all, "sort", "x", ""); }},
      {"getID of count", [&] { fsk::Call(the_, all, "getID", 1); }},
      {"getID of -1", [&] { fsk::Call(the_, all, "getID", -1); }},
      {"createIndex of another", [&] { fsk::Call(the_, master, "createIndex", "date", 64, nullptr); }},
      {"deleteDatabase of the open folder", [&] { fsk::Call(the_, master, "deleteDatabase", folder_.string()); }},
      {"searchAlbumInfo", [&] { fsk::Call(the_, master, "searchAlbumInfo", 1); }},
      {"a Master method on a set",
       [&] { fsk::CallFunction(the_, fsk::Get(the_, master, "flush"), all, {}); }},
      {"a set method on a Master", [&] { fsk::CallFunction(the_, fsk::Get(the_, all, "count"), master, {}); }},
      {"or of a Master", [&] { fsk::Call(the_, all, "or", master); }},
      {"getID of a string", [&] { fsk::Call(the_, all, "getID", "0"); }},
  };
  for (const Case& entry : cases) {
    EXPECT_TRUE(Thrown(entry.call).has_value()) << entry.name;
  }
  fsk::Call(the_, master, "deleteIndex", "guid");
  EXPECT_TRUE(Thrown([&] { fsk::Call(the_, master, "deleteIndex", "guid"); })) << "deleteIndex twice";
  fsk::Call(the_, master, "close");
  EXPECT_EQ(SnapshotOf(folder_), before);

  // With nothing open.
  for (const char* method : {"flush", "compact"}) {
    EXPECT_TRUE(Thrown([&] { fsk::Call(the_, master, method); })) << method;
  }
  EXPECT_TRUE(Thrown([&] { fsk::Call(the_, master, "createAlbum", Album("C")); }));
  EXPECT_TRUE(Thrown([&] { fsk::Call(the_, master, "search", "d", nullptr); }));
  EXPECT_FALSE(Thrown([&] { fsk::Call(the_, master, "close"); })) << "close when not open does nothing";
  EXPECT_EQ(SnapshotOf(folder_), before);
}

TEST_F(XdbMaster, SearchAlbumInfoThrowsNativeNotSupported) {
  Value master = OpenMaster(folder_);
  try {
    fsk::Call(the_, master, "searchAlbumInfo", 1);
    ADD_FAILURE() << "no exception";
  } catch (const FskException& error) {
    Value thrown(error.Value());
    EXPECT_TRUE(fsk::IsInstanceOf(the_, thrown, fsk::GetPath(the_, "Fsk.Error.Native.prototype")));
    EXPECT_EQ(Integer(fsk::Get(the_, thrown, "code")), 1003);
  }
  fsk::Call(the_, master, "close");
}

TEST_F(XdbMaster, OpenAnswersForMissingAndForeignFolders) {
  Value master = NewMaster();
  EXPECT_EQ(Integer(fsk::Call(the_, master, "open", (folder_ / "missing").string(), nullptr)), 351);
  std::ofstream(folder_ / "CAMERA.DB") << "a camera's own database";
  Snapshot foreign = SnapshotOf(folder_);
  EXPECT_EQ(Integer(fsk::Call(the_, master, "open", folder_.string(), nullptr)), 353);
  EXPECT_EQ(SnapshotOf(folder_), foreign);
  EXPECT_TRUE(Thrown([&] { fsk::Call(the_, master, "flush"); }));
}

TEST_F(XdbMaster, DeleteDatabaseRemovesOnlyOurFiles) {
  {
    Value master = OpenMaster(folder_);
    fsk::Call(the_, master, "createAlbum", Album("A"));
    fsk::Call(the_, master, "close");
  }
  std::ofstream(folder_ / "OTHER.TXT") << "kept";
  Value master = NewMaster();
  fsk::Call(the_, master, "deleteDatabase", folder_.string());
  EXPECT_EQ(SnapshotOf(folder_), (Snapshot{{"OTHER.TXT", "kept"}}));
  EXPECT_EQ(Integer(fsk::Call(the_, master, "open", folder_.string(), nullptr)), 353);
}

TEST_F(XdbMaster, SetsSortUniqueAndCombine) {
  Value master = OpenMaster(folder_);
  fsk::Call(the_, master, "createAlbum", Album("One"));  // 1
  fsk::Call(the_, master, "createAlbum", Album("Two"));  // 2
  // Five contents at IDs 3..7 with guids 1..5; deleting and re-adding
  // shuffles the ID order against the guid order.
  for (int i = 0; i < 5; ++i) {
    fsk::Call(the_, master, "addPhoto", Content(i % 2 == 0 ? 2 : 1, 100, i + 1));
  }
  fsk::Call(the_, master, "deletePhoto", 3);
  fsk::Call(the_, master, "deletePhoto", 5);
  EXPECT_EQ(Integer(fsk::Call(the_, master, "addPhoto", Content(2, 100, 6))), 3);  // guid 6
  EXPECT_EQ(Integer(fsk::Call(the_, master, "addPhoto", Content(1, 100, 7))), 5);  // guid 7
  // ID -> guid, album: 3 -> 6,2; 4 -> 2,1; 5 -> 7,1; 6 -> 4,1; 7 -> 5,2.
  Value byGuid = fsk::Call(the_, master, "search", "d", nullptr);
  EXPECT_EQ(IdsOf(byGuid), (std::vector<int64_t>{3, 4, 5, 6, 7}));
  fsk::Call(the_, byGuid, "sort", "g", "");
  EXPECT_EQ(IdsOf(byGuid), (std::vector<int64_t>{4, 6, 7, 3, 5}));
  Value byAlbum = fsk::Call(the_, master, "search", "d", nullptr);
  fsk::Call(the_, byAlbum, "sort", "a", "g");
  EXPECT_EQ(IdsOf(byAlbum), (std::vector<int64_t>{4, 6, 5, 7, 3}));
  Value byAlbumNull = fsk::Call(the_, master, "search", "d", nullptr);
  fsk::Call(the_, byAlbumNull, "sort", "a", nullptr);
  EXPECT_EQ(Count(byAlbumNull), 5);

  Value unique = fsk::Call(the_, byAlbum, "unique", "a");
  EXPECT_EQ(Count(unique), 2);

  Value one = fsk::Call(the_, master, "search", "a", 1);
  Value low = fsk::Call(the_, master, "rangeSearch", "g", 1, 4);
  EXPECT_EQ(IdsOf(fsk::Call(the_, one, "or", low)), (std::vector<int64_t>{4, 5, 6}));
  EXPECT_EQ(IdsOf(fsk::Call(the_, one, "and", low)), (std::vector<int64_t>{4, 6}));
  Value two = fsk::Call(the_, master, "search", "a", 2);
  EXPECT_EQ(IdsOf(fsk::Call(the_, one, "or", two)), (std::vector<int64_t>{3, 4, 5, 6, 7}));
  EXPECT_EQ(Count(fsk::Call(the_, one, "and", two)), 0);

  EXPECT_EQ(Count(fsk::Call(the_, master, "rangeSearch", "g", 2147483648.0, 2147483647.0)), 0);
  EXPECT_EQ(Count(fsk::Call(the_, master, "rangeSearch", "g", 5, 4)), 0);
  EXPECT_EQ(IdsOf(fsk::Call(the_, master, "search", "g", 7)), (std::vector<int64_t>{5}));

  // A set is a snapshot: a deleted record's position gives undefined.
  fsk::Call(the_, master, "deletePhoto", 6);
  EXPECT_EQ(Count(one), 3);
  EXPECT_TRUE(fsk::Call(the_, one, "getRecord", 2).IsUndefined());
  EXPECT_EQ(Integer(fsk::Get(the_, fsk::Call(the_, one, "getRecord", 0), "guid")), 2);
  fsk::Call(the_, master, "close");
}

TEST_F(XdbMaster, OneMasterPerFolder) {
  Value first = OpenMaster(folder_);
  fsk::Call(the_, first, "createAlbum", Album("Flushed"));
  fsk::Call(the_, first, "flush");
  fsk::Call(the_, first, "createAlbum", Album("Unflushed"));
  Value second = OpenMaster(folder_);
  EXPECT_EQ(Count(fsk::Call(the_, second, "search", "ad", nullptr)), 1);
  EXPECT_TRUE(fsk::Call(the_, second, "getRecord", 2).IsUndefined());
  EXPECT_TRUE(Thrown([&] { fsk::Call(the_, first, "createAlbum", Album("Late")); }));
  EXPECT_TRUE(Thrown([&] { fsk::Call(the_, first, "flush"); }));
  fsk::Call(the_, second, "close");
}

TEST_F(XdbMaster, AnUnreachableMasterClosesWithoutFlushing) {
  {
    Value master = OpenMaster(folder_);
    fsk::Call(the_, master, "createAlbum", Album("Flushed"));
    fsk::Call(the_, master, "flush");
    fsk::Call(the_, master, "createAlbum", Album("Lost"));
  }
  Value again = OpenMaster(folder_);
  EXPECT_EQ(Count(fsk::Call(the_, again, "search", "ad", nullptr)), 1);
  fsk::Call(the_, again, "close");
}

TEST_F(XdbMaster, TheMachineGoingClosesWithoutFlushing) {
  FskSlot kept;
  {
    Value master = OpenMaster(folder_);
    fsk::Call(the_, master, "createAlbum", Album("Flushed"));
    fsk::Call(the_, master, "flush");
    fsk::Call(the_, master, "createAlbum", Album("Lost"));
    kept = master.Slot();
  }
  fxRemember(the_, &kept);
  Restart();
  Value again = OpenMaster(folder_);
  EXPECT_EQ(Count(fsk::Call(the_, again, "search", "ad", nullptr)), 1);
  EXPECT_TRUE(fsk::Call(the_, again, "getRecord", 2).IsUndefined());
  fsk::Call(the_, again, "close");
}

// The glue's commits rely on these answers: flush and close throw when the
// change is not committed, answer kCompletionPending when it is committed
// and finishing it failed, and kComplete otherwise.
TEST_F(XdbMaster, FlushAndCloseAnswerWhetherTheChangeIsCommitted) {
  struct Row {
    const char* name;
    const char* file;  // where the fsync fails; null for none
    bool thrown;
    int64_t answer;
  };
  const Row rows[] = {
      {"no failure", nullptr, false, XdbDbManager::kComplete},
      {"journal sync", "XDB.JNT", true, 0},
      {"record file sync", "XDB.DAT", false, XdbDbManager::kCompletionPending},
  };
  int number = 0;
  for (const Row& row : rows) {
    fs::path folder = Dir("row" + std::to_string(++number));
    {
      Value master = OpenMaster(folder);
      fsk::Call(the_, master, "createAlbum", Album("Trip"));
      fsk::Call(the_, master, "flush");
      fsk::Call(the_, master, "addPhoto", Content(1));
      testsupport::FaultInjection faults;
      if (row.file != nullptr) {
        faults.Add(testsupport::Fault(testsupport::SysCall::kFsync, (folder / row.file).string()).Errno(EIO));
      }
      int64_t answer = -1;
      std::optional<std::string> thrown = Thrown([&] { answer = Integer(fsk::Call(the_, master, "flush")); });
      EXPECT_EQ(thrown.has_value(), row.thrown) << row.name;
      if (thrown) {
        EXPECT_EQ(*thrown, "Error: flush failed (0x811A)") << row.name;
      } else {
        EXPECT_EQ(answer, row.answer) << row.name;
        fsk::Call(the_, master, "deleteIndex", "guid");
        EXPECT_EQ(Integer(fsk::Call(the_, master, "close")), row.answer) << row.name << ": the fault stays";
      }
    }
    Value again = OpenMaster(folder);
    EXPECT_EQ(Count(fsk::Call(the_, again, "search", "d", nullptr)), row.thrown ? 0 : 1) << row.name;
    EXPECT_FALSE(fs::exists(folder / "XDB.JNL")) << row.name;
    fsk::Call(the_, again, "close");
  }
}

TEST_F(XdbMaster, GlobalsOfTheMachine) {
  EXPECT_EQ(Integer(fsk::GetPath(the_, "xdb.integerIndex")), 64);
  EXPECT_FALSE(fsk::GetPath(the_, "Date").IsUndefined());
  EXPECT_FALSE(fsk::GetPath(the_, "trace").IsUndefined());
  Value content = Content(1);
  EXPECT_EQ(Integer(fsk::Get(the_, content, "shareFlag")), 0);
  EXPECT_EQ(Integer(fsk::Get(the_, content, "favoriteFlag")), 0);
  EXPECT_EQ(Integer(fsk::Get(the_, content, "guid")), 0);
  EXPECT_FALSE(fsk::IsInstanceOf(the_, Album("x"), fsk::Get(the_, dbManager_, "contentMaster")));
  EXPECT_FALSE(fsk::IsInstanceOf(the_, content, fsk::Get(the_, dbManager_, "contentAlbumInfo")));
  Value numeric = fsk::New(the_, dbManager_, "ContentAlbumInfo", 0.0, 12, 3);
  EXPECT_EQ(fsk::Get(the_, numeric, "title").Type(), kFskStringType);
}

}  // namespace
