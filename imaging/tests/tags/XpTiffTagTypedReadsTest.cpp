#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/icc/IccProfileBuilder.h"
#include "imaging/tests/tags/TagTreeSupport.h"
#include "imaging/tests/tags/TiffBlockBuilder.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using XpTiffTagTypedReads = testsupport::HermeticTest;
using Entry = TiffBlockBuilder::EntrySpec;

constexpr uint16_t kByte = 1;
constexpr uint16_t kAscii = 2;
constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint16_t kRational = 5;
constexpr uint16_t kUndefined = 7;
constexpr uint16_t kSLong = 9;
constexpr uint16_t kSRational = 10;
constexpr uint16_t kFloat = 11;
constexpr uint16_t kDouble = 12;

constexpr uint16_t kExposureTime = 33434;
constexpr uint16_t kFNumber = 33437;
constexpr uint16_t kShutterSpeedValue = 37377;
constexpr uint16_t kApertureValue = 37378;
constexpr uint16_t kColorSpace = 40961;
constexpr uint16_t kImageUniqueID = 42016;
constexpr uint16_t kInterColorProfile = 34675;

constexpr std::string_view kMarker("KAVO DSC \0\0\0", 12);

// A little-endian block: IFD 0 at 8 with its entries and, unless NoExif,
// 34665 pointing at the Exif IFD at 200; values and further IFDs from 400
// on, each at the offset that Put returns.
class ExifBlock {
 public:
  ExifBlock& Ifd0(Entry entry) {
    ifd0_.push_back(entry);
    return *this;
  }
  ExifBlock& Exif(Entry entry) {
    exif_.push_back(entry);
    return *this;
  }
  ExifBlock& NoExif() {
    withExif_ = false;
    return *this;
  }

