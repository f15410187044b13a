#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbAccessorFixture.h"
#include "camerastore/xdb/AlbumInfo.h"
#include "camerastore/xdb/ContentInfo.h"
#include "camerastore/xdb/XdbWriter.h"
#include "platform/testsupport/FaultInjection.h"

namespace {

using xdbtest::kDatabase;
using xdbtest::kWorkCopy;
using xdbtest::Owned;
using xdbtest::ScriptedAnswer;
using xdbtest::ScriptedValue;
using testsupport::Fault;
using testsupport::SysCall;

constexpr int32_t kAlbumId = 5;

class XdbWriter : public xdbtest::AccessorTest {
 protected:
  void SetUp() override {
    AccessorTest::SetUp();
    MakeDatabase(kDatabase, "old");
    fstest::WriteBytes(Card() / kDatabase / "OAI.IND", "index");
    Open();
    writer_ = std::make_unique<XdbAccessor::XdbWriter>(CardRoot());
  }

  void TearDown() override {
    XdbAccessor::XdbSetStepObserver({});
    faults_.Clear();
    writer_.reset();
    AccessorTest::TearDown();
  }

  // An album of the run, still dated 1970-01-01, or one with a date.
  static Owned<XdbAccessor::IAlbumInfo> Album(const XpDateTime& date = XpDateTime(1970, 1, 1, 0, 0, 0)) {
    XdbAccessor::AlbumData data;
    data.id = kAlbumId;
    data.title = u"Trip";
    data.date = date;
    return Owned<XdbAccessor::IAlbumInfo>(new XdbAccessor::AlbumInfo(data, XpString()));
  }

  std::vector<fsktest::ScriptedCall> Calls(const std::string& method) const {
    std::vector<fsktest::ScriptedCall> found;
    for (const fsktest::ScriptedCall& call : LoggedCalls()) {
      if (call.method == method) {
        found.push_back(call);
      }
    }
    return found;
  }

