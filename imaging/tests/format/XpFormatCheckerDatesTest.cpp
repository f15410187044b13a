#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/format/XpFormatChecker.h"
#include "imaging/tests/format/FormatTestSupport.h"
#include "outside/parsemp4/tests/Mp4BoxBuilder.h"
#include "platform/fs/XpFile.h"

namespace {

using namespace formattest;

class FormatCheckerDatesTest : public FormatTest {
 protected:
  // The shooting date, or "none" (the date must then be untouched).
  std::string ShootingDate(const XpString& path) {
    const XpDateTime untouched(1999, 1, 2, 3, 4, 5);
    XpDateTime date = untouched;
    if (!XpFormatChecker::GetShootingDate(path, date)) {
      return date == untouched ? "none" : "touched";
    }
    return DateText(date);
  }
};
using XpFormatCheckerDates = FormatCheckerDatesTest;

constexpr uint64_t kMp4Creation = 0xC85639A7;
const std::string kTshvBody("TSHV\x01\x02\x03\x04\x05\x06\x07", 11);

// The 26 bytes of an IDIT chunk: text padded to 24, newline and NUL.
std::string Idit(std::string text) {
  text.resize(24, ' ');
  return text + std::string("\n\0", 2);
}

Bytes IditAvi(const std::string& idit) {
  MjpgAvi avi;
  avi.strn = std::string("KAVO DSC MOVIE\0", 15);
  avi.idit = idit;
  return avi.Build();
}

Bytes Mp4(uint8_t version) {
  const Bytes movie = Mp4BoxBuilder::Box("moov", Mp4BoxBuilder::Mvhd(version, kMp4Creation));
  return Mp4BoxBuilder::Join({Mp4BoxBuilder::Ftyp("isom"), movie});
}

struct DateCase {
  std::string name;
  Bytes bytes;
  std::string date;
};

TEST_F(XpFormatCheckerDates, EachContainerGivesItsShootingDate) {
  const DateCase cases[] = {
      {"a.avi", IditAvi(Idit("Tue mar 03 10:20:30 2009")), "2009-03-03 10:20:30"},
      {"b.avi", IditAvi(Idit("Wed DEC 31 23:59:59 1998")), "1998-12-31 23:59:59"},
      {"c.avi", DvAvi({0x62, 0xFF, 0x25, 0x12, 0x08}, {0x63, 0xFF, 0x30, 0x45, 0x23}),
       "2008-12-25 23:45:30"},
      {"d.avi", DvAvi({0x62, 0xFF, 0x01, 0x01, 0x97}, {0x63, 0xFF, 0x00, 0x00, 0x00}),
       "1997-01-01 00:00:00"},
      {"a.m2p", Join({PackHeader(), PesPacket(0xE0, Bytes(30, 0)),
                      AriPacket({0x1F, 0x69, 0xC8, 0xD3, 0x8F})}),
       "2010-07-04 13:14:15"},
      {"a.mpg", Join({PackHeader(), AriPacket({0x1F, 0x69, 0xC8, 0xD3, 0x8F})}),
       "2010-07-04 13:14:15"},
      {"a.mts", Join({PmtPacket(5, kTshvBody), NullPacket(),
                      TsDatePacket({0x04, 0x07, 0x10, 0x00, 0x15, 0x14, 0x13}), NullPacket(),
                      NullPacket(), NullPacket()}),
       "2010-07-04 13:14:15"},
      {"b.mts", Join({PmtPacket(5, kTshvBody), NullPacket(),
                      TsDatePacket({0x04, 0x07, 0x10, 0x00, 0x15, 0x14, 0x13}, 20), NullPacket(),
                      NullPacket(), NullPacket()}),
       "2010-07-04 13:14:15"},
      {"a.mp4", Mp4(0), "2010-07-04 13:14:15"},
      {"b.mp4", Mp4(1), "2010-07-04 13:14:15"},
  };
  for (const DateCase& entry : cases) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(ShootingDate(WriteFile(entry.name, entry.bytes)), entry.date);
  }
}

TEST_F(XpFormatCheckerDates, TheJpegDateIsDateTimeOriginal) {
  EXPECT_EQ(ShootingDate(WriteJpeg("a.jpg", ExifTags("2009:03:03 10:20:30", false))),
            "2009-03-03 10:20:30");
  EXPECT_EQ(ShootingDate(WriteJpeg("b.jpg", ExifTags("2009:03:03 10:20:30", true))),
            "2009-03-03 10:20:30");
  EXPECT_EQ(ShootingDate(WritePlainJpeg("c.jpg")), "none");
  EXPECT_EQ(ShootingDate(WriteJpeg("d.jpg", ExifTags("not a date", false))), "none");
}

