#include <gtest/gtest.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbEngineFixture.h"
#include "camerastore/tests/xdb/XdbRefuseExchange.h"
#include "camerastore/xdb/XdbException.h"
#include "camerastore/xdb/XdbRecordWrites.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/time/XpDateTime.h"

namespace {

using testsupport::Fault;
using testsupport::SysCall;
using xdbtest::AccessorPtr;
using xdbtest::AlbumPtr;
using xdbtest::ContentPtr;
using xdbtest::kEngineBackup;
using xdbtest::kEngineDatabase;
using xdbtest::kEngineWorkCopy;

constexpr int64_t kLimit = 40000;

// An IContentInfo that is not one of the layer's own.
class ForeignContent : public XdbAccessor::IContentInfo {
 public:
  int32_t GetKind() const override { return 1; }
  XpString GetPath() const override { return XpString(); }
  XpString GetThumbnailPath() const override { return XpString(); }
  XpDateTime GetDate() const override { return XpDateTime(); }
  int32_t GetShareFlags() const override { return 0; }
  int32_t GetFavoriteFlags() const override { return 0; }
  int64_t GetGuid() const override { return 1; }
  XdbAccessor::IAlbumInfo* GetAlbum() const override { return nullptr; }
  int64_t GetId() const override { return 2; }
  void Release() override {}
};

// The accessor on a card whose database the runtime's own machine keeps.
class XdbAccessorEngine : public xdbtest::EngineTest {
 protected:
  void UseTimeZone(const char* zone) {
    SetEnv("TZ", zone);
    ::tzset();
  }

  // The code an operation raised; 0 when it raised nothing.
  template <typename Operation>
  static XpResult Raised(Operation&& operation) {
    try {
      operation();
    } catch (const XdbAccessor::XdbException& error) {
      return error.GetCode();
    }
    return kXpOk;
  }

  static ContentPtr Add(XdbAccessor::IXdbAccessor& accessor, XdbAccessor::IAlbumInfo* album, const XpString& path,
                        const XpDateTime& date, int32_t favorite = 0) {
    return ContentPtr(accessor.CreateContent(album, path, date, favorite));
  }

  // k2xdb's listing of "DBFILES", one line each.
  std::vector<std::string> Listing() const {
    const xdbtest::ToolRun run = Tool({"list", DatabaseFolder()});
    EXPECT_EQ(run.code, K2xdbTool::kDone) << run.err;
    std::vector<std::string> lines;
    std::istringstream text(run.out);
    for (std::string line; std::getline(text, line);) {
      lines.push_back(line);
    }
    return lines;
  }

  // The log files of the temporary folder, with their text.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    for (const auto& entry : std::filesystem::directory_iterator(Dir("tmp"))) {
      texts.push_back(fstest::ReadBytes(entry.path()));
    }
    return texts;
  }

  // The titles of all albums, in the reader's order.
  static std::vector<std::u16string> Titles(XdbAccessor::IXdbAccessor& accessor) {
    std::vector<std::u16string> titles;
    const std::unique_ptr<XdbAccessor::IAlbumList> albums(accessor.GetAllAlbums());
    EXPECT_NE(albums, nullptr);
    for (int32_t i = 0; albums != nullptr && i < albums->GetCount(); ++i) {
      titles.emplace_back(albums->GetAt(i)->GetTitle().View());
    }
    return titles;
  }

  // The paths of a list, in order.
  static std::vector<XpString> Paths(const XdbAccessor::IContentList* list) {
    std::vector<XpString> paths;
    for (int32_t i = 0; list != nullptr && i < list->GetCount(); ++i) {
      paths.push_back(list->GetAt(i)->GetPath());
    }
    return paths;
  }

  static std::vector<int64_t> Guids(const XdbAccessor::IContentList* list) {
    std::vector<int64_t> guids;
    for (int32_t i = 0; list != nullptr && i < list->GetCount(); ++i) {
      guids.push_back(list->GetAt(i)->GetGuid());
    }
    return guids;
  }

  void MakeCardFiles(int32_t count) const {
    for (int32_t file = 1; file <= count; ++file) {
      MakeFile(FileOf(file));
    }
  }
  static std::string FileOf(int32_t file) { return "DCIM/100ZXDCF/DSC0000" + std::to_string(file) + ".JPG"; }

  testsupport::FaultInjection faults_;
};