  uint32_t Put(std::string_view bytes) {
    const uint32_t offset = next_;
    block_.At(offset).Bytes(bytes);
    if (bytes.size() % 2 != 0) {
      block_.Bytes(std::string_view("\0", 1));
    }
    next_ = block_.Position();
    return offset;
  }
  uint32_t Put(const std::vector<uint8_t>& bytes) {
    return Put(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  uint32_t PutRational(uint32_t numerator, uint32_t denominator) {
    const uint32_t offset = next_;
    block_.At(offset).U32(numerator).U32(denominator);
    next_ += 8;
    return offset;
  }
  // An IFD, behind the maker-note marker when marked; *size receives its
  // bytes with the marker.
  uint32_t PutIfd(const std::vector<Entry>& entries, bool marked = false,
                  uint32_t* size = nullptr) {
    const uint32_t offset = next_;
    block_.At(offset);
    if (marked) {
      block_.Bytes(kMarker);
    }
    block_.Ifd(entries, 0);
    next_ = block_.Position();
    if (size != nullptr) {
      *size = next_ - offset;
    }
    return offset;
  }
  // Exif 37500 as UNDEFINED bytes of an IFD holding entries.
  ExifBlock& MakerNote(const std::vector<Entry>& entries, bool marked = true) {
    uint32_t size = 0;
    const uint32_t offset = PutIfd(entries, marked, &size);
    return Exif({37500, kUndefined, size, offset});
  }

  std::unique_ptr<XpTiffTagManager> Parsed(
      XpTiffMakerNoteMode mode = XpTiffMakerNoteMode::MakerNoteWhenMarked) const {
    TiffBlockBuilder block = block_;
    std::vector<Entry> ifd0 = ifd0_;
    if (withExif_) {
      ifd0.push_back({34665, kLong, 1, kExifAt});
    }
    block.At(0).Header(8).Ifd(ifd0, 0);
    block.At(kExifAt).Ifd(exif_, 0);
    bool parsed = false;
    auto tags = ParsedBytes(block.Data(), mode, &parsed);
    EXPECT_TRUE(parsed);
    return tags;
  }

 private:
  static constexpr uint32_t kExifAt = 200;
  static constexpr uint32_t kValuesAt = 400;

  TiffBlockBuilder block_;
  uint32_t next_ = kValuesAt;
  std::vector<Entry> ifd0_;
  std::vector<Entry> exif_;
  bool withExif_ = true;
};

// The field of an entry whose value is the four bytes given.
uint32_t Inline(uint8_t b0, uint8_t b1 = 0, uint8_t b2 = 0, uint8_t b3 = 0) {
  return b0 | (b1 << 8) | (b2 << 16) | (uint32_t{b3} << 24);
}

TEST_F(XpTiffTagTypedReads, SubIFDLookUpsFollowTheirPaths) {
  ExifBlock block;
  const uint32_t gps = block.PutIfd({{1, kAscii, 2, Inline('N')}});
  const uint32_t below = block.PutIfd({{5, kShort, 1, 77}});
  block.Ifd0({34853, kLong, 1, gps}).MakerNote({{1, kShort, 1, 5}, {0xB028, kLong, 1, below}});
  auto tags = block.Parsed();
  ASSERT_NE(tags->GetExifIFD(), nullptr);
  EXPECT_NE(tags->GetExifIFD()->FindTag(37500, false), nullptr);
  ASSERT_NE(tags->GetGPSIFD(), nullptr);
  EXPECT_EQ(tags->GetGPSIFD()->GetAsciiA(1), "N");
  ASSERT_NE(tags->GetMakerNoteIFD(), nullptr);
  EXPECT_EQ(tags->GetMakerNoteIFD()->GetShort(1), 5);
  ASSERT_NE(tags->GetMakerSubIFD(), nullptr);
  EXPECT_EQ(tags->GetMakerSubIFD()->GetShort(5), 77);
}

TEST_F(XpTiffTagTypedReads, LookUpsWithoutTheirIFDGiveNull) {
  {
    SCOPED_TRACE("34665 as SHORT");
    auto tags = ExifBlock().NoExif().Ifd0({34665, kShort, 1, 200}).Parsed();
    EXPECT_EQ(tags->GetExifIFD(), nullptr);
    EXPECT_EQ(tags->GetMakerNoteIFD(), nullptr);
  }
  {
    SCOPED_TRACE("34665 holding no IFD");
    XpTiffTagManager tags;
    ASSERT_TRUE(tags.Reset());
    auto* ifd0 = new XpTiffTagIFD();
    ifd0->SetEntry(XpTiffTagDataIFD::Create(34665, 0));
    ifd0->SetEntry(XpTiffTagDataIFD::Create(34853, 0));
    tags.GetRoot()->AddIFD(ifd0);
    EXPECT_EQ(tags.GetExifIFD(), nullptr);
    EXPECT_EQ(tags.GetGPSIFD(), nullptr);
  }
  {
    SCOPED_TRACE("no IFD at all");
    XpTiffTagManager tags;
    EXPECT_EQ(tags.GetExifIFD(), nullptr);
    EXPECT_EQ(tags.GetMakerSubIFD(), nullptr);
  }
  {
    SCOPED_TRACE("an unmarked maker note stays raw");
    auto tags = ExifBlock().MakerNote({{1, kShort, 1, 5}}, false).Parsed();
    ASSERT_NE(tags->GetExifIFD(), nullptr);
    EXPECT_EQ(tags->GetMakerNoteIFD(), nullptr);
    EXPECT_EQ(tags->GetMakerSubIFD(), nullptr);
  }
}

TEST_F(XpTiffTagTypedReads, GettersReadOnlyTheirTypeWithinTheCount) {
  ExifBlock block;
  const uint32_t rationals = block.PutRational(1, 4);
  block.PutRational(3, 0);
  const uint32_t signedRationals = block.PutRational(static_cast<uint32_t>(-3), 4);
  block.PutRational(static_cast<uint32_t>(-1), 0);
  const uint32_t doubleAt = block.Put(std::string("\0\0\0\0\0\0\xF8\x3F", 8));  // 1.5
  block.Ifd0({100, kByte, 2, Inline(7, 9)})
      .Ifd0({101, kUndefined, 1, Inline(0xAB)})
      .Ifd0({102, kShort, 2, Inline(0x34, 0x12, 0xFF, 0xFF)})
      .Ifd0({103, kLong, 1, 0x89ABCDEF})
      .Ifd0({104, kSLong, 1, static_cast<uint32_t>(-42)})
      .Ifd0({105, kRational, 2, rationals})
      .Ifd0({106, kSRational, 2, signedRationals})
      .Ifd0({107, kFloat, 1, 0x40200000})  // 2.5f
      .Ifd0({108, kDouble, 1, doubleAt})
      .Exif({200, kShort, 1, 31});
  auto tags = block.Parsed();
  const XpTiffTagIFD& ifd = *tags->GetIFD(0);

  EXPECT_EQ(ifd.GetByte(100), 7);
  EXPECT_EQ(ifd.GetByte(100, false, 1), 9);
  EXPECT_EQ(ifd.GetUndefinedByte(101), 0xAB);
  EXPECT_EQ(ifd.GetShort(102, false, 1), 0xFFFF);
  EXPECT_EQ(ifd.GetLong(103), 0x89ABCDEFu);
  EXPECT_EQ(ifd.GetSLong(104), -42);
  EXPECT_EQ(ifd.GetRationalValue(105), 0.25);
  EXPECT_EQ(ifd.GetSRationalValue(106), -0.75);
  EXPECT_EQ(ifd.GetFloat(107), 2.5f);
  EXPECT_EQ(ifd.GetDouble(108), 1.5);

  // Another type, an index at the count, a missing tag: all 0.
  EXPECT_EQ(ifd.GetShort(103), 0);
  EXPECT_EQ(ifd.GetLong(102), 0u);
  EXPECT_EQ(ifd.GetByte(101), 0);
  EXPECT_EQ(ifd.GetUndefinedByte(100), 0);
  EXPECT_EQ(ifd.GetSLong(103), 0);
  EXPECT_EQ(ifd.GetRationalValue(106), 0.0);
  EXPECT_EQ(ifd.GetDouble(107), 0.0);
  EXPECT_EQ(ifd.GetLong(103, false, 1), 0u);
  EXPECT_EQ(ifd.GetByte(100, false, 2), 0);
  EXPECT_EQ(ifd.GetShort(999), 0);
  // The pointer to the Exif IFD is not a LONG.
  EXPECT_EQ(ifd.GetLong(34665), 0u);

  // A zero denominator gives 0, never an infinity or NaN.
  EXPECT_EQ(ifd.GetRationalValue(105, false, 1), 0.0);
  EXPECT_EQ(ifd.GetSRationalValue(106, false, 1), 0.0);

  // With recurse the Exif IFD is searched too.
  EXPECT_EQ(ifd.GetShort(200), 0);
  EXPECT_EQ(ifd.GetShort(200, true), 31);
  EXPECT_FALSE(ifd.HasTag(200));
  EXPECT_TRUE(ifd.HasTag(200, true));
  EXPECT_TRUE(ifd.HasTag(100));
}

TEST_F(XpTiffTagTypedReads, AsciiTextsEndAtTheirFirstNul) {
  ExifBlock block;
  const uint32_t model = block.Put(std::string("K2 model\0", 9));
  const uint32_t twoTexts = block.Put(std::string("one\0two\0", 8));
  const uint32_t noNul = block.Put("abcdefgh");
  const uint32_t utf8 = block.Put("\xC3\xA9t\xC3\xA9");
  block.Ifd0({272, kAscii, 9, model})
      .Ifd0({273, kAscii, 8, twoTexts})
      .Ifd0({274, kAscii, 8, noNul})
      .Ifd0({275, kAscii, 6, utf8})
      .Ifd0({276, kUndefined, 8, noNul});
  auto tags = block.Parsed();
  const XpTiffTagIFD& ifd = *tags->GetIFD(0);
  EXPECT_EQ(ifd.GetAsciiA(272), "K2 model");
  EXPECT_EQ(ifd.GetAsciiA(273), "one");
  EXPECT_EQ(ifd.GetAsciiA(274), "abcdefgh");
  EXPECT_EQ(ifd.GetAscii(275), XpString(u"\u00E9t\u00E9"));
  EXPECT_TRUE(ifd.GetAsciiA(276).IsEmpty());
  EXPECT_TRUE(ifd.GetAscii(999).IsEmpty());
}

TEST_F(XpTiffTagTypedReads, ExposureTimeComesFromExposureTimeOrShutterSpeed) {
  struct Case {
    const char* name;
    uint16_t exposureType;  // 0: none
    int32_t shutterNumerator;
    int32_t shutterDenominator;
    uint16_t shutterType;  // 0: none
    bool found;
    uint32_t numerator;
    uint32_t denominator;
  };
  const Case cases[] = {
      {"ExposureTime RATIONAL", kRational, 0, 0, 0, true, 1, 250},
      {"ExposureTime SRATIONAL falls back", kSRational, 8, 1, kSRational, true, 1, 250},
      {"ShutterSpeedValue 6/1", 0, 6, 1, kSRational, true, 1, 60},
      {"ShutterSpeedValue 59/10", 0, 59, 10, kSRational, true, 1, 60},
      {"halves go up", 0, 55, 10, kSRational, true, 1, 60},
      {"-55/10", 0, -55, 10, kSRational, true, 30, 1},
      {"-56/10 below the table", 0, -56, 10, kSRational, false, 0, 0},
      {"12/1", 0, 12, 1, kSRational, true, 1, 4000},
      {"13/1", 0, 13, 1, kSRational, false, 0, 0},
      {"a zero denominator", 0, 6, 0, kSRational, false, 0, 0},
      {"ShutterSpeedValue as RATIONAL", 0, 6, 1, kRational, false, 0, 0},
      {"ExposureTime SRATIONAL alone", kSRational, 0, 0, 0, false, 0, 0},
      {"neither", 0, 0, 0, 0, false, 0, 0},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    ExifBlock block;
    if (entry.exposureType != 0) {
      block.Exif({kExposureTime, entry.exposureType, 1, block.PutRational(1, 250)});
    }
    if (entry.shutterType != 0) {
      block.Exif({kShutterSpeedValue, entry.shutterType, 1,
                  block.PutRational(static_cast<uint32_t>(entry.shutterNumerator),
                                    static_cast<uint32_t>(entry.shutterDenominator))});
    }
    auto tags = block.Parsed();
    uint32_t numerator = 7;
    uint32_t denominator = 7;
    ASSERT_EQ(tags->GetExposureTime(numerator, denominator), entry.found);
    EXPECT_EQ(numerator, entry.found ? entry.numerator : 7);
    EXPECT_EQ(denominator, entry.found ? entry.denominator : 7);
  }
  uint32_t numerator = 0;
  uint32_t denominator = 0;
  EXPECT_FALSE(ExifBlock().NoExif().Parsed()->GetExposureTime(numerator, denominator));
}

TEST_F(XpTiffTagTypedReads, ExposureTextIsTheExposureTimeForDisplay) {
  ExifBlock block;
  block.Exif({kExposureTime, kRational, 1, block.PutRational(10, 25)});
  EXPECT_EQ(block.Parsed()->GetExposureText(), XpString(u"1/2.5"));
  ExifBlock shutter;
  const uint32_t minusFive = shutter.PutRational(static_cast<uint32_t>(-5), 1);
  shutter.Exif({kShutterSpeedValue, kSRational, 1, minusFive});
  EXPECT_EQ(shutter.Parsed()->GetExposureText(), XpString(u"30.0"));
  EXPECT_TRUE(ExifBlock().Parsed()->GetExposureText().IsEmpty());
}

TEST_F(XpTiffTagTypedReads, FNumberComesFromFNumberOrApertureValue) {
  struct Case {
    const char* name;
    uint32_t fNumerator;
    uint32_t fDenominator;  // both 0: no FNumber
    uint32_t apertureNumerator;
    uint32_t apertureDenominator;  // both 0: no ApertureValue
    bool found;
    double value;
  };
  const Case cases[] = {
      {"FNumber 28/10", 28, 10, 0, 0, true, 2.8},
      {"ApertureValue 3/1", 0, 0, 3, 1, true, 2.8284271247461903},
      {"FNumber first", 28, 10, 3, 1, true, 2.8},
      {"FNumber with a zero denominator", 28, 0, 4, 1, true, 4.0},
      {"both denominators 0", 28, 0, 3, 0, false, 0.0},
      {"neither", 0, 0, 0, 0, false, 0.0},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    ExifBlock block;
    if (entry.fNumerator != 0 || entry.fDenominator != 0) {
      block.Exif({kFNumber, kRational, 1, block.PutRational(entry.fNumerator, entry.fDenominator)});
    }
    if (entry.apertureNumerator != 0 || entry.apertureDenominator != 0) {
      block.Exif({kApertureValue, kRational, 1,
                  block.PutRational(entry.apertureNumerator, entry.apertureDenominator)});
    }
    double fNumber = -1.0;
    ASSERT_EQ(block.Parsed()->GetFNumber(fNumber), entry.found);
    EXPECT_NEAR(fNumber, entry.found ? entry.value : -1.0, 1e-9);
  }
  // Searched from the root: found in IFD 0 as well; an SRATIONAL is not taken.
  ExifBlock inIfd0;
  inIfd0.Ifd0({kFNumber, kRational, 1, inIfd0.PutRational(56, 10)});
  double fNumber = 0.0;
  ASSERT_TRUE(inIfd0.Parsed()->GetFNumber(fNumber));
  EXPECT_DOUBLE_EQ(fNumber, 5.6);
  ExifBlock signedFNumber;
  signedFNumber.Exif({kFNumber, kSRational, 1, signedFNumber.PutRational(28, 10)});
  EXPECT_FALSE(signedFNumber.Parsed()->GetFNumber(fNumber));
}

TEST_F(XpTiffTagTypedReads, ImageUniqueIDIsThirtyTwoHexDigits) {
  struct Case {
    const char* name;
    std::string text;  // empty: no tag
    uint16_t type;
    XpResult result;
  };
  const Case cases[] = {
      {"32 digits", "0123456789abcdefFEDCBA9876543210", kAscii, kXpOk},
      {"31 characters", "0123456789abcdefFEDCBA987654321", kAscii, kXpErrImageMalformed},
      {"33 characters", "0123456789abcdefFEDCBA98765432100", kAscii, kXpErrImageMalformed},
      {"a g", "0123456789abcdefFEDCBA987654321g", kAscii, kXpErrImageMalformed},
      {"a sign", "+123456789abcdefFEDCBA9876543210", kAscii, kXpErrImageMalformed},
      {"a NUL inside", std::string("0123456789abcdef\0EDCBA9876543210", 32), kAscii,
       kXpErrImageMalformed},
      {"UNDEFINED", "0123456789abcdefFEDCBA9876543210", kUndefined, kXpErrImageMalformed},
      {"no tag", "", kAscii, kXpErrImageMalformed},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    ExifBlock block;
    if (!entry.text.empty()) {
      const uint32_t at = block.Put(entry.text + std::string(1, '\0'));
      block.Exif({kImageUniqueID, entry.type, static_cast<uint32_t>(entry.text.size() + 1), at});
    }
    uint64_t first = 1;
    uint64_t second = 2;
    EXPECT_EQ(block.Parsed()->GetImageUniqueID(first, second), entry.result);
    if (entry.result == kXpOk) {
      EXPECT_EQ(first, 0x0123456789ABCDEFu);
      EXPECT_EQ(second, 0xFEDCBA9876543210u);
    } else {
      EXPECT_EQ(first, 1u);
      EXPECT_EQ(second, 2u);
    }
  }
  uint64_t first = 0;
  uint64_t second = 0;
  EXPECT_EQ(ExifBlock().NoExif().Parsed()->GetImageUniqueID(first, second),
            kXpErrImageTagNotFound);
}

TEST_F(XpTiffTagTypedReads, AdobeRGBIsUncalibratedUnlessTheProfileSaysOtherwise) {
  const std::string adobe = "Adobe RGB 1998 (Kavo Corporation)";
  const auto profile = [](const std::string& description) {
    return IccProfileBuilder().Tag("desc", IccDescData(description)).Build();
  };
  struct Case {
    const char* name;
    int32_t colorSpace;  // -1: no Exif IFD
    uint16_t colorSpaceType;
    std::vector<uint8_t> embedded;  // empty: none
    bool adobeRGB;
  };
  const Case cases[] = {
      {"65535 alone", 65535, kShort, {}, true},
      {"65535, Adobe profile", 65535, kShort, profile(adobe), true},
      {"65535, in capitals", 65535, kShort, profile("ADOBE RGB 1998 (KAVO CORPORATION)"), true},
      {"65535, another profile", 65535, kShort, profile("Display sRGB"), false},
      {"65535, a profile without desc", 65535, kShort,
       IccProfileBuilder().Tag("cprt", IccTextData("c")).Build(), false},
      {"65535, only ASCII letters fold", 65535, kShort,
       profile("Adobe RGB 1998 \x08Kavo Corporation)"), false},
      {"65535, bytes that do not parse", 65535, kShort, std::vector<uint8_t>(20, 0x41), true},
      {"1, Adobe profile", 1, kShort, profile(adobe), false},
      {"65535 as LONG", 65535, kLong, {}, false},
      {"no Exif IFD", -1, kShort, {}, false},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    ExifBlock block;
    if (entry.colorSpace < 0) {
      block.NoExif();
    } else {
      block.Exif({kColorSpace, entry.colorSpaceType, 1, static_cast<uint32_t>(entry.colorSpace)});
    }
    if (!entry.embedded.empty()) {
      block.Ifd0({kInterColorProfile, kUndefined, static_cast<uint32_t>(entry.embedded.size()),
                  block.Put(entry.embedded)});
    }
    EXPECT_EQ(block.Parsed()->IsAdobeRGB(), entry.adobeRGB);
  }
}

TEST_F(XpTiffTagTypedReads, TheMakerNoteMarkIsTag4096WithANonZeroFirstByte) {
  struct Case {
    const char* name;
    // The maker-note IFD's entries; "below" is replaced by the offset of an
    // IFD holding mark.
    std::vector<Entry> makerNote;
    Entry mark;
    bool marked;
    XpTiffMakerNoteMode mode;
    bool hasMark;
  };
  constexpr uint32_t kBelow = 0xFFFFFFFF;
  constexpr auto kWhenMarked = XpTiffMakerNoteMode::MakerNoteWhenMarked;
  constexpr auto kRaw = XpTiffMakerNoteMode::MakerNoteRaw;
  const Entry markOne = {4096, kUndefined, 4, Inline(1, 0, 0, 0)};
  const Case cases[] = {
      {"first byte 1", {markOne}, {}, true, kWhenMarked, true},
      {"in a SubIFDs IFD below", {{1, kShort, 1, 5}, {330, kLong, 1, kBelow}}, markOne, true,
       kWhenMarked, true},
      {"first byte 0", {{4096, kUndefined, 4, Inline(0, 1, 1, 1)}}, {}, true, kWhenMarked, false},
      {"a LONG", {{4096, kLong, 1, 1}}, {}, true, kWhenMarked, false},
      {"a raw maker note", {markOne}, {}, true, kRaw, false},
      {"an unmarked maker note", {markOne}, {}, false, kWhenMarked, false},
      {"only in the 0xB028 IFD", {{1, kShort, 1, 5}, {0xB028, kLong, 1, kBelow}}, markOne, true,
       kWhenMarked, false},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    ExifBlock block;
    std::vector<Entry> makerNote = entry.makerNote;
    for (Entry& field : makerNote) {
      if (field.field == kBelow) {
        field.field = block.PutIfd({entry.mark});
      }
    }
    block.MakerNote(makerNote, entry.marked);
    EXPECT_EQ(block.Parsed(entry.mode)->HasMakerNoteMark(), entry.hasMark);
  }
  EXPECT_FALSE(ExifBlock().NoExif().Parsed()->HasMakerNoteMark());
}

}  // namespace