TEST_F(XpFormatCheckerDates, MovieKindsWithoutADateGiveNone) {
  const Bytes hdmv = Timed({NullPacket(), PmtPacket(5, "HDMV"),
                            TsDatePacket({0x04, 0x07, 0x10, 0x00, 0x15, 0x14, 0x13}), NullPacket(),
                            NullPacket(), NullPacket()});
  const Bytes ari = Join({PackHeader(), AriPacket({0x1F, 0x69, 0xC8, 0xD3, 0x8F})});
  Bytes mpeg1 = ari;
  mpeg1[4] = 0x21;
  const DateCase cases[] = {
      {"a.m2ts", hdmv, "none"},
      {"a.mmv", ari, "none"},
      {"b.mpg", mpeg1, "none"},
      {"a.gif", Text("GIF89a"), "none"},
      {"a.wmv", Text("x"), "none"},
      {"a.avi", IditAvi(Idit("Tuesday Mar 3 1:2:3 2009")), "none"},
      {"b.avi", IditAvi(Idit("Tue March 3 1:2:3 2009")), "none"},
      {"c.avi", IditAvi(Idit("Tue Xyz 03 10:20:30 2009")), "none"},
      {"d.avi", IditAvi(std::string("Tue Mar 03 10:20:30 2009 \0", 26)), "none"},
      {"e.avi", IditAvi(Idit("Tue Feb 30 10:20:30 2009")), "none"},
      {"a.m2p", Join({PackHeader(), AriPacket({0x1F, 0x68, 0x08, 0xD3, 0x8F})}), "none"},
      {"b.mts", Join({PmtPacket(5, kTshvBody), NullPacket(), NullPacket(), NullPacket(),
                      NullPacket(), NullPacket()}),
       "none"},
      {"c.mp4", Mp4BoxBuilder::Join({Mp4BoxBuilder::Ftyp("isom"),
                                     Mp4BoxBuilder::Box("moov", Mp4BoxBuilder::Mvhd(0, 0))}),
       "none"},
  };
  for (const DateCase& entry : cases) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(ShootingDate(WriteFile(entry.name, entry.bytes)), entry.date);
  }
  EXPECT_EQ(ShootingDate(PathIn("missing.avi")), "none");
}

TEST_F(XpFormatCheckerDates, TheMp4DateIsLocalTime) {
  SetEnv("TZ", "JST-9");
  ::tzset();
  EXPECT_EQ(ShootingDate(WriteFile("a.mp4", Mp4(1))), "2010-07-04 22:14:15");
}

TEST_F(XpFormatCheckerDates, TheFileDateTakesDateTimeOnlyOneSecondFromTheFileTime) {
  const XpString path = WriteJpeg("a.jpg", ExifTags("2009:03:03 10:20:30", false));
  XpDateTime tagged;
  ASSERT_TRUE(XpFormatChecker::ReadTagDate(path, 0x10000101, 306, tagged));
  struct Case {
    int32_t fileBehindTag;
    bool takesTag;
  };
  for (const Case entry : {Case{1, true}, Case{-1, true}, Case{2, false}, Case{-2, false},
                           Case{0, false}}) {
    SCOPED_TRACE(entry.fileBehindTag);
    XpDateTime fileTime = tagged;
    ASSERT_TRUE(fileTime.SubtractTime(0, 0, entry.fileBehindTag));
    ASSERT_EQ(XpFile(path).SetTimes(nullptr, &fileTime, nullptr), kXpOk);
    XpDateTime date;
    EXPECT_TRUE(XpFormatChecker::GetFileDate(path, date));
    EXPECT_EQ(DateText(date), DateText(entry.takesTag ? tagged : fileTime));
  }
}

TEST_F(XpFormatCheckerDates, FilesWithoutTagsAreDatedByTheirFileTime) {
  const XpDateTime fileTime(2012, 5, 6, 7, 8, 9);
  for (const char* name : {"a.gif", "a.avi", "a.tif", "b.jpg"}) {
    const XpString path = WriteFile(name, Text("x"));
    ASSERT_EQ(XpFile(path).SetTimes(nullptr, &fileTime, nullptr), kXpOk);
    XpDateTime date;
    EXPECT_TRUE(XpFormatChecker::GetFileDate(path, date));
    EXPECT_EQ(DateText(date), "2012-05-06 07:08:09") << name;
  }
  XpDateTime untouched(2000, 1, 1, 0, 0, 0);
  EXPECT_TRUE(XpFormatChecker::GetFileDate(PathIn("missing.jpg"), untouched));
  EXPECT_EQ(DateText(untouched), "2000-01-01 00:00:00");
}

// The JPEG reader for the TIFF kind, as its reader will be.
XpSharedPtr<XpImageIo> JpegForEveryKind(XpFormatKind) {
  return XpFormatCheckerHooks::Defaults().createTagReader(0x10000101);
}

TEST_F(XpFormatCheckerDates, TagDatesNeedAReaderForTheKind) {
  const XpString path = WriteJpeg("a.tif", ExifTags("2009:03:03 10:20:30", false));
  EXPECT_EQ(ShootingDate(path), "none");
  XpFormatCheckerHooks::Table table{};
  table.createTagReader = JpegForEveryKind;
  ScopedHooks hooks(table);
  EXPECT_EQ(ShootingDate(path), "2009-03-03 10:20:30");
  XpDateTime date;
  EXPECT_FALSE(XpFormatChecker::ReadTagDate(path, 0x10000201, 40000, date));
  EXPECT_FALSE(date.IsValid());
}

}  // namespace