TEST_F(XdbAccessorEngine, AnExportOfThreePicturesReadsBackInANewAccessor) {
  UseTimeZone("JST-9");
  InitDatabase();
  MakeCardFiles(3);
  {
    AccessorPtr accessor = OpenAccessor();
    ASSERT_NE(accessor, nullptr);
    AlbumPtr album(accessor->CreateAlbum(u"Trip"));
    ASSERT_NE(album, nullptr);
    for (int32_t file = 1; file <= 3; ++file) {
      ASSERT_NE(Add(*accessor, album.get(), CardPath(FileOf(file)), XpDateTime(2009, 3, 15, 9 + file, 0, 0)), nullptr);
    }
    EXPECT_EQ(accessor->Commit(), 0);
  }
  EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});

  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  EXPECT_EQ(Titles(*accessor), std::vector<std::u16string>{u"Trip"});
  const std::unique_ptr<XdbAccessor::IContentList> contents(accessor->GetAllContents());
  ASSERT_NE(contents, nullptr);
  ASSERT_EQ(contents->GetCount(), 3);
  for (int32_t file = 1; file <= 3; ++file) {
    SCOPED_TRACE(file);
    const XdbAccessor::IContentInfo* content = contents->GetAt(file - 1);
    EXPECT_EQ(content->GetPath(), CardPath(FileOf(file)));
    EXPECT_EQ(content->GetDate(), XpDateTime(2009, 3, 15, 9 + file, 0, 0));
    EXPECT_EQ(content->GetKind(), 1);
    EXPECT_EQ(content->GetGuid(), file);
  }
  const std::unique_ptr<XdbAccessor::IContentList> after(accessor->GetContentsAfterGuid(1));
  EXPECT_EQ(Guids(after.get()), (std::vector<int64_t>{2, 3}));
  const std::unique_ptr<XdbAccessor::IContentList> none(accessor->GetContentsAfterGuid(3));
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->GetCount(), 0);
  accessor.reset();
  EXPECT_EQ(CheckDatabase(), "ok\n");
}

TEST_F(XdbAccessorEngine, CapacitiesCountOneKindAgainstTheLimit) {
  InitDatabase();
  MakeCardFiles(3);
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  EXPECT_EQ(accessor->GetRemainingContentCapacity(), kLimit);
  EXPECT_EQ(accessor->GetRemainingAlbumCapacity(), kLimit);
  AlbumPtr album(accessor->CreateAlbum(u"Trip"));
  for (int32_t file = 1; file <= 3; ++file) {
    Add(*accessor, album.get(), CardPath(FileOf(file)), XpDateTime(2009, 3, 15, 10, 0, 0));
  }
  EXPECT_EQ(accessor->GetRemainingContentCapacity(), kLimit - 3);
  EXPECT_EQ(accessor->GetRemainingAlbumCapacity(), kLimit - 1);
  EXPECT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(accessor->GetRemainingContentCapacity(), kLimit - 3);
  EXPECT_EQ(accessor->GetRemainingAlbumCapacity(), kLimit - 1);
}

TEST_F(XdbAccessorEngine, ContentsAreStoredWithTheirMiscAndFavourite) {
  InitDatabase();
  MakeFile("DCIM/100ZXDCF/MOV00001.MPG");
  MakeFile("DCIM/100ZXDCF/DSC00002.TIF");
  MakeFile("DCIM/100ZXDCF/DSC00003.jpeg");
  const XpString missing = CardPath("DCIM/100ZXDCF/DSC00004.JPG");
  {
    AccessorPtr accessor = OpenAccessor();
    ASSERT_NE(accessor, nullptr);
    AlbumPtr album(accessor->CreateAlbum(u"Trip"));
    ASSERT_NE(album, nullptr);
    const XpDateTime date(2009, 3, 15, 10, 0, 0);
    const ContentPtr movie = Add(*accessor, album.get(), CardPath("DCIM/100ZXDCF/MOV00001.MPG"), date);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->GetKind(), 2);
    EXPECT_NE(Add(*accessor, album.get(), CardPath("DCIM/100ZXDCF/DSC00002.TIF"), date), nullptr);
    EXPECT_NE(Add(*accessor, album.get(), CardPath("DCIM/100ZXDCF/DSC00003.jpeg"), date, 3), nullptr);
    EXPECT_TRUE(LogTexts().empty());
    EXPECT_NE(Add(*accessor, album.get(), missing, date), nullptr);
    EXPECT_EQ(accessor->Commit(), 0);
  }
  const std::vector<std::string> logs = LogTexts();
  ASSERT_EQ(logs.size(), 1u);
  const std::string tail = "][CreateContent] IsPathAvailable (" + fstest::ToUtf8(missing) + ")\n";
  ASSERT_GE(logs[0].size(), tail.size());
  EXPECT_EQ(logs[0].substr(logs[0].size() - tail.size()), tail);

  // The album (ID 1) dated by its last content, then the contents in ID
  // order with guids from 1.
  const std::string date = " date=2009-03-15 10:00:00";
  EXPECT_EQ(Listing(), (std::vector<std::string>{
                           "album 1" + date + " preference=3 title=\"Trip\"",
                           "content 2 album=1 guid=1 dcf=100-0001" + date + " misc=2 share=0 favorite=0",
                           "content 3 album=1 guid=2 dcf=100-0002" + date + " misc=0 share=0 favorite=0",
                           "content 4 album=1 guid=3 dcf=100-0003" + date + " misc=1 share=0 favorite=6",
                           "content 5 album=1 guid=4 dcf=100-0004" + date + " misc=1 share=0 favorite=0",
                       }));
  EXPECT_EQ(CheckDatabase(), "ok\n");
}

