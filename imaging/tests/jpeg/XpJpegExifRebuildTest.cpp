// Rebuilt Exif blocks keep what they do not change: a maker note whose
// inner IFD counts offsets from the TIFF header stays where it was, a block
// too big for one segment gives up the maker note and then the thumbnail
// (never the date, maker and model), and the written thumbnail IFD holds
// only the new thumbnail's tags.
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/jpeg/XpJpegCompressRun.h"
#include "imaging/tags/XpGPSInfo.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/jpeg/LosslessTestSupport.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr uint8_t kApp1 = 0xE1;
constexpr uint16_t kTagDescription = 270;
constexpr uint16_t kTagMake = 271;
constexpr uint16_t kTagModel = 272;
constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTagDateTime = 306;
constexpr uint16_t kTagExifIFD = 34665;
constexpr uint16_t kTagDateTimeOriginal = 36867;
constexpr uint16_t kTagMakerNote = 37500;
constexpr uint16_t kTypeAscii = 2;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint16_t kTypeUndefined = 7;
constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
constexpr size_t kExifHead = 6;
const char kInnerText[] = "inner-value";
const char kMake[] = "Maker";
const char kModel[] = "M-1";
const char kDate[] = "2020:01:02 03:04:05";

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
  bytes.resize(std::max(bytes.size(), at + 2));
  bytes[at] = static_cast<uint8_t>(value);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
  Put16(bytes, at, static_cast<uint16_t>(value));
  Put16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

void PutBytes(std::vector<uint8_t>& bytes, size_t at, const void* data, size_t count) {
  bytes.resize(std::max(bytes.size(), at + count));
  std::memcpy(bytes.data() + at, data, count);
}

uint16_t Get16(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at) {
  return Get16(bytes, at) | static_cast<uint32_t>(Get16(bytes, at + 2)) << 16;
}

// Entries of one hand-made IFD, values placed from a cursor.
class IFDBytes {
 public:
  IFDBytes(std::vector<uint8_t>& block, size_t at, uint16_t count, size_t& cursor)
      : block_(block), at_(at), cursor_(cursor) {
    Put16(block_, at_, count);
    Put32(block_, at_ + 2 + 12u * count, 0);
    cursor_ = std::max(cursor_, at_ + 2 + 12u * count + 4);
  }
  void Inline(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    Head(tag, type, count);
    Put32(block_, Field(), value);
    ++index_;
  }
  void OutOfLine(uint16_t tag, uint16_t type, const void* data, uint32_t count) {
    Head(tag, type, count);
    Put32(block_, Field(), static_cast<uint32_t>(cursor_));
    PutBytes(block_, cursor_, data, count);
    cursor_ += count + (count & 1);
    ++index_;
  }
  void At(uint16_t tag, uint16_t type, uint32_t count, uint32_t offset) {
    Head(tag, type, count);
    Put32(block_, Field(), offset);
    ++index_;
  }

 private:
  void Head(uint16_t tag, uint16_t type, uint32_t count) {
    const size_t entry = at_ + 2 + 12u * index_;
    Put16(block_, entry, tag);
    Put16(block_, entry + 2, type);
    Put32(block_, entry + 4, count);
  }
  size_t Field() const { return at_ + 2 + 12u * index_ + 8; }

  std::vector<uint8_t>& block_;
  size_t at_;
  size_t& cursor_;
  uint16_t index_ = 0;
};

struct MakerNoteBlock {
  // Where the maker note lies; 0: right after the other data.
  size_t makerOffset = 0;
  // Zero bytes the maker note carries after its inner IFD.
  size_t makerTail = 0;
  // Bytes of ImageDescription; 0 for none.
  size_t description = 0;
  uint16_t orientation = 1;
};

