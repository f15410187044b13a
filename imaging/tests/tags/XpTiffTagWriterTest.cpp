#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/tags/TagTreeSupport.h"
#include "imaging/tests/tags/TiffBlockBuilder.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

class TagWriterTest : public testsupport::HermeticTest {
 protected:
  // A new IFD appended to the tree's root.
  XpTiffTagIFD& AddIFD(XpTiffTagManager& tags) {
    auto* ifd = new XpTiffTagIFD();
    tags.GetRoot()->AddIFD(ifd);
    return *ifd;
  }

  // A sub-IFD value for tag put into parent; returns its first IFD.
  XpTiffTagIFD& AddSubIFD(XpTiffTagIFD& parent, uint16_t tag, int32_t ifdCount = 1) {
    XpTiffTagDataIFD* value = XpTiffTagDataIFD::Create(tag, 0);
    for (int32_t index = 0; index < ifdCount; ++index) {
      value->AddIFD(new XpTiffTagIFD());
    }
    parent.SetEntry(value);
    return *value->GetIFD(0);
  }

  std::unique_ptr<XpTiffTagManager> Tree(bool bigEndian) {
    auto tags = std::make_unique<XpTiffTagManager>();
    EXPECT_TRUE(tags->Reset());
    tags->SetByteOrder(bigEndian ? kXpByteOrderBigEndian : kXpByteOrderLittleEndian);
    return tags;
  }
};
using XpTiffTagWriter = TagWriterTest;

std::string Hex(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
  return HexOf(bytes.data() + from, count);
}

TEST_F(XpTiffTagWriter, LaysOutSmallTreesByteForByte) {
  const std::string text20 = "2009:05:06 07:08:09";
  const struct {
    const char* name;
    bool bigEndian;
    std::function<void(XpTiffTagIFD&)> fill;
    size_t size;
    // Expected bytes from offset 0 (or the entry at 10 when entryOnly).
    std::string bytes;
    bool entryOnly;
  } cases[] = {
      {"short", false, [](XpTiffTagIFD& ifd) { ifd.SetShort(274, 1); }, 26,
       "49 49 2A 00 08 00 00 00 01 00 12 01 03 00 01 00 00 00 01 00 00 00 00 00 00 00", false},
      {"rational", true, [](XpTiffTagIFD& ifd) { ifd.SetRational(282, 72, 1); }, 34,
       "4D 4D 00 2A 00 00 00 08 00 01 01 1A 00 05 00 00 00 01 00 00 00 1A 00 00 00 00 00 00 00 "
       "48 00 00 00 01",
       false},
      {"ascii 20", false, [&](XpTiffTagIFD& ifd) { ifd.SetAscii(306, text20.c_str()); }, 46,
       "32 01 02 00 14 00 00 00 1A 00 00 00", true},
      {"ascii 3", false, [](XpTiffTagIFD& ifd) { ifd.SetAscii(271, "ab"); }, 26,
       "0F 01 02 00 03 00 00 00 61 62 00 00", true},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    auto tags = Tree(entry.bigEndian);
    entry.fill(AddIFD(*tags));
    const std::vector<uint8_t> bytes = WrittenBytes(*tags);
    ASSERT_EQ(bytes.size(), entry.size);
    if (entry.entryOnly) {
      EXPECT_EQ(Hex(bytes, 10, 12), entry.bytes);
    } else {
      EXPECT_EQ(HexOf(bytes), entry.bytes);
    }
  }
}

TEST_F(XpTiffTagWriter, LongValuesGoToTheValueAreaAtEvenOffsets) {
  auto tags = Tree(false);
  XpTiffTagIFD& ifd = AddIFD(*tags);
  const std::string date = "2009:05:06 07:08:09";
  ifd.SetAscii(306, date.c_str());
  const std::vector<uint8_t> dated = WrittenBytes(*tags);
  EXPECT_EQ(std::string(dated.begin() + 26, dated.end()), date + '\0');

  auto two = Tree(false);
  XpTiffTagIFD& second = AddIFD(*two);
  second.SetUndefined(37510, "abcde", 5);
  second.SetAscii(42016, std::string(32, 'u').c_str());
  const std::vector<uint8_t> bytes = WrittenBytes(*two);
  ASSERT_EQ(bytes.size(), 78u);
  EXPECT_EQ(Load32At(bytes, 10 + 8, false), 38u);
  EXPECT_EQ(Load32At(bytes, 22 + 8, false), 44u);
  EXPECT_EQ(Hex(bytes, 38, 6), "61 62 63 64 65 00");
}