TEST_F(XdbAccessorEngine, ANewAlbumEndsWithTheDateOfItsLastContent) {
  InitDatabase();
  MakeCardFiles(3);
  {
    AccessorPtr accessor = OpenAccessor();
    ASSERT_NE(accessor, nullptr);
    AlbumPtr album(accessor->CreateAlbum(u"Trip"));
    const int32_t hours[] = {10, 9, 11};
    for (int32_t i = 0; i < 3; ++i) {
      Add(*accessor, album.get(), CardPath(FileOf(i + 1)), XpDateTime(2009, 3, 15, hours[i], 0, 0));
    }
    EXPECT_EQ(accessor->Commit(), 0);
  }
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  const std::unique_ptr<XdbAccessor::IAlbumList> albums(accessor->GetAllAlbums());
  ASSERT_NE(albums, nullptr);
  ASSERT_EQ(albums->GetCount(), 1);
  EXPECT_EQ(albums->GetAt(0)->GetDate(), XpDateTime(2009, 3, 15, 11, 0, 0));
}

// The album's record is written once per batch; what the accessor reads
// between the contents already has each content's date.
TEST_F(XdbAccessorEngine, ANewAlbumReadsBackTheDateOfEachContentBeforeTheCommit) {
  InitDatabase();
  MakeCardFiles(3);
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  AlbumPtr album(accessor->CreateAlbum(u"Trip"));
  const int32_t hours[] = {10, 9, 11};
  for (int32_t i = 0; i < 3; ++i) {
    Add(*accessor, album.get(), CardPath(FileOf(i + 1)), XpDateTime(2009, 3, 15, hours[i], 0, 0));
    const std::unique_ptr<XdbAccessor::IAlbumList> albums(accessor->GetAllAlbums());
    ASSERT_NE(albums, nullptr);
    ASSERT_EQ(albums->GetCount(), 1);
    EXPECT_EQ(albums->GetAt(0)->GetDate(), XpDateTime(2009, 3, 15, hours[i], 0, 0)) << i;
  }
  EXPECT_EQ(accessor->Commit(), 0);
  const std::unique_ptr<XdbAccessor::IAlbumList> albums(accessor->GetAllAlbums());
  ASSERT_NE(albums, nullptr);
  ASSERT_EQ(albums->GetCount(), 1);
  EXPECT_EQ(albums->GetAt(0)->GetDate(), XpDateTime(2009, 3, 15, 11, 0, 0));
  EXPECT_EQ(CheckDatabase(), "ok\n");
}