// A camera's Intel-order block: IFD 0 (ImageDescription, Make, Model,
// Orientation, DateTime, Exif), the Exif IFD (DateTimeOriginal, the maker
// note) and an opaque maker note "MAKR" + IFD whose ASCII tag 2 lies at an
// offset from the TIFF header.
std::vector<uint8_t> BuildBlock(const MakerNoteBlock& shape, size_t& makerAt) {
  std::vector<uint8_t> block = {'I', 'I', 42, 0, 8, 0, 0, 0};
  size_t cursor = 8;
  const uint16_t ifd0Count = shape.description > 0 ? 6 : 5;
  IFDBytes ifd0(block, 8, ifd0Count, cursor);
  if (shape.description > 0) {
    const std::string text(shape.description - 1, 'd');
    ifd0.OutOfLine(kTagDescription, kTypeAscii, text.c_str(),
                   static_cast<uint32_t>(shape.description));
  }
  ifd0.OutOfLine(kTagMake, kTypeAscii, kMake, sizeof kMake);
  ifd0.Inline(kTagModel, kTypeAscii, sizeof kModel, 0);
  PutBytes(block, 8 + 2 + 12u * (ifd0Count - 4) + 8, kModel, sizeof kModel);
  ifd0.Inline(kTagOrientation, kTypeShort, 1, shape.orientation);
  ifd0.OutOfLine(kTagDateTime, kTypeAscii, kDate, sizeof kDate);
  const size_t exifAt = cursor;
  ifd0.Inline(kTagExifIFD, kTypeLong, 1, static_cast<uint32_t>(exifAt));
  IFDBytes exif(block, exifAt, 2, cursor);
  exif.OutOfLine(kTagDateTimeOriginal, kTypeAscii, kDate, sizeof kDate);
  makerAt = shape.makerOffset != 0 ? shape.makerOffset : cursor;
  EXPECT_GE(makerAt, cursor);

  std::vector<uint8_t> note = {'M', 'A', 'K', 'R'};
  const size_t innerAt = makerAt + note.size();
  const size_t textAt = innerAt + 2 + 2 * 12 + 4;
  Put16(note, 4, 2);
  Put16(note, 6, 1);
  Put16(note, 8, kTypeShort);
  Put32(note, 10, 1);
  Put32(note, 14, 7);
  Put16(note, 18, 2);
  Put16(note, 20, kTypeAscii);
  Put32(note, 22, sizeof kInnerText);
  Put32(note, 26, static_cast<uint32_t>(textAt));
  Put32(note, 30, 0);
  PutBytes(note, textAt - makerAt, kInnerText, sizeof kInnerText);
  note.resize(note.size() + shape.makerTail);
  exif.At(kTagMakerNote, kTypeUndefined, static_cast<uint32_t>(note.size()),
          static_cast<uint32_t>(makerAt));
  PutBytes(block, makerAt, note.data(), note.size());
  return block;
}

std::vector<uint8_t> ExifPayloadOf(const std::vector<uint8_t>& block) {
  static constexpr uint8_t kHead[kExifHead] = {'E', 'x', 'i', 'f', 0, 0};
  std::vector<uint8_t> payload(kExifHead + block.size());
  std::memcpy(payload.data(), kHead, kExifHead);
  std::memcpy(payload.data() + kExifHead, block.data(), block.size());
  return payload;
}

// The block with ImageDescription grown so that its APP1 payload has
// payloadSize bytes (an even size).
std::vector<uint8_t> BuildSizedBlock(MakerNoteBlock shape, size_t payloadSize, size_t& makerAt) {
  shape.description = 1;
  std::vector<uint8_t> block = BuildBlock(shape, makerAt);
  shape.description += payloadSize - ExifPayloadOf(block).size();
  block = BuildBlock(shape, makerAt);
  EXPECT_EQ(ExifPayloadOf(block).size(), payloadSize);
  return block;
}

std::vector<uint8_t> TiffOf(const std::vector<uint8_t>& payload) {
  return std::vector<uint8_t>(payload.begin() + kExifHead, payload.end());
}

