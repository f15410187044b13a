#include "imaging/format/XpFormatChecker.h"

#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/format/XpFormatCheckerHooks.h"
#include "imaging/tests/format/FormatTestSupport.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpFile.h"

namespace {

using namespace formattest;

class FormatCheckerTest : public FormatTest {};
using XpFormatChecker = FormatCheckerTest;

struct KindCase {
  std::vector<const char16_t*> paths;
  XpFormatKind kind;
};

TEST_F(XpFormatChecker, KindFromExtensionFollowsTheNameTable) {
  const KindCase cases[] = {
      {{u"X.JPG", u"a.jpe", u"/p/a.JpEg"}, 0x10000100},
      {{u"a.thm"}, 0x10000105},
      {{u"a.ZK2"}, 0x10010402},
      {{u"a.zkp"}, 0x10010401},
      {{u"a.zkw"}, 0x10030400},
      {{u"a.mrw"}, 0x10020401},
      {{u"a.tif", u"a.TIFF"}, 0x10000201},
      {{u"a.gif"}, 0x10000301},
      {{u"a.mpeg", u"a.mpg"}, 0x20001100},
      {{u"a.M2TS", u"a.m2p", u"a.m2t", u"a.mts"}, 0x20021100},
      {{u"a.mmv"}, 0x20021103},
      {{u"a.mp4"}, 0x20031100},
      {{u"a.avi"}, 0x20001200},
      {{u"a.wmv"}, 0x20001301},
      {{u"a.rodd", u"a.modd"}, 0x80000002},
      {{u"a.moff"}, 0x80000003},
      {{u"a.vmlt"}, 0x80003101},
      {{u"a.vmlf"}, 0x80003102},
      {{u"a.tar.gz", u"noext", u"/d.jpg/x", u"a.jpg.bak", u"a.jpgx"}, 0x01000000},
      {{u""}, 0x80000001},
  };
  for (const KindCase& entry : cases) {
    for (const char16_t* path : entry.paths) {
      SCOPED_TRACE(XpString(path).ToMultiByte().ToStdString());
      EXPECT_EQ(::XpFormatChecker::KindFromExtension(path), entry.kind);
      if (*path != u'\0') {
        EXPECT_EQ(::XpFormatChecker::KindFromName(path), entry.kind);
      }
    }
  }
}

TEST_F(XpFormatChecker, AnExistingFolderIsADirectoryWhateverItsName) {
  std::filesystem::create_directory(Root() / "dir.jpg");
  EXPECT_EQ(::XpFormatChecker::KindFromExtension(PathIn("dir.jpg")), 0x80000001u);
  // A file of that name is judged by its extension.
  EXPECT_EQ(::XpFormatChecker::KindFromExtension(PathIn("other.jpg")), 0x10000100u);
  // By the name alone the folder is a picture, and an empty path has no kind.
  EXPECT_EQ(::XpFormatChecker::KindFromName(PathIn("dir.jpg")), 0x10000100u);
  EXPECT_EQ(::XpFormatChecker::KindFromName(u""), 0x01000000u);
}

TEST_F(XpFormatChecker, IsJpegExtensionOnlyForTheFourJpegNames) {
  for (const char16_t* path : {u"a.jpg", u"a.JPEG", u"/x/a.jpe", u"a.Thm"}) {
    EXPECT_TRUE(::XpFormatChecker::IsJpegExtension(path))
        << XpString(path).ToMultiByte().ToStdString();
  }
  for (const char16_t* path : {u"a.tif", u"a.jp", u"ajpg", u"", u"/d.jpg/x", u"a.jpg.gz"}) {
    EXPECT_FALSE(::XpFormatChecker::IsJpegExtension(path))
        << XpString(path).ToMultiByte().ToStdString();
  }
}

// The files of the content table, each made by the writer or a builder.
struct ContentCase {
  std::string name;
  Bytes bytes;
  XpFormatKind kind;
};

std::vector<ContentCase> ContainerCases() {
  MjpgAvi xvid;
  xvid.handler = "XVID";
  xvid.strn = std::string("KAVO DSC MOVIE\0", 15);
  MjpgAvi named;
  named.strn = std::string("KAVO DSC MOVIE\0", 15);
  MjpgAvi lowerNamed = named;
  lowerNamed.handler = "mjpg";
  MjpgAvi tagged;
  tagged.isft = "KAVO DSC MJPEG ";
  MjpgAvi otherName;
  otherName.strn = std::string("KAVO DSC MOVIE!", 15);
  MjpgAvi plain;
  const Bytes namedBytes = named.Build();
  const Bytes mpeg2 = Join({PackHeader(), PesPacket(0xE0, Bytes(20, 0))});
  Bytes mpeg1 = mpeg2;
  mpeg1[4] = 0x21;
  const Bytes tshv = Join({NullPacket(), PmtPacket(5, "TSHV\x01\x02\x03\x04\x05\x06\x07"),
                           NullPacket(), NullPacket(), NullPacket(), NullPacket()});
  const Bytes hdmv = Timed({NullPacket(), NullPacket(), PmtPacket(5, "HDMV"), NullPacket(),
                            NullPacket(), NullPacket()});
  return {
      {"a.mpg", mpeg2, 0x20021101},
      {"a.MPEG", mpeg1, 0x20011101},
      {"b.mpg", Join({Bytes{0x00, 0x00, 0x01, 0xB3}, Bytes(20, 0)}), 0x01000000},
      {"c.mpg", Bytes{0x00, 0x00, 0x01, 0xBA}, 0x01000000},
      {"a.m2p", Text("anything"), 0x20021101},
      {"a.mmv", Text("anything"), 0x20021103},
      {"a.wmv", Text("anything"), 0x20001301},
      {"a.m2ts", hdmv, 0x20021104},
      {"a.mts", tshv, 0x20021102},
      {"a.m2t", Join({tshv, tshv}), 0x20021102},
      {"b.mts", Timed({NullPacket(), PmtPacket(5, "TSHV\x01\x02\x03\x04\x05\x06\x07"),
                       NullPacket(), NullPacket(), NullPacket()}),
       0x20021102},
      {"c.mts", Join({NullPacket(), PmtPacket(5, "TSHV"), NullPacket(), NullPacket(),
                      NullPacket(), NullPacket()}),
       0x01000000},
      {"d.mts", Bytes(2000, 0x47 + 1), 0x01000000},
      {"a.avi", xvid.Build(), 0x01000000},
      {"b.avi", DvAvi({0x62, 0xFF, 0x25, 0x12, 0x08}, {0x63, 0xFF, 0x30, 0x45, 0x23}),
       0x20001202},
      {"c.avi", named.Build(), 0x20001203},
      {"d.avi", lowerNamed.Build(), 0x20001203},
      {"e.avi", tagged.Build(), 0x20001203},
      {"f.avi", otherName.Build(), 0x01000000},
      {"g.avi", plain.Build(), 0x01000000},
      {"h.avi", Bytes(namedBytes.begin(), namedBytes.begin() + 999), 0x01000000},
      {"a.mp4", Join({Bytes{0, 0, 0, 20}, Text("ftypisom"), Bytes(8, 0)}), 0x20031101},
      {"b.mp4", Join({Bytes{0, 0, 0, 20}, Text("ftypqt  "), Bytes(8, 0)}), 0x20031102},
      {"c.mp4", Text("not a movie at all"), 0x01000000},
      {"a.gif", Text("GIF89a"), 0x01000000},
      {"a.zkw", Text("raw"), 0x10030402},
      {"a.thm", Text("x"), 0x10000105},
      {"a.tif", Text("x"), 0x10000201},
      {"a.zk2", Text("x"), 0x10010402},
      {"a.zkp", Text("x"), 0x10010401},
      {"a.mrw", Text("x"), 0x10020401},
      {"a.modd", Text("x"), 0x80000002},
      {"a.vmlf", Text("x"), 0x80003102},
      {"a.txt", Text("x"), 0x01000000},
      {"noextension", Text("x"), 0x01000000},
  };
}

TEST_F(XpFormatChecker, DetectFormatKindFollowsTheContentTable) {
  for (const ContentCase& entry : ContainerCases()) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(::XpFormatChecker::DetectFormatKind(WriteFile(entry.name, entry.bytes)), entry.kind);
  }
}