TEST_F(XdbAccessorEngine, DeletingContentsDropsAnEmptiedAlbumAndItsIndex) {
  InitDatabase();
  MakeCardFiles(3);
  {
    AccessorPtr accessor = OpenAccessor();
    ASSERT_NE(accessor, nullptr);
    AlbumPtr kept(accessor->CreateAlbum(u"Kept"));
    AlbumPtr emptied(accessor->CreateAlbum(u"Emptied"));
    Add(*accessor, kept.get(), CardPath(FileOf(1)), XpDateTime(2009, 3, 15, 10, 0, 0));
    Add(*accessor, kept.get(), CardPath(FileOf(2)), XpDateTime(2009, 3, 15, 11, 0, 0));
    Add(*accessor, emptied.get(), CardPath(FileOf(3)), XpDateTime(2009, 3, 15, 12, 0, 0));
    ASSERT_EQ(accessor->Commit(), 0);
  }
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  {
    const std::unique_ptr<XdbAccessor::IContentList> contents(accessor->GetAllContents());
    ASSERT_NE(contents, nullptr);
    ASSERT_EQ(contents->GetCount(), 3);
    accessor->DeleteContent(contents->GetAt(0));
    EXPECT_TRUE(Exists(std::string(kEngineWorkCopy) + "/OAI.IND"));
    accessor->DeleteContent(contents->GetAt(2));
    EXPECT_FALSE(Exists(std::string(kEngineWorkCopy) + "/OAI.IND"));
  }
  ASSERT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(Titles(*accessor), std::vector<std::u16string>{u"Kept"});
  const std::unique_ptr<XdbAccessor::IContentList> left(accessor->GetAllContents());
  EXPECT_EQ(Paths(left.get()), std::vector<XpString>{CardPath(FileOf(2))});
  const std::unique_ptr<XdbAccessor::IAlbumList> albums(accessor->GetAllAlbums());
  ASSERT_NE(albums, nullptr);
  ASSERT_EQ(albums->GetCount(), 1);
  const std::unique_ptr<XdbAccessor::IContentList> ofKept(albums->GetAt(0)->GetContents());
  EXPECT_EQ(Paths(ofKept.get()), std::vector<XpString>{CardPath(FileOf(2))});
  accessor.reset();
  EXPECT_EQ(CheckDatabase(), "ok\n");
}

TEST_F(XdbAccessorEngine, DeletingAContentOfAnotherKindRaisesAndChangesNothing) {
  InitDatabase();
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  ForeignContent foreign;
  EXPECT_EQ(Raised([&] { accessor->DeleteContent(&foreign); }), kXpErrGeneric);
  EXPECT_EQ(Raised([&] { accessor->DeleteContent(nullptr); }), kXpErrGeneric);
  EXPECT_EQ(accessor->Commit(), 0);
  accessor.reset();
  EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
  EXPECT_EQ(CheckDatabase(), "ok\n");
}

TEST_F(XdbAccessorEngine, TheWorkCopyIsMadeByTheFirstEditOnly) {
  InitDatabase();
  int32_t files = 0;
  XdbAccessor::XdbSetStepObserver([&files](const char* step) {
    files += std::string(step) == XdbAccessor::kXdbStepWorkCopyFile ? 1 : 0;
  });
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  AlbumPtr first(accessor->CreateAlbum(u"First"));
  ASSERT_NE(first, nullptr);
  const int32_t copied = files;
  EXPECT_GT(copied, 0);
  AlbumPtr second(accessor->CreateAlbum(u"Second"));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(files, copied);
  EXPECT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(Titles(*accessor), (std::vector<std::u16string>{u"First", u"Second"}));
}

TEST_F(XdbAccessorEngine, ReleasingWithoutCommitPlacesTheEditsOnTheCard) {
  InitDatabase();
  MakeCardFiles(1);
  {
    AccessorPtr accessor = OpenAccessor();
    ASSERT_NE(accessor, nullptr);
    AlbumPtr album(accessor->CreateAlbum(u"Trip"));
    Add(*accessor, album.get(), CardPath(FileOf(1)), XpDateTime(2009, 3, 15, 10, 0, 0));
  }
  EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  EXPECT_EQ(Titles(*accessor), std::vector<std::u16string>{u"Trip"});
  const std::unique_ptr<XdbAccessor::IContentList> contents(accessor->GetAllContents());
  EXPECT_EQ(Paths(contents.get()), std::vector<XpString>{CardPath(FileOf(1))});
}