TEST_F(XpTiffTagWriter, EntriesAreWrittenInTagOrder) {
  auto tags = Tree(false);
  XpTiffTagIFD& ifd = AddIFD(*tags);
  ifd.SetAscii(306, "2009:05:06 07:08:09");
  ifd.SetAscii(271, "ab");
  AddSubIFD(ifd, 34665).SetShort(1, 1);
  const std::vector<uint8_t> bytes = WrittenBytes(*tags);
  EXPECT_EQ(Load16At(bytes, 10, false), 271);
  EXPECT_EQ(Load16At(bytes, 22, false), 306);
  EXPECT_EQ(Load16At(bytes, 34, false), 34665);
}

TEST_F(XpTiffTagWriter, ExifFollowsIfd0AndIfd1FollowsEverythingBelowIt) {
  auto tags = Tree(false);
  XpTiffTagIFD& ifd0 = AddIFD(*tags);
  ifd0.SetShort(274, 1);
  AddSubIFD(ifd0, 34665).SetUndefined(36864, "0221", 4);
  AddIFD(*tags).SetShort(259, 6);
  const std::vector<uint8_t> bytes = WrittenBytes(*tags);
  ASSERT_EQ(bytes.size(), 74u);
  // The Exif entry: LONG, count 1, the Exif IFD at 38.
  EXPECT_EQ(Hex(bytes, 22, 12), "69 87 04 00 01 00 00 00 26 00 00 00");
  EXPECT_EQ(Load32At(bytes, 34, false), 56u);
  EXPECT_EQ(Hex(bytes, 38, 18), "01 00 00 90 07 00 04 00 00 00 30 32 32 31 00 00 00 00");
  EXPECT_EQ(Hex(bytes, 56, 14), "01 00 03 01 03 00 01 00 00 00 06 00 00 00");
  EXPECT_EQ(Load32At(bytes, 70, false), 0u);
}

TEST_F(XpTiffTagWriter, MakerNoteIsWrittenBehindItsMarker) {
  auto tags = Tree(false);
  XpTiffTagIFD& exif = AddSubIFD(AddIFD(*tags), 34665);
  XpTiffTagIFD& makerNote = AddSubIFD(exif, 37500);
  makerNote.SetMakerNote(true);
  makerNote.SetShort(1, 5);
  const std::vector<uint8_t> bytes = WrittenBytes(*tags);
  ASSERT_EQ(bytes.size(), 74u);
  EXPECT_EQ(Hex(bytes, 28, 12), "7C 92 07 00 1E 00 00 00 2C 00 00 00");
  EXPECT_EQ(std::string(bytes.begin() + 44, bytes.begin() + 56), std::string("KAVO DSC \0\0\0", 12));
  EXPECT_EQ(Hex(bytes, 56, 14), "01 00 01 00 03 00 01 00 00 00 05 00 00 00");
}

TEST_F(XpTiffTagWriter, AnEmptyMakerNoteIsUndefinedOfCountZero) {
  auto tags = Tree(false);
  XpTiffTagIFD& exif = AddSubIFD(AddIFD(*tags), 34665);
  exif.SetEntry(XpTiffTagDataIFD::Create(37500, 0));
  const std::vector<uint8_t> bytes = WrittenBytes(*tags);
  ASSERT_EQ(bytes.size(), 44u);
  EXPECT_EQ(Hex(bytes, 28, 12), "7C 92 07 00 00 00 00 00 00 00 00 00");
  // And the parser drops it.
  auto parsed = ParsedBytes(bytes);
  EXPECT_EQ(parsed->FindTag(37500, true), nullptr);
  EXPECT_EQ(parsed->GetIFD(0)->GetSize(true), 24u);
}