// The maker note's inner IFD read at the offsets it holds: tag 1 and the
// text of tag 2; empty when the note is missing or does not read.
std::string InnerTagsOf(const std::vector<uint8_t>& tiff) {
  XpMemoryFile file;
  file.Attach(const_cast<uint8_t*>(tiff.data()), tiff.size(), false);
  XpTiffTagManager tags;
  if (file.Open(kXpOpenRead) != kXpOk ||
      !tags.Parse(file, XpTiffMakerNoteMode::MakerNoteWhenMarked) ||
      tags.GetMakerNoteSize() == 0) {
    return "";
  }
  const size_t innerAt = tags.GetMakerNoteOffset() + 4;
  if (innerAt + 30 > tiff.size() || Get16(tiff, innerAt) != 2 || Get16(tiff, innerAt + 2) != 1) {
    return "";
  }
  const uint32_t textAt = Get32(tiff, innerAt + 2 + 12 + 8);
  if (textAt + sizeof kInnerText > tiff.size()) {
    return "";
  }
  return std::to_string(Get16(tiff, innerAt + 2 + 8)) + " " +
         std::string(reinterpret_cast<const char*>(tiff.data() + textAt));
}

std::unique_ptr<XpTiffTagManager> ParseTiff(const std::vector<uint8_t>& tiff) {
  XpMemoryFile file;
  file.Attach(const_cast<uint8_t*>(tiff.data()), tiff.size(), false);
  auto tags = std::make_unique<XpTiffTagManager>();
  if (file.Open(kXpOpenRead) != kXpOk ||
      !tags->Parse(file, XpTiffMakerNoteMode::MakerNoteWhenMarked)) {
    return nullptr;
  }
  return tags;
}

// Date, maker and model as the block gives them.
void ExpectDateMakerModel(const XpTiffTagManager& tags) {
  ASSERT_NE(tags.GetIFD(0), nullptr);
  EXPECT_EQ(std::string(tags.GetIFD(0)->GetAsciiA(kTagMake).CStr()), kMake);
  EXPECT_EQ(std::string(tags.GetIFD(0)->GetAsciiA(kTagModel).CStr()), kModel);
  ASSERT_NE(tags.GetExifIFD(), nullptr);
  EXPECT_EQ(std::string(tags.GetExifIFD()->GetAsciiA(kTagDateTimeOriginal).CStr()), kDate);
}

bool IsRed(const uint8_t* rgb) { return rgb[0] > 200 && rgb[1] < 70 && rgb[2] < 70; }

// An uncompressed 8 x 4 RGB thumbnail in IFD 1, cut into strips.
struct StripLayout {
  const char* name;
  uint32_t strips;
  // Type of StripOffsets and StripByteCounts.
  uint16_t type;
};

constexpr uint32_t kStripWidth = 8;
constexpr uint32_t kStripHeight = 4;
constexpr uint32_t kStripBytes = kStripWidth * kStripHeight * 3;
constexpr uint16_t kTagStripOffsets = 273;
constexpr uint16_t kTagStripByteCounts = 279;

// values as type, inline when they fit the field, else from cursor on.
void PutArray(IFDBytes& ifd, std::vector<uint8_t>& block, size_t& cursor, uint16_t tag,
              uint16_t type, const std::vector<uint32_t>& values) {
  std::vector<uint8_t> bytes;
  for (const uint32_t value : values) {
    type == kTypeShort ? Put16(bytes, bytes.size(), static_cast<uint16_t>(value))
                       : Put32(bytes, bytes.size(), value);
  }
  const auto count = static_cast<uint32_t>(values.size());
  if (bytes.size() <= 4) {
    bytes.resize(4);
    ifd.Inline(tag, type, count, Get32(bytes, 0));
    return;
  }
  ifd.At(tag, type, count, static_cast<uint32_t>(cursor));
  PutBytes(block, cursor, bytes.data(), bytes.size());
  cursor += bytes.size();
}

