#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "camerastore/tests/xdb/XdbObjectsFixture.h"
#include "camerastore/xdb/AlbumInfo.h"
#include "camerastore/xdb/ContentInfo.h"
#include "camerastore/xdb/XdbRecordMapper.h"

namespace {

using XdbRecordMapper = xdbtest::ObjectsTest;
using Mapper = XdbAccessor::XdbRecordMapper;
using xdbtest::Text;

constexpr int32_t kSentinel = 0x5A5A5A5A;

struct ContentDeleter {
  void operator()(XdbAccessor::ContentInfo* content) const { content->Release(); }
};
using ContentPtr = std::unique_ptr<XdbAccessor::ContentInfo, ContentDeleter>;

XdbContentRecord SentinelRecord() {
  XdbContentRecord record;
  int32_t* words = &record.seconds;
  for (size_t i = 0; i < sizeof record / sizeof(int32_t); ++i) {
    words[i] = kSentinel;
  }
  return record;
}

XdbContentRecord RecordOf(int32_t folder, int32_t file) {
  XdbContentRecord record{};
  record.yearsSince1900 = 109;
  record.dayOfMonth = 1;
  record.folderID = folder;
  record.fileID = file;
  return record;
}

TEST_F(XdbRecordMapper, ReadsFolderAndFileNumbersFromPaths) {
  struct Case {
    const char16_t* path;
    uint16_t folder;
    uint16_t file;
  };
  const Case cases[] = {
      {u"/m/DCIM/100ZXDCF/DSC00001.JPG", 100, 1},
      {u"/m/DCIM/007ZXDCF/MOV09999.MPG", 7, 9999},
      {u"/m/DCIM/999_KAVO/ABCD0042", 999, 42},
      {u"/m/DCIM/1X0ABCDE/ABCDX001.JPG", 1, 0},
      {u"/m/DCIM/ABCDEFGH/DSC0.JPG", 0, 0},
      {u"12/DSC00003.JPG", 12, 3},
      {u"DSC00005.JPG", 0, 5},
      {u"/m/DCIM/101ZXDCF/DSC00006.JPG/", 101, 6},
      {u"/m/DC.IM/102ZXDCF/DSC00007", 102, 7},
      {u"/m/DCIM/103ZXDCF/DSC.00008", 103, 0},
      {u"/", 0, 0},
      {u"", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Mapper::GetFolderNumber(c.path), c.folder) << testing::PrintToString(XpString(c.path));
    EXPECT_EQ(Mapper::GetFileNumber(c.path), c.file) << testing::PrintToString(XpString(c.path));
  }
}

TEST_F(XdbRecordMapper, SetRootEndsTheRootWithOneSeparator) {
  struct Case {
    const char16_t* path;
    const char16_t* root;
  };
  const Case cases[] = {
      {u"/media/u/CAM", u"/media/u/CAM/"}, {u"/media/u/CAM/", u"/media/u/CAM/"},
      {u"/media/u/CAM//", u"/media/u/CAM/"}, {u"/", u"/"},
      {u"", u""},
  };
  for (const Case& c : cases) {
    Mapper mapper;
    mapper.SetRoot(c.path);
    EXPECT_EQ(Text(mapper.GetRoot()), c.root);
  }
  EXPECT_TRUE(Mapper().GetRoot().IsEmpty());
}

TEST_F(XdbRecordMapper, DatesGoToRecordsAsLocalPartsAndComeBackAsUtc) {
  UseTimeZone("JST-9");
  const XpDateTime utc(2009, 3, 14, 20, 0, 0);
  XdbContentRecord record = SentinelRecord();
  Mapper::DateToRecord(utc, &record);
  EXPECT_EQ(record.seconds, 0);
  EXPECT_EQ(record.minutes, 0);
  EXPECT_EQ(record.hours, 5);
  EXPECT_EQ(record.dayOfMonth, 15);
  EXPECT_EQ(record.month, 2);
  EXPECT_EQ(record.yearsSince1900, 109);
  const int32_t* words = &record.seconds;
  for (size_t i = 6; i < sizeof record / sizeof(int32_t); ++i) {
    EXPECT_EQ(words[i], kSentinel) << "word " << i;
  }

  const ContentPtr content(Mapper().MakeContentInfo(record, 4));
  ASSERT_NE(content, nullptr);
  EXPECT_EQ(content->GetDate(), utc);

  XdbAlbumRecord album{};
  Mapper::DateToRecord(XpDateTime(2009, 12, 31, 16, 30, 5), &album);
  EXPECT_EQ(album.yearsSince1900, 110);
  EXPECT_EQ(album.month, 0);
  EXPECT_EQ(album.dayOfMonth, 1);
  EXPECT_EQ(album.hours, 1);
  EXPECT_EQ(album.minutes, 30);
  EXPECT_EQ(album.seconds, 5);
  std::unique_ptr<XdbAccessor::AlbumInfo> info(Mapper::MakeAlbumInfo(album, 3, u"/m/"));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->GetDate(), XpDateTime(2009, 12, 31, 16, 30, 5));
  EXPECT_EQ(info->GetId(), 3);
  EXPECT_EQ(Text(info->GetRoot()), u"/m/");
}