  std::unique_ptr<XdbAccessor::XdbWriter> writer_;
  testsupport::FaultInjection faults_;
};

TEST_F(XdbWriter, ContentsAreStoredWithTheirKindAndFavourite) {
  struct Case {
    const char* file;
    int32_t favorite;
    int64_t misc;
    int32_t kind;
    bool folder = false;
  };
  const Case cases[] = {
      {"DCIM/100ZXDCF/MOV00001.MPG", 0, 2, 2},
      {"DCIM/100ZXDCF/DSC00002.TIF", 0, 0, 0},
      {"DCIM/100ZXDCF/DSC00003.jpeg", 3, 1, 1},
      // A folder is no picture, whatever its name.
      {"DCIM/100ZXDCF/DSC00004.JPG", 0, 0, 0, true},
  };
  Owned<XdbAccessor::IAlbumInfo> album = Album(XpDateTime(2000, 1, 1, 0, 0, 0));
  AnswerOpens(1);
  for (const Case& c : cases) {
    if (c.folder) {
      MakeFolder(c.file);
    } else {
      MakeFile(c.file);
    }
    Mark();
    scripted_->Answer("Master.addPhoto", ScriptedAnswer::Return(ScriptedValue::Integer(9)));
    Owned<XdbAccessor::IContentInfo> content(
        writer_->CreateContent(album.get(), CardPath(c.file), XpDateTime(2009, 3, 15, 10, 0, 0), c.favorite));
    ASSERT_NE(content, nullptr) << c.file;
    EXPECT_EQ(content->GetKind(), c.kind) << c.file;
    EXPECT_EQ(content->GetId(), 9) << c.file;
    EXPECT_EQ(content->GetFavoriteFlags(), c.favorite) << c.file;
    const std::vector<fsktest::ScriptedCall> made = Calls("new ContentMaster");
    ASSERT_EQ(made.size(), 1u) << c.file;
    ASSERT_EQ(made[0].arguments.size(), 6u) << c.file;
    EXPECT_EQ(made[0].arguments[4], ScriptedValue::Integer(c.misc)) << c.file;
    EXPECT_EQ(made[0].arguments[3], ScriptedValue::Integer(kAlbumId)) << c.file;
    const std::vector<fsktest::ScriptedCall> grouped = Calls("addPhotoToGroup");
    if (c.favorite == 0) {
      EXPECT_TRUE(grouped.empty()) << c.file;
    } else {
      ASSERT_EQ(grouped.size(), 1u) << c.file;
      EXPECT_EQ(grouped[0].Text(), "addPhotoToGroup(\"ff\", 9, 6)");
    }
  }
  EXPECT_TRUE(LogFiles().empty());
}

TEST_F(XdbWriter, AMissingPathIsLoggedAndStillRecorded) {
  Owned<XdbAccessor::IAlbumInfo> album = Album(XpDateTime(2000, 1, 1, 0, 0, 0));
  AnswerOpens(1);
  const XpString missing = CardPath("DCIM/100ZXDCF/DSC00009.JPG");
  Owned<XdbAccessor::IContentInfo> content(
      writer_->CreateContent(album.get(), missing, XpDateTime(2009, 3, 15, 10, 0, 0), 0));
  ASSERT_NE(content, nullptr);
  EXPECT_EQ(Calls("addPhoto").size(), 1u);
  const std::map<std::string, std::string> logs = LogFiles();
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs.begin()->first, "_TempK2TLV_00000.log");
  const std::string tail = "][CreateContent] IsPathAvailable (" + fstest::ToUtf8(missing) + ")\n";
  const std::string& text = logs.begin()->second;
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(XdbWriter, AnAlbumOfTheRunTakesTheDateOfEachContent) {
  struct Case {
    const char* name;
    XpDateTime albumDate;
    std::vector<int32_t> hours;
    std::vector<int32_t> updatedHours;
  };
  const Case cases[] = {
      {"new album", XpDateTime(1970, 1, 1, 0, 0, 0), {10, 9, 11}, {10, 9, 11}},
      {"dated album", XpDateTime(2009, 3, 15, 9, 30, 0), {10, 9, 11}, {9}},
  };
  AnswerOpens(1);
  MakeFile("DCIM/100ZXDCF/DSC00001.JPG");
  for (const Case& c : cases) {
    Owned<XdbAccessor::IAlbumInfo> album = Album(c.albumDate);
    Mark();
    for (int32_t hour : c.hours) {
      Owned<XdbAccessor::IContentInfo> content(writer_->CreateContent(
          album.get(), CardPath("DCIM/100ZXDCF/DSC00001.JPG"), XpDateTime(2009, 3, 15, hour, 0, 0), 0));
    }
    std::vector<double> dates;
    for (const fsktest::ScriptedCall& made : Calls("new ContentAlbumInfo")) {
      dates.push_back(xdbtest::NumberOf(made.arguments[0]));
    }
    std::vector<double> expected;
    for (int32_t hour : c.updatedHours) {
      // 2009-03-15 in milliseconds since 1970, UTC.
      expected.push_back((1237075200.0 + hour * 3600.0) * 1000.0);
    }
    EXPECT_EQ(dates, expected) << c.name;
    EXPECT_EQ(Calls("updateAlbumInfo").size(), c.updatedHours.size()) << c.name;
  }
}

TEST_F(XdbWriter, TheWorkCopyIsMadeOnce) {
  int32_t files = 0;
  XdbAccessor::XdbSetStepObserver([&files](const char* step) {
    files += std::string(step) == XdbAccessor::kXdbStepWorkCopyFile ? 1 : 0;
  });
  AnswerOpens(1);
  EXPECT_EQ(writer_->CreateTempFolder(), kXpOk);
  EXPECT_EQ(files, 4);
  EXPECT_EQ(Marker(kWorkCopy), "old");
  EXPECT_TRUE(Exists(std::string(kWorkCopy) + "/OAI.IND"));
  const std::vector<fsktest::ScriptedCall> opens = Calls("open");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].arguments[0], ScriptedValue::String(fstest::ToUtf8(FolderPath(kWorkCopy))));
  Mark();
  EXPECT_EQ(writer_->CreateTempFolder(), kXpOk);
  EXPECT_EQ(files, 4);
  EXPECT_TRUE(Logged().empty());
}

