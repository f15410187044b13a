#include <gtest/gtest.h>

#include "accessor/task/K2ExifTagHelper.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "imaging/tags/XpTiffTagIds.h"

namespace task_test {
namespace {

class K2ExifTagHelper : public testsupport::HermeticTest {};

using Helper = ::K2ExifTagHelper;

std::string DateOriginalOf(const XpSharedPtr<XpTiffTagManager>& tags) {
  if (!tags || tags->GetExifIFD() == nullptr) {
    return "no Exif IFD";
  }
  return tags->GetExifIFD()->GetAscii(kTagDateTimeOriginal).ToMultiByte().ToStdString();
}

TEST_F(K2ExifTagHelper, EnsuresDateTimeOriginal) {
  WriteJpeg(Root() / "dated.JPG", ExifTagsWithDate("2001:01:01 00:00:00"));
  WritePlainJpeg(Root() / "plain.JPG");
  struct Case {
    const char* name;
    const char* file;
    double date;  // below 0: not valid
    const char* expected;
    bool newLittleEndianTree;
  };
  const Case cases[] = {
      {"a source with its own date keeps it", "dated.JPG", 45000.5, "2001:01:01 00:00:00", false},
      {"a source without Exif gets the date", "plain.JPG", 45000.5, "2023:03:15 12:00:00", true},
      {"an invalid date adds nothing", "plain.JPG", -1.0, "no Exif IFD", false},
      {"an invalid date keeps the source's", "dated.JPG", -1.0, "2001:01:01 00:00:00", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    XpSharedPtr<XpTiffTagManager> tags = NewTagManager();
    const XpDateTime date = c.date < 0.0 ? XpDateTime() : XpDateTime(c.date);
    EXPECT_EQ(
        Helper().EnsureDateTimeOriginal(XpString::FromUtf8((Root() / c.file).string()), date, tags),
        kXpOk);
    EXPECT_EQ(DateOriginalOf(tags), c.expected);
    if (c.newLittleEndianTree) {
      ASSERT_TRUE(tags);
      EXPECT_FALSE(tags->IsBigEndian());
      EXPECT_EQ(tags->GetIFDCount(), 1);
      EXPECT_NE(tags->GetIFD(0)->FindTag(kXpTiffTagExifIFD, false), nullptr);
    }
  }
}

TEST_F(K2ExifTagHelper, CreatesTheExifIFDOnce) {
  XpSharedPtr<XpTiffTagManager> tags;
  XpTiffTagIFD* exif = GetOrCreateExifIFD(tags);
  ASSERT_NE(exif, nullptr);
  ASSERT_TRUE(tags);
  EXPECT_EQ(GetOrCreateExifIFD(tags), exif);
  EXPECT_TRUE(TagsHaveIFD0(tags.Get()));
  EXPECT_TRUE(TagsHaveExifIFD(tags.Get()));
  EXPECT_FALSE(TagsHaveIFD1(tags.Get()));
  EXPECT_FALSE(TagsHaveIFD0(nullptr));
}

TEST_F(K2ExifTagHelper, FileQueries) {
  WriteJpeg(Root() / "dated.JPG", ExifTagsWithDate("2001:01:01 00:00:00"));
  WriteBytes(Root() / "junk.JPG", "not a picture");
  EXPECT_TRUE(FileHasIFD0(XpString::FromUtf8((Root() / "dated.JPG").string())));
  EXPECT_TRUE(JpegHasTags(XpString::FromUtf8((Root() / "dated.JPG").string())));
  EXPECT_FALSE(FileHasIFD0(XpString::FromUtf8((Root() / "junk.JPG").string())));
  EXPECT_FALSE(JpegHasTags(XpString::FromUtf8((Root() / "junk.JPG").string())));
  EXPECT_FALSE(FileHasThumbnailIFD(XpString::FromUtf8((Root() / "junk.JPG").string())));
  WritePlainJpeg(Root() / "plain.JPG");
  EXPECT_FALSE(FileHasIFD0(XpString::FromUtf8((Root() / "plain.JPG").string())));
}

}  // namespace
}  // namespace task_test