TEST_F(XdbRecordMapper, RecordDateToUtcSubtractsTheOffsetAtTheLocalValue) {
  // Central Europe: summer time from 2009-03-29 01:00 UTC.
  UseTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
  struct Case {
    XpDateTime local;
    XpDateTime utc;
  };
  const Case cases[] = {
      {XpDateTime(2009, 1, 10, 12, 0, 0), XpDateTime(2009, 1, 10, 11, 0, 0)},
      {XpDateTime(2009, 7, 10, 12, 0, 0), XpDateTime(2009, 7, 10, 10, 0, 0)},
      // 01:30 local is still winter time (00:30 UTC), but the offset at
      // 01:30 read as UTC is already summer's.
      {XpDateTime(2009, 3, 29, 1, 30, 0), XpDateTime(2009, 3, 28, 23, 30, 0)},
  };
  for (const Case& c : cases) {
    XpDateTime date = c.local;
    Mapper::RecordDateToUtc(date);
    EXPECT_EQ(date, c.utc);
  }
}

TEST_F(XdbRecordMapper, ContentValuesAreHalvedAndWidenedWithTheirSign) {
  struct Case {
    int32_t shareFlag;
    int32_t favoriteFlag;
    int32_t guid;
    int32_t albumId;
    int32_t shareFlags;
    int32_t favorite;
  };
  const Case cases[] = {
      {12, 6, -5, 2, 6, 3},
      {-3, 1, INT32_MIN, -1, -2, 0},
      {INT32_MAX, 7, INT32_MAX, -7, INT32_MAX / 2, 3},
  };
  for (const Case& c : cases) {
    XdbContentRecord record = RecordOf(100, 1);
    record.shareFlag = c.shareFlag;
    record.favoriteFlag = c.favoriteFlag;
    record.guid = c.guid;
    record.albumID = c.albumId;
    const ContentPtr content(Mapper().MakeContentInfo(record, -1));
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->GetShareFlags(), c.shareFlags);
    EXPECT_EQ(content->GetFavoriteFlags(), c.favorite);
    EXPECT_EQ(content->GetGuid(), static_cast<int64_t>(c.guid));
    EXPECT_EQ(content->GetAlbumId(), static_cast<int64_t>(c.albumId));
    EXPECT_EQ(content->GetId(), int64_t{-1});
  }
}