TEST_F(XpTiffTagWriter, SeveralIFDsOfOneValueGoThroughAnOffsetArray) {
  auto tags = Tree(true);
  XpTiffTagIFD& ifd0 = AddIFD(*tags);
  XpTiffTagDataIFD* value = XpTiffTagDataIFD::Create(330, 0);
  for (uint16_t tag : {1, 2}) {
    auto* sub = new XpTiffTagIFD();
    sub->SetLong(tag, tag);
    value->AddIFD(sub);
  }
  ifd0.SetEntry(value);
  const std::vector<uint8_t> bytes = WrittenBytes(*tags);
  // IFD 0 (18 bytes) and its array (8) at 26, the sub-IFDs at 34 and 52.
  ASSERT_EQ(bytes.size(), 70u);
  EXPECT_EQ(Hex(bytes, 10, 12), "01 4A 00 04 00 00 00 02 00 00 00 1A");
  EXPECT_EQ(Load32At(bytes, 26, true), 34u);
  EXPECT_EQ(Load32At(bytes, 30, true), 52u);
  EXPECT_EQ(Load16At(bytes, 36, true), 1);
  EXPECT_EQ(Load16At(bytes, 54, true), 2);
}

// Trees whose sub-IFD counts disagree with the IFDs they hold.
struct SizeCase {
  const char* name;
  std::function<std::unique_ptr<XpTiffTagManager>()> make;
};

std::unique_ptr<XpTiffTagManager> ParsedCountTwoWithZeroOffset() {
  // IFD 0 at 8: {34665 LONG 2 -> array at 26: (44, 0)}, next 62.
  // Exif at 44: {1 SHORT 7}. IFD 1 at 62: {259 SHORT 6}.
  TiffBlockBuilder block;
  block.Header().Ifd({{34665, 4, 2, 26}}, 62).U32(44).U32(0);
  block.At(44).U16(1).ShortEntry(1, 7).U32(0);
  block.At(62).U16(1).ShortEntry(259, 6).U32(0);
  auto tags = ParsedBytes(block.Data());
  auto* exif = static_cast<XpTiffTagDataIFD*>(tags->FindTag(34665, false));
  EXPECT_EQ(exif->GetCount(), 2u);
  EXPECT_EQ(exif->GetIFDCount(), 1);
  return tags;
}

std::unique_ptr<XpTiffTagManager> BuiltSubIFDsOfCountZero() {
  auto tags = std::make_unique<XpTiffTagManager>();
  EXPECT_TRUE(tags->Reset());
  auto* ifd0 = new XpTiffTagIFD();
  XpTiffTagDataIFD* value = XpTiffTagDataIFD::Create(330, 0);
  value->AddIFD(new XpTiffTagIFD());
  value->AddIFD(new XpTiffTagIFD());
  value->GetIFD(1)->SetAscii(305, "software");
  ifd0->SetEntry(value);
  tags->GetRoot()->AddIFD(ifd0);
  auto* ifd1 = new XpTiffTagIFD();
  ifd1->SetShort(259, 6);
  tags->GetRoot()->AddIFD(ifd1);
  return tags;
}

std::unique_ptr<XpTiffTagManager> NestedInteropOfCountThree() {
  auto tags = std::make_unique<XpTiffTagManager>();
  EXPECT_TRUE(tags->Reset());
  auto* ifd0 = new XpTiffTagIFD();
  XpTiffTagDataIFD* exifValue = XpTiffTagDataIFD::Create(34665, 0);
  auto* exif = new XpTiffTagIFD();
  XpTiffTagDataIFD* interop = XpTiffTagDataIFD::Create(40965, 3);
  auto* interopIfd = new XpTiffTagIFD();
  interopIfd->SetAscii(1, "R98");
  interop->AddIFD(interopIfd);
  exif->SetEntry(interop);
  exifValue->AddIFD(exif);
  ifd0->SetEntry(exifValue);
  tags->GetRoot()->AddIFD(ifd0);
  auto* ifd1 = new XpTiffTagIFD();
  ifd1->SetShort(259, 6);
  tags->GetRoot()->AddIFD(ifd1);
  return tags;
}

TEST_F(XpTiffTagWriter, SizeAgreesWithTheBytesWrittenWhateverTheCounts) {
  const SizeCase cases[] = {
      {"parsed 34665 of count 2 with a zero offset", ParsedCountTwoWithZeroOffset},
      {"built 330 of count 0 holding two IFDs", BuiltSubIFDsOfCountZero},
      {"nested 40965 of count 3 holding one IFD", NestedInteropOfCountThree},
  };
  for (const SizeCase& entry : cases) {
    SCOPED_TRACE(entry.name);
    // Measured before anything sorted the tree.
    auto tags = entry.make();
    const uint64_t size0 = tags->GetIFD(0)->GetSize(true);
    XpMemoryFile single;
    EXPECT_EQ(tags->WriteIFD(single, *tags->GetIFD(0), 8, 0), size0);

    tags = entry.make();
    const uint64_t expected0 = tags->GetIFD(0)->GetSize(true);
    const std::vector<uint8_t> bytes = WrittenBytes(*tags);
    const uint32_t ifd1 = Load32At(bytes, 8 + 2 + 12 * tags->GetIFD(0)->GetCount(), false);
    EXPECT_EQ(ifd1, 8 + expected0);
    EXPECT_EQ(bytes.size(), 8 + expected0 + tags->GetIFD(1)->GetSize(true));
    // IFD 1 really starts there.
    EXPECT_EQ(Load16At(bytes, ifd1, false), 1);
    EXPECT_EQ(Load16At(bytes, ifd1 + 2, false), 259);
  }
}