// Links an IFD 1 with the thumbnail's strips behind the block, the strips
// stored last first; returns the thumbnail's bytes in strip order.
std::vector<uint8_t> AppendStripThumbnail(std::vector<uint8_t>& block, const StripLayout& layout) {
  std::vector<uint8_t> thumbnail(kStripBytes);
  for (size_t index = 0; index < thumbnail.size(); ++index) {
    thumbnail[index] = static_cast<uint8_t>(index * 7 + 3);
  }
  size_t cursor = block.size() + (block.size() & 1);
  const size_t ifd1At = cursor;
  Put32(block, 8 + 2 + 12u * Get16(block, 8), static_cast<uint32_t>(ifd1At));
  IFDBytes ifd1(block, ifd1At, 9, cursor);
  ifd1.Inline(256, kTypeShort, 1, kStripWidth);
  ifd1.Inline(257, kTypeShort, 1, kStripHeight);
  PutArray(ifd1, block, cursor, 258, kTypeShort, {8, 8, 8});
  ifd1.Inline(259, kTypeShort, 1, 1);
  ifd1.Inline(262, kTypeShort, 1, 2);
  const uint32_t stripLength = kStripBytes / layout.strips;
  std::vector<uint32_t> offsets(layout.strips);
  const size_t stripsAt = cursor + 4u * layout.strips * 2;
  for (uint32_t strip = 0; strip < layout.strips; ++strip) {
    offsets[strip] = static_cast<uint32_t>(stripsAt + (layout.strips - 1 - strip) * stripLength);
    PutBytes(block, offsets[strip], thumbnail.data() + strip * stripLength, stripLength);
  }
  PutArray(ifd1, block, cursor, kTagStripOffsets, layout.type, offsets);
  ifd1.Inline(277, kTypeShort, 1, 3);
  ifd1.Inline(278, kTypeShort, 1, kStripHeight / layout.strips);
  PutArray(ifd1, block, cursor, kTagStripByteCounts, layout.type,
           std::vector<uint32_t>(layout.strips, stripLength));
  return thumbnail;
}

uint32_t ElementOf(const XpTiffTagIFD& ifd, uint16_t tag, uint32_t index) {
  const XpTiffTagDataBase* value = ifd.FindTag(tag, false);
  if (value == nullptr) {
    return 0;
  }
  return value->GetType() == kTypeShort ? ifd.GetShort(tag, false, index)
                                        : ifd.GetLong(tag, false, index);
}

// The bytes IFD 1's strips point at, joined in strip order; empty when
// the strip tags are missing, do not pair up or point outside the block.
std::vector<uint8_t> StripBytesOf(const std::vector<uint8_t>& tiff, const XpTiffTagIFD& ifd1) {
  const XpTiffTagDataBase* offsets = ifd1.FindTag(kTagStripOffsets, false);
  const XpTiffTagDataBase* lengths = ifd1.FindTag(kTagStripByteCounts, false);
  if (offsets == nullptr || lengths == nullptr || offsets->GetCount() != lengths->GetCount()) {
    return {};
  }
  std::vector<uint8_t> bytes;
  for (uint32_t strip = 0; strip < offsets->GetCount(); ++strip) {
    const size_t at = ElementOf(ifd1, kTagStripOffsets, strip);
    const size_t length = ElementOf(ifd1, kTagStripByteCounts, strip);
    if (at + length > tiff.size()) {
      return {};
    }
    bytes.insert(bytes.end(), tiff.begin() + static_cast<std::ptrdiff_t>(at),
                 tiff.begin() + static_cast<std::ptrdiff_t>(at + length));
  }
  return bytes;
}

class XpJpegExifRebuild : public testsupport::HermeticTest {
 protected:
  XpImageIoJpeg writer_{70, u"Orvane"};

  std::filesystem::path Source() { return Dir("in") / "source.jpg"; }
  std::filesystem::path Output() { return Dir("out") / "result.jpg"; }

  std::vector<uint8_t> PlaceSource(const std::vector<uint8_t>& block) {
    const std::vector<uint8_t> bytes = WithSegments(
        BuildSampledFrame(kWidth, kHeight, Sampling::k422),
        {JpegSegment{kApp1, 0, ExifPayloadOf(block)}});
    WriteBytes(Source(), bytes);
    return bytes;
  }

  std::vector<uint8_t> App1Of(const std::filesystem::path& path) {
    const auto segment = FindSegment(JpegSegments(ReadBytes(path)), kApp1);
    return segment ? segment->payload : std::vector<uint8_t>();
  }