TEST_F(XdbAccessorEngine, AWorkCopyThatCouldNotMoveIsRemovedAndNeverPlacedLater) {
  struct Case {
    const char* name;
    // 0: the folders are exchanged in one step; else the errno that
    // refuses that, so two renames swap them.
    int refusal;
    const char* step;
  };
  const Case cases[] = {
      {"exchange", 0, XdbAccessor::kXdbStepSwapExchange},
      {"renames", EINVAL, XdbAccessor::kXdbStepSwapWorkCopyToDatabase},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* folder : {kEngineDatabase, kEngineWorkCopy, kEngineBackup}) {
      std::filesystem::remove_all(Card() / folder);
    }
    sleeps_.clear();
    InitDatabase();
    MakeCardFiles(1);
    {
      AccessorPtr accessor = OpenAccessor();
      ASSERT_NE(accessor, nullptr);
      AlbumPtr album(accessor->CreateAlbum(u"Trip"));
      Add(*accessor, album.get(), CardPath(FileOf(1)), XpDateTime(2009, 3, 15, 10, 0, 0));
      std::optional<xdbtest::RefuseExchange> refuse;
      if (c.refusal != 0) {
        refuse.emplace(c.refusal);
      }
      // The store renames files inside the work copy while it flushes; the
      // fault starts with the folder's own move.
      bool armed = false;
      XdbAccessor::XdbSetStepObserver([this, &armed, &c](const char* step) {
        if (!armed && std::string(step) == c.step) {
          faults_.Add(Fault(SysCall::kRename, (Card() / kEngineWorkCopy).string()).Errno(EACCES).Times(10));
          armed = true;
        }
      });
      EXPECT_EQ(accessor->Commit(), static_cast<int32_t>(kXpErrAccessDenied));
      XdbAccessor::XdbSetStepObserver({});
      EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
      EXPECT_EQ(sleeps_, std::vector<uint32_t>(10, 1000));
      faults_.Clear();
      // The database is open on "DBFILES" again, as it was.
      EXPECT_TRUE(Titles(*accessor).empty());
    }
    EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
    EXPECT_EQ(CheckDatabase(), "ok\n");
    AccessorPtr accessor = OpenAccessor();
    ASSERT_NE(accessor, nullptr);
    EXPECT_TRUE(Titles(*accessor).empty());
    const std::unique_ptr<XdbAccessor::IContentList> contents(accessor->GetAllContents());
    EXPECT_TRUE(Paths(contents.get()).empty());
  }
}

TEST_F(XdbAccessorEngine, AWorkCopyThatRanOutOfSpaceIsRemovedAndTheEditRetried) {
  InitDatabase();
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  faults_.Add(Fault(SysCall::kOpen, (Card() / kEngineWorkCopy).string()).ForWriting().FromCall(2).Errno(ENOSPC));
  EXPECT_EQ(Raised([&] { AlbumPtr album(accessor->CreateAlbum(u"Trip")); }), kXpErrDiskFull);
  faults_.Clear();
  EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
  EXPECT_EQ(accessor->GetRemainingAlbumCapacity(), kLimit);
  const std::unique_ptr<XdbAccessor::IAlbumList> before(accessor->GetAllAlbums());
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(before->GetCount(), 0);

  AlbumPtr album(accessor->CreateAlbum(u"Trip"));
  ASSERT_NE(album, nullptr);
  EXPECT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(Titles(*accessor), std::vector<std::u16string>{u"Trip"});
  accessor.reset();
  EXPECT_EQ(CheckDatabase(), "ok\n");
}

TEST_F(XdbAccessorEngine, ALeftoverWorkCopyTheFactoryCouldNotRemoveIsReplacedByTheFirstEdit) {
  InitDatabase();
  // A stale work copy with an album of its own.
  const std::filesystem::path stale = Card() / kEngineWorkCopy;
  std::filesystem::copy(Card() / kEngineDatabase, stale, std::filesystem::copy_options::recursive);
  ASSERT_EQ(Tool({"add-album", stale.string(), "Stale"}).code, K2xdbTool::kDone);
  const int rule = faults_.Add(Fault(SysCall::kUnlink, (stale / "XDB.DAT").string()).Errno(EBUSY).Times(1));
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  EXPECT_EQ(faults_.Hits(rule), 1);
  EXPECT_TRUE(Exists(std::string(kEngineWorkCopy) + "/XDB.DAT"));
  faults_.Clear();

  AlbumPtr album(accessor->CreateAlbum(u"Trip"));
  ASSERT_NE(album, nullptr);
  EXPECT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(Titles(*accessor), std::vector<std::u16string>{u"Trip"});
  accessor.reset();
  EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
  EXPECT_EQ(CheckDatabase(), "ok\n");
}