TEST_F(XdbRecordMapper, MakeContentRecordTakesTheNumbersOfThePath) {
  const XdbContentRecord record =
      Mapper::MakeContentRecord(XpDateTime(2010, 5, 6, 7, 8, 9), u"/m/DCIM/123ZXDCF/DSC04567.JPG");
  EXPECT_EQ(record.folderID, 123);
  EXPECT_EQ(record.fileID, 4567);
  EXPECT_EQ(record.yearsSince1900, 110);
  EXPECT_EQ(record.month, 4);
  EXPECT_EQ(record.dayOfMonth, 6);
  EXPECT_EQ(record.hours, 7);
  EXPECT_EQ(record.minutes, 8);
  EXPECT_EQ(record.seconds, 9);
  EXPECT_EQ(record.albumID, 0);
  EXPECT_EQ(record.guid, 0);
}

TEST_F(XdbRecordMapper, MakeAlbumRecordCarriesTheTitleAndTheLocalDate) {
  UseTimeZone("JST-9");
  XdbAccessor::AlbumData data;
  data.id = 5;
  data.title = u"Trip";
  data.date = XpDateTime(2009, 3, 14, 20, 0, 0);
  std::unique_ptr<XdbAccessor::AlbumInfo> album(new XdbAccessor::AlbumInfo(data, u""));
  XdbAccessor::MappedAlbumRecord mapped;
  Mapper::MakeAlbumRecord(*album, &mapped);
  album.reset();
  ASSERT_NE(mapped.record.title, nullptr);
  EXPECT_EQ(std::u16string(mapped.record.title), u"Trip");
  EXPECT_EQ(mapped.record.yearsSince1900, 109);
  EXPECT_EQ(mapped.record.month, 2);
  EXPECT_EQ(mapped.record.dayOfMonth, 15);
  EXPECT_EQ(mapped.record.hours, 5);
  EXPECT_EQ(mapped.record.weekday, 0);
  EXPECT_EQ(mapped.record.daylightFlag, 0);
  EXPECT_EQ(mapped.record.preference, 0);
}

TEST_F(XdbRecordMapper, FindsTheFileOfAContentOnTheCard) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    int32_t folder;
    int32_t file;
    const char* found;  // "" when nothing is
    int32_t kind;
  };
  const Case cases[] = {
      {"own name", {"DCIM/100ZXDCF/DSC00001.JPG"}, 100, 1, "DCIM/100ZXDCF/DSC00001.JPG", 1},
      {"own movie", {"DCIM/100ZXDCF/MOV00001.MPG"}, 100, 1, "DCIM/100ZXDCF/MOV00001.MPG", 2},
      {"_KAVO first", {"DCIM/100_KAVO/ABCD0001.JPG", "DCIM/100ABCDE/ABCD0001.JPG"}, 100, 1,
       "DCIM/100_KAVO/ABCD0001.JPG", 1},
      {"QMVS preferred", {"DCIM/100ABCDE/QMVS0001.JPG", "DCIM/100ABCDE/ABCD0001.JPG"}, 100, 1,
       "DCIM/100ABCDE/QMVS0001.JPG", 1},
      {"picture beats movie", {"DCIM/100ABCDE/MOV00001.MPG", "DCIM/100ABCDE/ABCD0001.JPG"}, 100, 1,
       "DCIM/100ABCDE/ABCD0001.JPG", 1},
      {"folder 7", {"DCIM/007ZXDCF/DSC00001.JPG"}, 7, 1, "DCIM/007ZXDCF/DSC00001.JPG", 1},
      {"lower case", {"DCIM/100abcde/abcd0002.mpg"}, 100, 2, "DCIM/100abcde/abcd0002.mpg", 2},
      {"other number", {"DCIM/100ZXDCF/DSC00002.JPG", "DCIM/101ZXDCF/DSC00001.JPG"}, 100, 1, "", 0},
      {"nothing", {}, 100, 1, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Card());
    MakeFolder("DCIM");
    for (const std::string& file : c.files) {
      MakeFile(file);
    }
    Mapper mapper;
    mapper.SetRoot(CardRoot());
    XpString path = u"left over";
    const XpResult result = mapper.FindContentPath(c.folder, c.file, &path);
    const XpString expected = *c.found == 0 ? XpString() : CardPath(c.found);
    EXPECT_EQ(result, *c.found == 0 ? 0x8105u : 0u);
    EXPECT_EQ(path, expected);

    const ContentPtr content(mapper.MakeContentInfo(RecordOf(c.folder, c.file), 9));
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->GetPath(), expected);
    EXPECT_EQ(content->GetKind(), c.kind);
  }
}