  // The export of the source's decoded picture with its tags.
  XpResult Export(const std::vector<uint8_t>& block, bool resetOrientation = true) {
    XpSharedPtr<XpTiffTagManager> tags(ParseTiff(block).release());
    const auto pixmap = GradientBGR(kWidth, kHeight);
    return writer_.WriteToPath(pixmap.get(), tags, PathText(Output()), nullptr, XpRect(), false,
                               resetOrientation);
  }
};

// Every rewrite and the export, the maker note at its place or moved by
// the layout of the data before it.
TEST_F(XpJpegExifRebuild, TheMakerNoteReadsAfterEveryRewrite) {
  struct Rewrite {
    const char* name;
    std::function<XpResult(const XpString& source, const XpString& output)> run;
    bool inPlace;
  };
  const std::vector<Rewrite> rewrites = {
      {"unique id",
       [](const XpString& source, const XpString& output) {
         XpImageIoJpeg io;
         static_cast<void>(output);
         return io.WriteImageUniqueId(source, 0x0123456789abcdefULL, 42);
       },
       true},
      {"gps",
       [](const XpString& source, const XpString& output) {
         XpImageIoJpeg io;
         XpGPSInfo info;
         static_cast<void>(output);
         return io.WriteGpsInfo(source, info, true);
       },
       true},
      {"transform",
       [](const XpString& source, const XpString& output) {
         XpImageIoJpeg io;
         return io.TransformLossless(source, output, 5, false);
       },
       false},
      {"apply orientation",
       [](const XpString& source, const XpString& output) {
         XpImageIoJpeg io;
         return io.TransformLossless(source, output, 0, true);
       },
       false},
  };
  // Tight: the rebuilt data before the note outgrows its place.
  for (const size_t makerOffset : {size_t{0}, size_t{2000}}) {
    MakerNoteBlock shape;
    shape.makerOffset = makerOffset;
    shape.orientation = 6;
    size_t makerAt = 0;
    const std::vector<uint8_t> block = BuildBlock(shape, makerAt);
    ASSERT_EQ(InnerTagsOf(block), "7 inner-value");
    for (const Rewrite& rewrite : rewrites) {
      SCOPED_TRACE(std::string(rewrite.name) + " at " + std::to_string(makerAt));
      std::filesystem::remove(Output());
      PlaceSource(block);
      ASSERT_EQ(rewrite.run(PathText(Source()), PathText(Output())), kXpOk);
      const std::vector<uint8_t> tiff = TiffOf(App1Of(rewrite.inPlace ? Source() : Output()));
      EXPECT_EQ(InnerTagsOf(tiff), "7 inner-value");
      const auto tags = ParseTiff(tiff);
      ASSERT_NE(tags, nullptr);
      EXPECT_EQ(tags->GetMakerNoteOffset(), makerAt);
      ExpectDateMakerModel(*tags);
    }
    SCOPED_TRACE("export");
    std::filesystem::remove(Output());
    ASSERT_EQ(Export(block), kXpOk);
    const std::vector<uint8_t> tiff = TiffOf(App1Of(Output()));
    EXPECT_EQ(InnerTagsOf(tiff), "7 inner-value");
    const auto tags = ParseTiff(tiff);
    ASSERT_NE(tags, nullptr);
    EXPECT_EQ(tags->GetMakerNoteOffset(), makerAt);
    ExpectDateMakerModel(*tags);
    // The thumbnail lies where IFD 1 says, behind the pinned note.
    const XpTiffTagIFD* ifd1 = tags->GetIFD(1);
    ASSERT_NE(ifd1, nullptr);
    const uint32_t thumbnailAt = ifd1->GetLong(513);
    ASSERT_LT(thumbnailAt + 2u, tiff.size());
    EXPECT_EQ(tiff[thumbnailAt], 0xFF);
    EXPECT_EQ(tiff[thumbnailAt + 1], 0xD8);
    EXPECT_EQ(thumbnailAt + ifd1->GetLong(514), tiff.size());
  }
}

