#include "imaging/io/XpImageIoFactory.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/io/XpImageIo.h"
#include "imaging/movie/XpImageIoMovie.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using XpImageIoFactory = testsupport::HermeticTest;

struct FamilyCase {
  std::vector<XpFormatKind> kinds;
  XpImageIoFamily family;
};

TEST_F(XpImageIoFactory, KindsMapToReaderFamiliesInOrder) {
  const FamilyCase cases[] = {
      {{0x10000100, 0x10000101, 0x10000105, 0x10000102}, XpImageIoFamily::kJpeg},
      // The JPEG test comes first: a movie kind with 0x100 in its second byte is JPEG.
      {{0x20000100}, XpImageIoFamily::kJpeg},
      {{0x20001100, 0x20021102, 0x20031100, 0x20000301, 0x20001200, 0x20001301},
       XpImageIoFamily::kMovie},
      {{0x10000201}, XpImageIoFamily::kTiff},
      {{0x10010401, 0x10010402, 0x10030400, 0x10030401, 0x10030402}, XpImageIoFamily::kZkp},
      {{0x10000301}, XpImageIoFamily::kGif},
      {{0x10020401, 0x01000000, 0x80000002, 0x80003101, 0x80000001, 0x10010400, 0x10010403,
        0x10030403, 0x10000202, 0x10000302, 0},
       XpImageIoFamily::kNone},
  };
  for (const FamilyCase& entry : cases) {
    for (const XpFormatKind kind : entry.kinds) {
      EXPECT_EQ(XpImageIoFamilyForKind(kind), entry.family) << std::hex << kind;
    }
  }
}

TEST_F(XpImageIoFactory, MovieKindsGetAMovieReaderWithoutFolder) {
  for (const XpFormatKind kind : {0x20031100u, 0x20001100u, 0x20000301u}) {
    XpSharedPtr<XpImageIo> reader = XpImageIo::CreateForKind(kind);
    auto* movie = dynamic_cast<XpImageIoMovie*>(reader.Get());
    ASSERT_NE(movie, nullptr) << std::hex << kind;
    EXPECT_TRUE(movie->GetFolder().IsEmpty());
    EXPECT_EQ(movie->GetServerPid(), 0);
  }
  XpSharedPtr<XpImageIo> byPath = XpImageIo::CreateForPath(u"/videos/clip.MP4");
  EXPECT_NE(dynamic_cast<XpImageIoMovie*>(byPath.Get()), nullptr);
}

TEST_F(XpImageIoFactory, KindsWithoutReaderGiveAnEmptyPointer) {
  for (const XpFormatKind kind : {0x10020401u, 0x01000000u, 0x80000002u, 0x80003101u}) {
    EXPECT_FALSE(XpImageIo::CreateForKind(kind)) << std::hex << kind;
  }
  EXPECT_FALSE(XpImageIo::CreateForPath(u"a.mrw"));
  EXPECT_FALSE(XpImageIo::CreateForPath(u"notes.txt"));
  EXPECT_FALSE(XpImageIo::CreateForPath(u""));
}

TEST_F(XpImageIoFactory, ReadTagsForPathNeedsAReaderAndATagBlock) {
  EXPECT_FALSE(XpImageIoReadTagsForPath(u"a.mrw"));
  const std::filesystem::path movie = Root() / "clip.mp4";
  std::ofstream(movie) << "not a movie";
  EXPECT_FALSE(XpImageIoReadTagsForPath(PathText(movie)));
}

}  // namespace