TEST_F(XdbWriter, CapacitiesAreTheLimitLessTheCountIn32Bits) {
  struct Case {
    int64_t limit;
    int64_t contents;
    int64_t albums;
    int64_t contentRoom;
    int64_t albumRoom;
  };
  const int64_t lowest = std::numeric_limits<int32_t>::min();
  const Case cases[] = {
      {40000, 0, 0, 40000, 40000},
      {40000, 3, 1, 39997, 39999},
      {5, 7, 5, -2, 0},
      {lowest, 1, 0, std::numeric_limits<int32_t>::max(), lowest},
  };
  for (const Case& c : cases) {
    scripted_->Answer("Master.getLimit", ScriptedAnswer::Return(ScriptedValue::Integer(c.limit)));
    scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
    scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(c.contents)));
    EXPECT_EQ(writer_->GetRemainingContentCapacity(), c.contentRoom) << c.limit;
    scripted_->Answer("Master.getLimit", ScriptedAnswer::Return(ScriptedValue::Integer(c.limit)));
    scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
    scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(c.albums)));
    EXPECT_EQ(writer_->GetRemainingAlbumCapacity(), c.albumRoom) << c.limit;
  }
  EXPECT_FALSE(Exists(kWorkCopy));
}

TEST_F(XdbWriter, DeletingTheLastContentDropsTheAlbumAndItsIndex) {
  struct Case {
    int64_t left;
    bool albumDeleted;
  };
  const Case cases[] = {{2, false}, {0, true}};
  AnswerOpens(1);
  for (const Case& c : cases) {
    Mark();
    XdbAccessor::ContentData data;
    data.id = 12;
    data.albumId = kAlbumId;
    XdbAccessor::ContentInfo content(data);
    scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
    scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(c.left)));
    writer_->DeleteContent(&content);
    EXPECT_EQ(Calls("deletePhoto").size(), 1u) << c.left;
    EXPECT_EQ(Calls("deleteAlbum").size(), c.albumDeleted ? 1u : 0u) << c.left;
    EXPECT_EQ(Exists(std::string(kWorkCopy) + "/OAI.IND"), !c.albumDeleted) << c.left;
  }
  EXPECT_TRUE(Exists(std::string(kDatabase) + "/OAI.IND"));
}

TEST_F(XdbWriter, DeletingAnAlbumIgnoresFailuresOfItsContents) {
  AnswerOpens(1);
  scripted_->Answer("Master.search", ScriptedAnswer::ReturnSet());
  scripted_->Answer("set.count", ScriptedAnswer::Return(ScriptedValue::Integer(3)));
  scripted_->Answer("set.getID", ScriptedAnswer::Return(ScriptedValue::Integer(21)));
  scripted_->Answer("set.getID", ScriptedAnswer::Throw("gone"));
  scripted_->Answer("set.getID", ScriptedAnswer::Return(ScriptedValue::Integer(23)));
  scripted_->Answer("Master.deletePhoto", ScriptedAnswer::Throw("gone"));
  Owned<XdbAccessor::IAlbumInfo> album = Album();
  writer_->DeleteAlbum(album.get());
  const std::vector<fsktest::ScriptedCall> deleted = Calls("deletePhoto");
  ASSERT_EQ(deleted.size(), 2u);
  EXPECT_EQ(deleted[0].Text(), "deletePhoto(21)");
  EXPECT_EQ(deleted[1].Text(), "deletePhoto(23)");
  ASSERT_EQ(Calls("deleteAlbum").size(), 1u);
  EXPECT_FALSE(Exists(std::string(kWorkCopy) + "/OAI.IND"));
}

