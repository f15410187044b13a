#include <string>

#include <gtest/gtest.h>

#include "imaging/format/MP4SDKWrapperLoader.h"
#include "imaging/tests/format/FormatTestSupport.h"
#include "outside/parsemp4/tests/Mp4BoxBuilder.h"

namespace {

using namespace formattest;

class Mp4LoaderTest : public FormatTest {
 protected:
  XpString WriteMovie(const std::string& name, const std::string& brand) {
    const Bytes movie = Mp4BoxBuilder::Box("moov", Mp4BoxBuilder::Mvhd(0, kCreation));
    return WriteFile(name, Mp4BoxBuilder::Join({Mp4BoxBuilder::Ftyp(brand), movie}));
  }

  static constexpr uint64_t kCreation = 0xC85639A7;
  const std::string builtLibrary_ = KAVO_PARSEMP4_LIBRARY;
};
using Mp4Loader = Mp4LoaderTest;

TEST_F(Mp4Loader, TheBuiltLibraryClassifiesAndDates) {
  const GetMp4Type type(builtLibrary_);
  const GetOriginalDateTimeFromMP4 dateOf(builtLibrary_);
  ASSERT_TRUE(type.IsLoaded());
  EXPECT_EQ(type(WriteMovie("a.mp4", "isom")), 0x20031101u);
  EXPECT_EQ(type(WriteMovie("b.mp4", "qt  ")), 0x20031102u);
  EXPECT_EQ(type(WriteFile("c.mp4", Text("text"))), 0x01000000u);
  XpDateTime date;
  EXPECT_TRUE(dateOf(PathIn("a.mp4"), date));
  EXPECT_EQ(DateText(date), "2010-07-04 13:14:15");
}

TEST_F(Mp4Loader, NamesThatAreNotUtf8ReachTheLibrary) {
  const GetMp4Type type(builtLibrary_);
  // A byte that is not UTF-8 survives as a surrogate escape.
  const std::string name = "movie\xFF.mp4";
  const XpString path = WriteMovie(name, "qt  ");
  EXPECT_EQ(type(path), 0x20031102u);
}

TEST_F(Mp4Loader, AMissingLibraryGivesUnknownAndNoDate) {
  const std::string missing = (Root() / "libParseMP4.so").string();
  const GetMp4Type type(missing);
  const GetOriginalDateTimeFromMP4 dateOf(missing);
  EXPECT_FALSE(type.IsLoaded());
  const XpString path = WriteMovie("a.mp4", "isom");
  EXPECT_EQ(type(path), 0x01000000u);
  XpDateTime date(2001, 2, 3, 4, 5, 6);
  EXPECT_FALSE(dateOf(path, date));
  EXPECT_EQ(DateText(date), "2001-02-03 04:05:06");
}

TEST_F(Mp4Loader, ALibraryWithoutTheDateExportStillClassifies) {
  const std::string typeOnly = KAVO_MP4_TYPE_ONLY_LIBRARY;
  const GetMp4Type type(typeOnly);
  const GetOriginalDateTimeFromMP4 dateOf(typeOnly);
  EXPECT_TRUE(dateOf.IsLoaded());
  const XpString path = WriteMovie("a.mp4", "isom");
  EXPECT_EQ(type(path), 0x20031102u);
  XpDateTime date;
  EXPECT_FALSE(dateOf(path, date));
  EXPECT_FALSE(date.IsValid());
}

TEST_F(Mp4Loader, TheProcessWideLoaderFindsTheLibraryBesideTheProgram) {
  EXPECT_TRUE(GetMp4Type::Instance().IsLoaded());
  EXPECT_EQ(&GetMp4Type::Instance(), &GetMp4Type::Instance());
  EXPECT_EQ(GetMp4Type::Instance()(WriteMovie("a.mp4", "qt  ")), 0x20031102u);
  XpDateTime date;
  EXPECT_TRUE(GetOriginalDateTimeFromMP4::Instance()(PathIn("a.mp4"), date));
  EXPECT_EQ(DateText(date), "2010-07-04 13:14:15");
}

}  // namespace