// A maker note whose place overlaps the TIFF header cannot be kept: the
// user's file is left as it is, and the export's copy leaves the note out.
TEST_F(XpJpegExifRebuild, AMakerNoteThatCannotStayIsNeverMoved) {
  MakerNoteBlock shape;
  size_t makerAt = 0;
  std::vector<uint8_t> block = BuildBlock(shape, makerAt);
  // Point the maker note at the header.
  size_t entryAt = 8;
  while (entryAt + 4 < makerAt &&
         (Get16(block, entryAt) != kTagMakerNote || Get16(block, entryAt + 2) != kTypeUndefined)) {
    entryAt += 2;
  }
  ASSERT_LT(entryAt + 4, makerAt);
  Put32(block, entryAt + 4, 8);
  Put32(block, entryAt + 8, 0);

  const std::vector<uint8_t> original = PlaceSource(block);
  XpImageIoJpeg io;
  EXPECT_EQ(io.WriteImageUniqueId(PathText(Source()), 1, 2), kXpErrImageNotSupported);
  EXPECT_EQ(ReadBytes(Source()), original);
  EXPECT_EQ(io.TransformLossless(PathText(Source()), PathText(Output()), 0, true),
            kXpErrImageNotSupported);
  EXPECT_FALSE(std::filesystem::exists(Output()));

  ASSERT_EQ(Export(block), kXpOk);
  const auto written = ParseTiff(TiffOf(App1Of(Output())));
  ASSERT_NE(written, nullptr);
  EXPECT_FALSE(written->GetExifIFD()->HasTag(kTagMakerNote));
  ExpectDateMakerModel(*written);
}

// A block near 64 KB: what no longer fits gives way in order, the
// orientation written matches the pixels, date, maker and model stay.
TEST_F(XpJpegExifRebuild, AnOverfullBlockDropsTheMakerNoteThenTheThumbnail) {
  struct Case {
    const char* name;
    size_t makerTail;
    // The source's APP1 payload; 0: as small as it comes.
    size_t payloadSize;
    bool exportKeepsMakerNote;
    bool exportKeepsThumbnail;
    bool transformKeepsMakerNote;
  };
  const Case cases[] = {
      {"fits", 100, 0, true, true, true},
      {"maker note too big", 64000, 65530, false, true, false},
      {"no room for a thumbnail", 100, 64500, false, false, true},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    MakerNoteBlock shape;
    shape.makerTail = row.makerTail;
    shape.orientation = 6;
    size_t makerAt = 0;
    const std::vector<uint8_t> block = row.payloadSize != 0
                                           ? BuildSizedBlock(shape, row.payloadSize, makerAt)
                                           : BuildBlock(shape, makerAt);
    ASSERT_LE(ExifPayloadOf(block).size(), XpJpegCompressRun::kMaxMarkerPayload);

    std::filesystem::remove(Output());
    ASSERT_EQ(Export(block), kXpOk);
    auto tags = ParseTiff(TiffOf(App1Of(Output())));
    ASSERT_NE(tags, nullptr);
    ExpectDateMakerModel(*tags);
    EXPECT_EQ(tags->GetIFD(0)->GetShort(kTagOrientation), 1);
    EXPECT_EQ(tags->GetExifIFD()->HasTag(kTagMakerNote), row.exportKeepsMakerNote);
    EXPECT_EQ(tags->GetIFD(1) != nullptr, row.exportKeepsThumbnail);

    // The picture stored sideways is turned upright, and says so.
    std::filesystem::remove(Output());
    PlaceSource(block);
    XpImageIoJpeg io;
    ASSERT_EQ(io.TransformLossless(PathText(Source()), PathText(Output()), 0, true), kXpOk);
    const std::vector<uint8_t> payload = App1Of(Output());
    tags = ParseTiff(TiffOf(payload));
    ASSERT_NE(tags, nullptr);
    ExpectDateMakerModel(*tags);
    EXPECT_EQ(tags->GetIFD(0)->GetShort(kTagOrientation), 1);
    EXPECT_EQ(tags->GetExifIFD()->HasTag(kTagMakerNote), row.transformKeepsMakerNote);
    if (row.transformKeepsMakerNote) {
      EXPECT_EQ(InnerTagsOf(TiffOf(payload)), "7 inner-value");
    }
    const DecodedJpeg decoded = DecodeJpeg(ReadBytes(Output()));
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, kHeight);
    EXPECT_EQ(decoded.height, kWidth);
    // Orientation 6: the stored top-left corner shows at the top right.
    EXPECT_TRUE(IsRed(decoded.Pixel(decoded.width - 3, 2)));
  }
}