TEST_F(XpFormatChecker, OnlyAJpgWithTheMakerNoteMarkIsTheMarkedKind) {
  const XpString written = WriteJpeg("a.JPG", ExifTags("2009:03:03 10:20:30", false));
  EXPECT_EQ(::XpFormatChecker::DetectFormatKind(written), 0x10000101u);
  const XpString marked = WriteJpeg("m.jpg", ExifTags("", true));
  EXPECT_EQ(::XpFormatChecker::DetectFormatKind(marked), 0x10000102u);
  // The same bytes under the other JPEG names.
  const Bytes bytes = ReadBytes(Root() / "m.jpg");
  for (const char* name : {"m.jpeg", "m.jpe", "m.JPEG"}) {
    EXPECT_EQ(::XpFormatChecker::DetectFormatKind(WriteFile(name, bytes)), 0x10000101u) << name;
  }
  EXPECT_EQ(::XpFormatChecker::DetectFormatKind(WritePlainJpeg("p.jpg")), 0x10000101u);
  EXPECT_EQ(::XpFormatChecker::DetectFormatKind(WriteFile("t.jpg", Text("not a jpeg"))),
            0x10000101u);
  EXPECT_EQ(::XpFormatChecker::DetectFormatKind(PathIn("missing.jpg")), 0x10000101u);
}