TEST_F(XdbRecordMapper, OwnNamesAreFoundWithoutEnumeration) {
  MakeFile("DCIM/100ZXDCF/DSC00001.JPG");
  MakeFile("DCIM/100ZXDCF/QMVM0002.MPG");
  Mapper mapper;
  mapper.SetRoot(CardRoot());
  xdbtest::OpendirCounter counter;
  XpString path;
  ASSERT_EQ(mapper.FindContentPath(100, 1, &path), 0u);
  EXPECT_EQ(path, CardPath("DCIM/100ZXDCF/DSC00001.JPG"));
  ASSERT_EQ(mapper.FindContentPath(100, 2, &path), 0u);
  EXPECT_EQ(path, CardPath("DCIM/100ZXDCF/QMVM0002.MPG"));
  EXPECT_EQ(counter.Count(), 0);
  // Anything else walks the folders.
  EXPECT_EQ(mapper.FindContentPath(100, 3, &path), 0x8105u);
  EXPECT_GT(counter.Count(), 0);
}

TEST_F(XdbRecordMapper, WithoutARootNothingIsFound) {
  MakeFile("DCIM/100ZXDCF/DSC00001.JPG");
  const Mapper mapper;
  XpString path = u"x";
  EXPECT_EQ(mapper.FindContentPath(100, 1, &path), 0x8105u);
  EXPECT_TRUE(path.IsEmpty());
}

TEST_F(XdbRecordMapper, CandidateFoldersComeInTheOrderOfPreference) {
  struct Case {
    const char* name;
    std::vector<std::string> folders;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"suffixes",
       {"100ABCDE", "100_COPY", "100ZXDCF", "100_KAVO", "100AAAAA"},
       {"100ZXDCF", "100_KAVO", "100_COPY", "100AAAAA", "100ABCDE"}},
      {"case ignored", {"100abcde", "100zxdcf", "100_kavo", "100AAAAB"},
       {"100zxdcf", "100_kavo", "100AAAAB", "100abcde"}},
      {"others skipped", {"101ZXDCF", "100ZXDC", "100ZXDCFX", "X100ABCD", "100ABCDE"}, {"100ABCDE"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Card());
    MakeFolder("DCIM");
    for (const std::string& folder : c.folders) {
      MakeFolder("DCIM/" + folder);
    }
    std::vector<XpString> list;
    ASSERT_EQ(Mapper::FindCandidateFolders(CardPath("DCIM"), 100, &list), 0u);
    std::vector<XpString> expected;
    for (const std::string& folder : c.expected) {
      expected.push_back(CardPath("DCIM/" + folder));
    }
    EXPECT_EQ(list, expected);
  }
}

TEST_F(XdbRecordMapper, NestedOwnFoldersComeInReverseOrderOfDiscovery) {
  MakeFolder("DCIM/100ZXDCF/100ZXDCF");
  MakeFolder("DCIM/100ABCDE");
  std::vector<XpString> list;
  ASSERT_EQ(Mapper::FindCandidateFolders(CardPath("DCIM"), 100, &list), 0u);
  // The inner folder is found after the outer one.
  const std::vector<XpString> expected = {CardPath("DCIM/100ZXDCF/100ZXDCF"), CardPath("DCIM/100ZXDCF"),
                                          CardPath("DCIM/100ABCDE")};
  EXPECT_EQ(list, expected);
}