TEST_F(XpTiffTagWriter, RoundTripKeepsTheTreeAndTheBytes) {
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "Motorola" : "Intel");
    auto tags = FullTagTree(bigEndian);
    const std::vector<uint8_t> bytes = WrittenBytes(*tags);
    bool parsed = false;
    auto reread = ParsedBytes(bytes, XpTiffMakerNoteMode::MakerNoteWhenMarked, &parsed);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(DescribeTree(*reread), DescribeTree(*tags));
    EXPECT_EQ(reread->GetMakerTag2001Offset(), 1234u);
    EXPECT_EQ(reread->GetMakerTag2001Count(), 1u);
    EXPECT_EQ(WrittenBytes(*tags), bytes);
    EXPECT_EQ(WrittenBytes(*reread), bytes);
  }
}

TEST_F(XpTiffTagWriter, ByteOrdersDifferOnlyInTheirNumbers) {
  const std::vector<uint8_t> intel = WrittenBytes(*FullTagTree(false));
  const std::vector<uint8_t> motorola = WrittenBytes(*FullTagTree(true));
  ASSERT_EQ(intel.size(), motorola.size());
  EXPECT_EQ(Hex(motorola, 0, 8), "4D 4D 00 2A 00 00 00 08");
  // The ASCII value of tag 272 lies at the same place in both.
  const uint32_t at = Load32At(intel, 10 + 12 + 8, false);
  EXPECT_EQ(Load32At(motorola, 10 + 12 + 8, true), at);
  EXPECT_EQ(std::string(intel.begin() + at, intel.begin() + at + 15), "K2 camera model");
  EXPECT_EQ(std::string(motorola.begin() + at, motorola.begin() + at + 15), "K2 camera model");
}

// A memory file that refuses writes past a limit.
class LimitedFile : public XpMemoryFile {
 public:
  explicit LimitedFile(uint64_t limit) : limit_(limit) {}
  XpResult Write(const void* buffer, uint64_t count, uint64_t* done) override {
    if (static_cast<uint64_t>(Tell()) + count > limit_) {
      if (done != nullptr) *done = 0;
      return kXpErrDiskFull;
    }
    return XpMemoryFile::Write(buffer, count, done);
  }

 private:
  uint64_t limit_;
};

TEST_F(XpTiffTagWriter, WriteFailuresShowOnlyInTheSizeAndStopTheBlock) {
  XpTiffTagManager none;
  XpMemoryFile empty;
  EXPECT_EQ(none.Write(empty), 0u);
  EXPECT_EQ(empty.GetDataSize(), 0u);

  const uint64_t full = WrittenBytes(*FullTagTree(false)).size();
  for (uint64_t limit : {uint64_t{0}, uint64_t{8}, uint64_t{40}, full / 2, full - 1}) {
    SCOPED_TRACE(limit);
    LimitedFile file(limit);
    const uint64_t written = FullTagTree(false)->Write(file);
    EXPECT_LT(written, full);
    EXPECT_LE(written, limit);
    EXPECT_EQ(written, file.GetDataSize());
  }
}

TEST_F(XpTiffTagWriter, WritesAtTheFilePositionWithOffsetsFromTheBlock) {
  XpMemoryFile file;
  ASSERT_EQ(file.Write("prefix", 6, nullptr), kXpOk);
  auto tags = FullTagTree(false);
  const uint64_t written = tags->Write(file);
  EXPECT_EQ(written + 6, file.GetDataSize());
  const auto* data = static_cast<const uint8_t*>(file.GetBuffer());
  const std::vector<uint8_t> block(data + 6, data + file.GetDataSize());
  EXPECT_EQ(block, WrittenBytes(*FullTagTree(false)));
}

}  // namespace