TEST_F(XpFormatChecker, AFolderIsADirectoryByContentToo) {
  std::filesystem::create_directory(Root() / "x.jpg");
  EXPECT_EQ(::XpFormatChecker::DetectFormatKind(PathIn("x.jpg")), 0x80000001u);
  EXPECT_EQ(::XpFormatChecker::DetectFormatKind(u""), 0x80000001u);
}

XpFormatKind StillGif(const XpString&) { return 0x10000301; }
bool EarlyModel(const XpString&) { return true; }

TEST_F(XpFormatChecker, GifAndZkwKindsComeFromTheHooks) {
  const XpString gif = WriteFile("a.gif", Text("GIF89a"));
  const XpString zkw = WriteFile("a.zkw", Text("raw"));
  XpFormatCheckerHooks::Table table{};
  table.gifKindOfPath = StillGif;
  table.isZkwEarlyModelFile = EarlyModel;
  {
    ScopedHooks hooks(table);
    EXPECT_EQ(::XpFormatChecker::DetectFormatKind(gif), 0x10000301u);
    EXPECT_EQ(::XpFormatChecker::DetectFormatKind(zkw), 0x10030401u);
  }
  EXPECT_EQ(::XpFormatChecker::DetectFormatKind(gif), 0x01000000u);
  EXPECT_EQ(::XpFormatChecker::DetectFormatKind(zkw), 0x10030402u);
}

TEST_F(XpFormatChecker, GetFileTimesChecksItsPathAndFillsTheOutputsAsked) {
  XpDateTime modified;
  EXPECT_EQ(::XpFormatChecker::GetFileTimes(nullptr, nullptr, &modified, nullptr), 0x8102);
  const XpString missing = PathIn("missing.jpg");
  EXPECT_EQ(::XpFormatChecker::GetFileTimes(missing.CStr(), nullptr, &modified, nullptr),
            0x8105);
  EXPECT_FALSE(modified.IsValid());
  const XpString path = WriteFile("a.jpg", Text("x"));
  const XpDateTime set(2011, 2, 3, 4, 5, 6);
  ASSERT_EQ(XpFile(path).SetTimes(nullptr, &set, &set), kXpOk);
  XpDateTime created;
  XpDateTime accessed;
  EXPECT_EQ(::XpFormatChecker::GetFileTimes(path.CStr(), &created, &modified, &accessed), kXpOk);
  EXPECT_EQ(DateText(modified), "2011-02-03 04:05:06");
  EXPECT_EQ(DateText(accessed), "2011-02-03 04:05:06");
  EXPECT_TRUE(created.IsValid());
  EXPECT_EQ(::XpFormatChecker::GetFileTimes(path.CStr(), nullptr, nullptr, nullptr), kXpOk);
}