// Tags too big for one segment even without maker note and thumbnail:
// the export keeps the maker, the model, the dates and the orientation of
// the pixels it wrote.
TEST_F(XpJpegExifRebuild, AnExportTooBigForOneSegmentKeepsTheEssentials) {
  constexpr size_t kHuge = 70000;
  constexpr uint16_t kTagUserComment = 37510;
  constexpr uint16_t kTagDateTimeDigitized = 36868;
  struct Case {
    const char* name;
    size_t description;
    size_t userComment;
    bool resetOrientation;
    uint16_t orientation;
  };
  const Case cases[] = {
      {"description, turned upright", kHuge, 0, true, 1},
      {"description, as stored", kHuge, 0, false, 6},
      {"user comment, turned upright", 0, kHuge, true, 1},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    MakerNoteBlock shape;
    shape.description = row.description;
    shape.orientation = 6;
    size_t makerAt = 0;
    std::unique_ptr<XpTiffTagManager> source = ParseTiff(BuildBlock(shape, makerAt));
    ASSERT_NE(source, nullptr);
    if (row.userComment > 0) {
      const std::vector<uint8_t> comment(row.userComment, 'c');
      source->GetExifIFD()->SetUndefined(kTagUserComment, comment.data(),
                                         static_cast<uint32_t>(comment.size()));
    }
    XpSharedPtr<XpTiffTagManager> tags(source.release());
    const auto pixmap = GradientBGR(kWidth, kHeight);
    std::filesystem::remove(Output());
    ASSERT_EQ(writer_.WriteToPath(pixmap.get(), tags, PathText(Output()), nullptr, XpRect(),
                                  false, row.resetOrientation),
              kXpOk);
    const std::vector<uint8_t> payload = App1Of(Output());
    ASSERT_FALSE(payload.empty());
    EXPECT_LE(payload.size(), XpJpegCompressRun::kMaxMarkerPayload);
    const auto written = ParseTiff(TiffOf(payload));
    ASSERT_NE(written, nullptr);
    ExpectDateMakerModel(*written);
    const XpTiffTagIFD& ifd0 = *written->GetIFD(0);
    EXPECT_EQ(ifd0.GetShort(kTagOrientation), row.orientation);
    EXPECT_FALSE(ifd0.GetAsciiA(kTagDateTime).IsEmpty());
    EXPECT_FALSE(written->GetExifIFD()->GetAsciiA(kTagDateTimeDigitized).IsEmpty());
    EXPECT_FALSE(ifd0.HasTag(kTagDescription));
    EXPECT_FALSE(written->GetExifIFD()->HasTag(kTagUserComment));
    EXPECT_FALSE(written->GetExifIFD()->HasTag(kTagMakerNote));
    EXPECT_EQ(written->GetIFD(1), nullptr);
    const DecodedJpeg decoded = DecodeJpeg(ReadBytes(Output()));
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, kWidth);
  }
}

// The export's IFD 1 describes the new thumbnail only, whatever the
// source's IFD 1 held.
TEST_F(XpJpegExifRebuild, TheThumbnailIFDHoldsOnlyTheNewThumbnailsTags) {
  MakerNoteBlock shape;
  size_t makerAt = 0;
  auto tags = ParseTiff(BuildBlock(shape, makerAt));
  ASSERT_NE(tags, nullptr);
  auto* ifd1 = new XpTiffTagIFD();
  ifd1->SetLong(256, 640);
  ifd1->SetLong(257, 480);
  ifd1->SetShort(259, 1);
  ifd1->SetLong(273, 12345);
  ifd1->SetLong(278, 480);
  ifd1->SetLong(279, 921600);
  ifd1->SetShort(262, 2);
  tags->GetRoot()->AddIFD(ifd1);
  XpSharedPtr<XpTiffTagManager> shared(tags.release());
  const auto pixmap = GradientBGR(kWidth, kHeight);
  ASSERT_EQ(writer_.WriteToPath(pixmap.get(), shared, PathText(Output()), nullptr, XpRect(), false,
                                true),
            kXpOk);
  const auto written = ParseTiff(TiffOf(App1Of(Output())));
  ASSERT_NE(written, nullptr);
  ASSERT_NE(written->GetIFD(1), nullptr);
  EXPECT_EQ(TagsOf(*written->GetIFD(1)),
            (std::vector<uint16_t>{259, 274, 282, 283, 296, 513, 514}));
  EXPECT_EQ(written->GetIFD(1)->GetShort(259), 6);
}