TEST_F(XdbAccessorEngine, AllContentsComeGroupedByAlbumInAlbumOrder) {
  InitDatabase();
  MakeCardFiles(3);
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  AlbumPtr first(accessor->CreateAlbum(u"First"));
  AlbumPtr second(accessor->CreateAlbum(u"Second"));
  Add(*accessor, second.get(), CardPath(FileOf(1)), XpDateTime(2009, 3, 15, 10, 0, 0));
  Add(*accessor, first.get(), CardPath(FileOf(2)), XpDateTime(2009, 3, 15, 10, 0, 0));
  Add(*accessor, second.get(), CardPath(FileOf(3)), XpDateTime(2009, 3, 15, 10, 0, 0));
  ASSERT_EQ(accessor->Commit(), 0);
  const std::unique_ptr<XdbAccessor::IContentList> contents(accessor->GetAllContents());
  EXPECT_EQ(Paths(contents.get()),
            (std::vector<XpString>{CardPath(FileOf(2)), CardPath(FileOf(1)), CardPath(FileOf(3))}));
}

TEST_F(XdbAccessorEngine, ShareFlagsSelectTheContentsOfTheirGroups) {
  InitDatabase();
  MakeCardFiles(3);
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  AlbumPtr album(accessor->CreateAlbum(u"Trip"));
  // Flag bits 0x1, 0x2 and 0x4 are the share groups 2, 4 and 8.
  const int32_t groups[] = {8, 4, 2};
  for (int32_t file = 1; file <= 3; ++file) {
    const ContentPtr content = Add(*accessor, album.get(), CardPath(FileOf(file)), XpDateTime(2009, 3, 15, 10, 0, 0));
    ASSERT_NE(content, nullptr);
    ASSERT_EQ(XdbAddPhotoToGroup("sf", static_cast<int32_t>(content->GetId()), groups[file - 1]), 0);
  }
  ASSERT_EQ(accessor->Commit(), 0);
  const std::unique_ptr<XdbAccessor::IContentList> shared(accessor->GetContentsByShareFlags(0x5));
  ASSERT_NE(shared, nullptr);
  std::vector<XpString> paths = Paths(shared.get());
  std::sort(paths.begin(), paths.end(), [](const XpString& a, const XpString& b) { return a.View() < b.View(); });
  EXPECT_EQ(paths, (std::vector<XpString>{CardPath(FileOf(1)), CardPath(FileOf(3))}));
  std::vector<int32_t> flags;
  for (int32_t i = 0; i < shared->GetCount(); ++i) {
    flags.push_back(shared->GetAt(i)->GetShareFlags());
  }
  std::sort(flags.begin(), flags.end());
  EXPECT_EQ(flags, (std::vector<int32_t>{1, 4}));
}

TEST_F(XdbAccessorEngine, TheReaderAnswersAnEmptyDatabase) {
  InitDatabase();
  AccessorPtr accessor = OpenAccessor();
  ASSERT_NE(accessor, nullptr);
  EXPECT_EQ(accessor->GetContentsByShareFlags(0), nullptr);
  // Each of these answers an empty list rather than none.
  struct Query {
    const char* name;
    XdbAccessor::IContentList* (*run)(XdbAccessor::IXdbAccessor&);
  };
  const Query queries[] = {
      {"unknown share bits",
       [](XdbAccessor::IXdbAccessor& a) { return a.GetContentsByShareFlags(0x40); }},
      {"known share bits",
       [](XdbAccessor::IXdbAccessor& a) { return a.GetContentsByShareFlags(0x5); }},
      {"all contents", [](XdbAccessor::IXdbAccessor& a) { return a.GetAllContents(); }},
      {"after guid 0", [](XdbAccessor::IXdbAccessor& a) { return a.GetContentsAfterGuid(0); }},
  };
  for (const Query& query : queries) {
    SCOPED_TRACE(query.name);
    const std::unique_ptr<XdbAccessor::IContentList> list(query.run(*accessor));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetCount(), 0);
  }
  const std::unique_ptr<XdbAccessor::IAlbumList> albums(accessor->GetAllAlbums());
  ASSERT_NE(albums, nullptr);
  EXPECT_EQ(albums->GetCount(), 0);
  // A commit without an edit reopens the database, which still answers.
  EXPECT_EQ(accessor->Commit(), 0);
  EXPECT_EQ(Folders(), std::vector<std::string>{kEngineDatabase});
  EXPECT_TRUE(Titles(*accessor).empty());
}

TEST_F(XdbAccessorEngine, WithoutADatabaseFolderTheFactoryRefusesAndMakesNothing) {
  XdbAccessor::IXdbAccessor* accessor = nullptr;
  EXPECT_EQ(XdbAccessor::CreateDeviceXdbAccessor(&accessor, CardRoot()), kXpErrGeneric);
  EXPECT_EQ(accessor, nullptr);
  EXPECT_TRUE(Folders().empty());
}

}  // namespace