TEST_F(XdbWriter, AFailedWorkCopyIsRemovedAndTheDatabaseReopened) {
  faults_.Add(Fault(SysCall::kOpen, (Card() / kWorkCopy).string()).ForWriting().FromCall(2).Errno(ENOSPC));
  AnswerOpens(1);
  EXPECT_EQ(Raised([&] { Owned<XdbAccessor::IAlbumInfo> album(writer_->CreateAlbum(u"Trip")); }), kXpErrDiskFull);
  EXPECT_FALSE(Exists(kWorkCopy));
  EXPECT_TRUE(Calls("createAlbum").empty());
  EXPECT_FALSE(writer_->IsWorkCopyOpen());
  faults_.Clear();
  Mark();
  AnswerOpens(1);
  scripted_->Answer("Master.createAlbum", ScriptedAnswer::Return(ScriptedValue::Integer(kAlbumId)));
  Owned<XdbAccessor::IAlbumInfo> album(writer_->CreateAlbum(u"Trip"));
  ASSERT_NE(album, nullptr);
  EXPECT_EQ(album->GetId(), kAlbumId);
  EXPECT_EQ(Marker(kWorkCopy), "old");
  EXPECT_TRUE(writer_->IsWorkCopyOpen());
}

TEST_F(XdbWriter, AWorkCopyThatDoesNotOpenIsRemovedAndDbfilesReopened) {
  scripted_->Answer("Master.open", ScriptedAnswer::Throw("broken"));
  AnswerOpens(1);
  EXPECT_EQ(Raised([&] { Owned<XdbAccessor::IAlbumInfo> album(writer_->CreateAlbum(u"Trip")); }), kXpErrGeneric);
  EXPECT_FALSE(Exists(kWorkCopy));
  const std::vector<fsktest::ScriptedCall> opens = Calls("open");
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[0].arguments[0], ScriptedValue::String(fstest::ToUtf8(FolderPath(kWorkCopy))));
  EXPECT_EQ(opens[1].arguments[0], ScriptedValue::String(fstest::ToUtf8(FolderPath(kDatabase))));
}

TEST_F(XdbWriter, ALeftoverWorkCopyIsReplacedBeforeTheFirstEdit) {
  MakeDatabase(kWorkCopy, "stale");
  fstest::WriteBytes(Card() / kWorkCopy / "stale.bin", "stale");
  const int rule = faults_.Add(Fault(SysCall::kRmdir, (Card() / kWorkCopy).string()).Errno(EBUSY).Times(1));
  EXPECT_EQ(Raised([&] { Owned<XdbAccessor::IAlbumInfo> album(writer_->CreateAlbum(u"Trip")); }), kXpErrAccessDenied);
  EXPECT_EQ(faults_.Hits(rule), 1);
  EXPECT_TRUE(Calls("createAlbum").empty());
  AnswerOpens(1);
  scripted_->Answer("Master.createAlbum", ScriptedAnswer::Return(ScriptedValue::Integer(kAlbumId)));
  Owned<XdbAccessor::IAlbumInfo> album(writer_->CreateAlbum(u"Trip"));
  ASSERT_NE(album, nullptr);
  EXPECT_EQ(Marker(kWorkCopy), "old");
  EXPECT_FALSE(Exists(std::string(kWorkCopy) + "/stale.bin"));
}

TEST_F(XdbWriter, AWorkCopyFolderThatCannotBeMadeIsLoggedTenTimes) {
  faults_.Add(Fault(SysCall::kMkdir, (Card() / kWorkCopy).string()).Errno(EACCES));
  // The last try's failure is the answer, not a later step's.
  EXPECT_EQ(writer_->CreateTempFolder(), kXpErrAccessDenied);
  EXPECT_EQ(sleeps_, std::vector<uint32_t>(10, 1000));
  const std::map<std::string, std::string> logs = LogFiles();
  ASSERT_EQ(logs.size(), 10u);
  for (const auto& [name, text] : logs) {
    const std::string tail = "][createTempFolder] [33032]\n";
    ASSERT_GE(text.size(), tail.size()) << name;
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << name;
  }
  EXPECT_FALSE(Exists(kWorkCopy));
  EXPECT_FALSE(writer_->IsWorkCopyOpen());
}

TEST_F(XdbWriter, NoDatabaseFolderNoWorkCopy) {
  std::filesystem::remove_all(Card() / kDatabase);
  EXPECT_EQ(writer_->CreateTempFolder(), kXpErrPathNotFound);
  EXPECT_FALSE(Exists(kWorkCopy));
}

}  // namespace