// An uncompressed thumbnail in strips stays as it is through every tag
// rewrite, its strips where IFD 1 now points, the maker note in its place.
TEST_F(XpJpegExifRebuild, AStripThumbnailIsKeptByEveryTagRewrite) {
  const StripLayout layouts[] = {
      {"one LONG strip", 1, kTypeLong},
      {"two SHORT strips", 2, kTypeShort},
      {"four LONG strips", 4, kTypeLong},
  };
  for (const StripLayout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    MakerNoteBlock shape;
    size_t makerAt = 0;
    std::vector<uint8_t> block = BuildBlock(shape, makerAt);
    const std::vector<uint8_t> thumbnail = AppendStripThumbnail(block, layout);
    {
      const auto source = ParseTiff(block);
      ASSERT_NE(source, nullptr);
      ASSERT_NE(source->GetIFD(1), nullptr);
      ASSERT_EQ(StripBytesOf(block, *source->GetIFD(1)), thumbnail);
    }
    PlaceSource(block);
    XpImageIoJpeg io;
    XpGPSInfo gps;
    // One after the other on the same file: each moves the strips again.
    ASSERT_EQ(io.WriteImageUniqueId(PathText(Source()), 0x0123456789abcdefULL, 42), kXpOk);
    for (const char* step : {"unique id", "gps"}) {
      SCOPED_TRACE(step);
      if (std::string(step) == "gps") {
        ASSERT_EQ(io.WriteGpsInfo(PathText(Source()), gps, true), kXpOk);
      }
      const std::vector<uint8_t> tiff = TiffOf(App1Of(Source()));
      const auto tags = ParseTiff(tiff);
      ASSERT_NE(tags, nullptr);
      EXPECT_EQ(InnerTagsOf(tiff), "7 inner-value");
      EXPECT_EQ(tags->GetMakerNoteOffset(), makerAt);
      const XpTiffTagIFD* ifd1 = tags->GetIFD(1);
      ASSERT_NE(ifd1, nullptr);
      EXPECT_FALSE(ifd1->HasTag(513));
      EXPECT_EQ(ElementOf(*ifd1, 256, 0), kStripWidth);
      EXPECT_EQ(ElementOf(*ifd1, 262, 0), 2u);
      ASSERT_TRUE(ifd1->HasTag(kTagStripOffsets));
      ASSERT_TRUE(ifd1->HasTag(kTagStripByteCounts));
      EXPECT_EQ(ifd1->FindTag(kTagStripOffsets, false)->GetCount(), layout.strips);
      EXPECT_EQ(StripBytesOf(tiff, *ifd1), thumbnail);
    }
    uint64_t first = 0;
    uint64_t second = 0;
    ASSERT_EQ(io.ReadImageUniqueIdFromPath(PathText(Source()), first, second), kXpOk);
    EXPECT_EQ(first, 0x0123456789abcdefULL);
    EXPECT_EQ(second, 42u);
    EXPECT_TRUE(DecodeJpeg(ReadBytes(Source())).ok);

    // A turned copy has no thumbnail it could turn: it leaves IFD 1 out
    // rather than keep strips that show the picture unturned.
    std::filesystem::remove(Output());
    ASSERT_EQ(io.TransformLossless(PathText(Source()), PathText(Output()), 5, false), kXpOk);
    const auto turned = ParseTiff(TiffOf(App1Of(Output())));
    ASSERT_NE(turned, nullptr);
    EXPECT_EQ(turned->GetIFD(1), nullptr);
  }
}

}  // namespace