TEST_F(XdbRecordMapper, NoCandidateOrNoFolderIsPathNotFound) {
  std::vector<XpString> list;
  EXPECT_EQ(Mapper::FindCandidateFolders(CardPath("DCIM"), 100, &list), 0x8106u);
  MakeFolder("DCIM/101ABCDE");
  MakeFile("DCIM/100ABCDE");
  EXPECT_EQ(Mapper::FindCandidateFolders(CardPath("DCIM"), 100, &list), 0x8106u);
  EXPECT_TRUE(list.empty());
}

TEST_F(XdbRecordMapper, TheWalkFollowsNoLinkAndStopsSixteenLevelsDown) {
  MakeFile("DCIM/100ABCDE/DSC00001.JPG");
  std::filesystem::create_directory_symlink("..", Card() / "DCIM/100ABCDE/loop");
  std::string chain = "DCIM";
  for (int level = 1; level <= 20; ++level) {
    chain += "/L" + std::to_string(level);
    if (level == 15) {
      MakeFolder(chain + "/100LVL16");
    }
    if (level == 16) {
      MakeFolder(chain + "/100LVL17");
    }
  }
  MakeFolder(chain);

  Mapper mapper;
  mapper.SetRoot(CardRoot());
  XpString path;
  ASSERT_EQ(mapper.FindContentPath(100, 1, &path), 0u);
  EXPECT_EQ(path, CardPath("DCIM/100ABCDE/DSC00001.JPG"));

  std::vector<XpString> list;
  ASSERT_EQ(Mapper::FindCandidateFolders(CardPath("DCIM"), 100, &list), 0u);
  std::vector<std::u16string> leaves;
  for (const XpString& folder : list) {
    leaves.push_back(Text(folder).substr(Text(folder).rfind(u'/') + 1));
  }
  EXPECT_EQ(leaves, (std::vector<std::u16string>{u"100ABCDE", u"100LVL16"}));
}

TEST_F(XdbRecordMapper, TheBestFileOfAFolderFollowsThePreferenceRules) {
  struct Case {
    const char* name;
    std::vector<std::string> files;
    const char* best;  // "" when none
  };
  const Case cases[] = {
      {"DSC0 wins", {"ABCD0001.JPG", "DSC00001.JPG", "QMVS0001.JPG"}, "DSC00001.JPG"},
      {"QMVS over others", {"AAAA0001.JPG", "QMVS0001.JPG"}, "QMVS0001.JPG"},
      {"lowest other prefix", {"ABCD0001.JPG", "AAAA0001.JPG", "ZZZZ0001.JPG"}, "AAAA0001.JPG"},
      {"picture beats movie", {"MOV00001.MPG", "ZZZZ0001.JPG"}, "ZZZZ0001.JPG"},
      {"MOV0 over QMVM", {"QMVM0001.MPG", "MOV00001.MPG"}, "MOV00001.MPG"},
      {"QMVM over others", {"AAAA0001.MPG", "QMVM0001.MPG"}, "QMVM0001.MPG"},
      {"lowest movie prefix", {"BBBB0001.MPG", "AAAA0001.MPG"}, "AAAA0001.MPG"},
      {"case ignored", {"dsc00001.jpg"}, "dsc00001.jpg"},
      {"not candidates", {"DSC00002.JPG", "DSC0001.JPG", "DSC00001.JPEG", "DSC00001.TIF", "XDSC00001.JPG"}, ""},
      {"empty", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Card());
    MakeFolder("F");
    MakeFolder("F/AAA00001.JPG");
    for (const std::string& file : c.files) {
      MakeFile("F/" + file);
    }
    XpString found = u"left over";
    const XpResult result = Mapper::FindFileInFolder(CardPath("F"), 1, &found);
    if (*c.best == 0) {
      EXPECT_EQ(result, 0x8105u);
      continue;
    }
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(found, CardPath("F/" + std::string(c.best)));
  }
  XpString found;
  EXPECT_EQ(Mapper::FindFileInFolder(CardPath("missing"), 1, &found), 0x8105u);
}

}  // namespace