TEST_F(XpFormatChecker, IsListableEntryRefusesNullAndTheDotEntries) {
  EXPECT_FALSE(::XpFormatChecker::IsListableEntry(nullptr));
  const XpString file = WriteFile("a.jpg", Text("x"));
  XpFile fileEntry(file);
  EXPECT_TRUE(::XpFormatChecker::IsListableEntry(&fileEntry));
  std::filesystem::create_directory(Root() / "sub");
  XpDir folder(PathIn("sub"));
  EXPECT_TRUE(::XpFormatChecker::IsListableEntry(&folder));
  XpDir dot(PathIn("sub") + u"/.");
  XpDir dotDot(PathIn("sub") + u"/..");
  EXPECT_FALSE(::XpFormatChecker::IsListableEntry(&dot));
  EXPECT_FALSE(::XpFormatChecker::IsListableEntry(&dotDot));
}

// A plug-in set that supports and analyses only MPEG-1 program streams.
bool OnlyMpeg1(XpMoviePluginQuery, XpFormatKind kind, const XpString&) {
  return kind == 0x20011101;
}

// Analyses everything for one folder only.
bool OnlyFolderA(XpMoviePluginQuery query, XpFormatKind, const XpString& folder) {
  return query == XpMoviePluginQuery::kAnalyzable && folder == u"/plugins/a";
}

TEST_F(XpFormatChecker, SupportedKindsAreTheStillKindsAndThePluginsMovieKinds) {
  std::vector<XpFormatKind> list = {0x12345678};
  ::XpFormatChecker::GetSupportedKinds(list, u"/plugins");
  const std::vector<XpFormatKind> still = {0x12345678, 0x10000101, 0x10000102, 0x10000103,
                                           0x10000104, 0x10000201, 0x10010401, 0x10010402,
                                           0x10030401, 0x10030402, 0x10000301};
  EXPECT_EQ(list, still);

  XpFormatCheckerHooks::Table table{};
  table.moviePluginAnswers = OnlyMpeg1;
  ScopedHooks hooks(table);
  list = {0x12345678};
  ::XpFormatChecker::GetSupportedKinds(list, u"/plugins");
  std::vector<XpFormatKind> expected = still;
  expected.push_back(0x20011101);
  EXPECT_EQ(list, expected);
}

TEST_F(XpFormatChecker, FilterSupportedKindsDropsTheKindsNeverShown) {
  XpFormatCheckerHooks::Table table{};
  table.moviePluginAnswers = [](XpMoviePluginQuery query, XpFormatKind, const XpString&) {
    return query == XpMoviePluginQuery::kSupported;
  };
  ScopedHooks hooks(table);
  const std::vector<XpFormatKind> kinds = {0x20001301, 0x10020401, 0x10000105, 0x20001201,
                                           0x20031102, 0x10000100, 0x20000301, 0x10000101,
                                           0x20021103, 0x01000000, 0x20001203};
  std::vector<XpFormatKind> list;
  ::XpFormatChecker::FilterSupportedKinds(kinds, list, u"/plugins");
  EXPECT_EQ(list, (std::vector<XpFormatKind>{0x20031102, 0x20000301, 0x10000101, 0x20021103,
                                             0x20001203}));
}

TEST_F(XpFormatChecker, AnalyzableKindsAreComputedOnceAndAppendedOnEveryCall) {
  ::XpFormatChecker::ResetAnalyzableKindsForTest();
  std::vector<XpFormatKind> list;
  {
    XpFormatCheckerHooks::Table table{};
    table.moviePluginAnswers = OnlyFolderA;
    ScopedHooks hooks(table);
    list = {7};
    ::XpFormatChecker::GetAnalyzableMovieKinds(list, u"/plugins/a");
    EXPECT_EQ(list, (std::vector<XpFormatKind>{7, 0x20011101, 0x20021101, 0x20021102, 0x20021103,
                                               0x20021104, 0x20031101, 0x20031102, 0x20001201,
                                               0x20001202, 0x20001203, 0x20001301, 0x20000301}));
    // The first call's folder wins.
    list.clear();
    ::XpFormatChecker::GetAnalyzableMovieKinds(list, u"/plugins/b");
    EXPECT_EQ(list.size(), 12u);
  }
  // Still cached once the plug-ins answer no more.
  list.clear();
  ::XpFormatChecker::GetAnalyzableMovieKinds(list, u"/plugins/a");
  EXPECT_EQ(list.size(), 12u);
  ::XpFormatChecker::ResetAnalyzableKindsForTest();
  list.clear();
  ::XpFormatChecker::GetAnalyzableMovieKinds(list, u"/plugins/a");
  EXPECT_TRUE(list.empty());
}

}  // namespace
