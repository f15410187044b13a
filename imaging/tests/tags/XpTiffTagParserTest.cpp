#include <cstring>
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

using XpTiffTagParser = testsupport::HermeticTest;
constexpr auto kWhenMarked = XpTiffMakerNoteMode::MakerNoteWhenMarked;
constexpr auto kRaw = XpTiffMakerNoteMode::MakerNoteRaw;
constexpr auto kAlways = XpTiffMakerNoteMode::MakerNoteAlways;

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<uint16_t> TagsOf(const XpTiffTagIFD& ifd) {
  std::vector<uint16_t> tags;
  for (int32_t index = 0; index < ifd.GetCount(); ++index) {
    tags.push_back(ifd.GetAt(index)->GetTag());
  }
  return tags;
}

const XpTiffTagDataIFD* SubIFDValue(const XpTiffTagIFD& ifd, uint16_t tag) {
  const XpTiffTagDataBase* value = ifd.FindTag(tag, false);
  return value != nullptr && value->IsSubIFD() ? static_cast<const XpTiffTagDataIFD*>(value)
                                               : nullptr;
}

TEST_F(XpTiffTagParser, ABadHeaderGivesFalseAndNoRoot) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"IFD 0 at the file size", TiffBlockBuilder().Header(8).Data()},
      {"IFD 0 past the end", TiffBlockBuilder().Header(40).U16(0).U32(0).Data()},
      {"IX", Bytes(std::string("IX\x2A\0\x08\0\0\0\0\0\0\0\0\0", 14))},
      {"43", TiffBlockBuilder().Bytes("II").U16(43).U32(8).U16(0).U32(0).Data()},
      {"Intel magic in Motorola order", Bytes(std::string("MM\x2A\0\0\0\0\x08\0\0\0\0\0\0", 14))},
      {"shorter than a header", Bytes(std::string("II\x2A\0\x08\0\0", 7))},
      {"empty", {}},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    std::vector<uint8_t> copy = entry.bytes;
    XpMemoryFile file(copy.data(), copy.size(), false);
    XpTiffTagManager tags;
    ASSERT_TRUE(tags.Reset());
    EXPECT_FALSE(tags.Parse(file, kWhenMarked));
    EXPECT_EQ(tags.GetRoot(), nullptr);
  }
}

TEST_F(XpTiffTagParser, OffsetsCountFromTheHeaderWhereverItLies) {
  TiffBlockBuilder block;
  block.Bytes("junk before the block").At(100);
  block.Header(8).Ifd({{306, 2, 20, 38}, {34665, 4, 1, 58}}, 0);
  block.At(100 + 38).Bytes(std::string("2009:05:06 07:08:09\0", 20));
  block.At(100 + 58).U16(1).ShortEntry(41729, 1).U32(0);
  bool parsed = false;
  auto tags = ParsedBytes(block.Data(), kWhenMarked, &parsed, 100);
  ASSERT_TRUE(parsed);
  ASSERT_EQ(tags->GetIFDCount(), 1);
  EXPECT_EQ(tags->FindTag(306, false)->GetValueText(0), XpString(u"2009:05:06 07:08:09"));
  const XpTiffTagDataBase* inExif = tags->FindTag(41729, true);
  ASSERT_NE(inExif, nullptr);
  EXPECT_EQ(inExif->GetData()[0], 1);
}

TEST_F(XpTiffTagParser, ABadEntryEndsItsIFDAndKeepsWhatCameBefore) {
  const struct {
    const char* name;
    TiffBlockBuilder::EntrySpec bad;
  } cases[] = {
      {"type 0", {305, 0, 1, 0}},
      {"type 14", {305, 14, 1, 0}},
      {"count past the end", {305, 2, 1000, 50}},
      {"data past the end", {305, 2, 10, 60}},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    TiffBlockBuilder block;
    // IFD 0 at 8 with three entries, links to IFD 1 at 50.
    block.Header().Ifd({{274, 3, 1, 6}, entry.bad, {306, 3, 1, 7}}, 50);
    block.At(50).U16(1).ShortEntry(259, 6).U32(0);
    bool parsed = false;
    auto tags = ParsedBytes(block.Data(), kWhenMarked, &parsed);
    EXPECT_TRUE(parsed);
    ASSERT_EQ(tags->GetIFDCount(), 1);
    EXPECT_EQ(TagsOf(*tags->GetIFD(0)), std::vector<uint16_t>{274});
  }
}

TEST_F(XpTiffTagParser, ValuesComeOutInHostOrder) {
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    TiffBlockBuilder block(bigEndian);
    block.Header().Ifd({{282, 5, 1, 50}, {1, 3, 2, 0}, {2, 8, 1, 0}}, 0);
    block.At(8 + 2 + 12 + 8).U16(0x1234).U16(0xABCD);
    block.At(8 + 2 + 24 + 8).U16(0xFFFE);
    block.At(50).U32(1).U32(3);
    auto tags = ParsedBytes(block.Data());
    const XpTiffTagDataBase* rational = tags->FindTag(282, false);
    uint32_t words[2] = {};
    std::memcpy(words, rational->GetData(), sizeof words);
    EXPECT_EQ(words[0], 1u);
    EXPECT_EQ(words[1], 3u);
    EXPECT_EQ(rational->GetValueText(0), XpString(u"1/3"));
    uint16_t shorts[2] = {};
    std::memcpy(shorts, tags->FindTag(1, false)->GetData(), sizeof shorts);
    EXPECT_EQ(shorts[0], 0x1234);
    EXPECT_EQ(shorts[1], 0xABCD);
    EXPECT_EQ(tags->FindTag(2, false)->GetValueText(0), XpString(u"-2"));
    EXPECT_EQ(tags->IsBigEndian(), bigEndian);
  }
}

TEST_F(XpTiffTagParser, EntriesBecomeTheValuesOfTheirTags) {
  TiffBlockBuilder block;
  block.Header().U16(6);
  block.ShortEntry(274, 1);
  block.ShortEntry(274, 3);              // the later one stays
  block.Entry(271, 2, 5, 200);           // "abcd" out of line
  block.Entry(513, 13, 1, 77);           // IFD type, plain tag: LONG
  block.Entry(34853, 13, 1, 220);        // IFD type, GPS pointer: sub-IFD
  block.Entry(34665, 4, 2, 210);         // two offsets, one of them 0
  block.U32(0);
  block.At(200).Bytes(std::string("abcd\0", 5));
  block.At(210).U32(240).U32(0);
  block.At(220).U16(1).ShortEntry(0, 2).U32(0);
  block.At(240).U16(1).ShortEntry(36864, 9).U32(0);
  bool parsed = false;
  auto tags = ParsedBytes(block.Data(), kWhenMarked, &parsed);
  ASSERT_TRUE(parsed);
  const XpTiffTagIFD& ifd0 = *tags->GetIFD(0);
  EXPECT_EQ(TagsOf(ifd0), (std::vector<uint16_t>{274, 271, 513, 34853, 34665}));
  EXPECT_EQ(ifd0.GetAt(0)->GetData()[0], 3);

  const XpTiffTagDataBase* text = ifd0.FindTag(271, false);
  EXPECT_EQ(text->GetByteSize(), 5u);
  EXPECT_EQ(text->GetValueText(0), XpString(u"abcd"));
  EXPECT_EQ(text->GetValueText(3), XpString(u"abcd"));

  EXPECT_EQ(ifd0.FindTag(513, false)->GetType(), 4);
  EXPECT_EQ(ifd0.FindTag(513, false)->GetValueText(0), XpString(u"77"));
  ASSERT_NE(SubIFDValue(ifd0, 34853), nullptr);
  EXPECT_EQ(SubIFDValue(ifd0, 34853)->GetIFDCount(), 1);

  const XpTiffTagDataIFD* exif = SubIFDValue(ifd0, 34665);
  ASSERT_NE(exif, nullptr);
  EXPECT_EQ(exif->GetCount(), 2u);
  ASSERT_EQ(exif->GetIFDCount(), 1);
  EXPECT_EQ(exif->GetIFD(0)->FindTag(36864, false)->GetData()[0], 9);
  EXPECT_FALSE(exif->GetIFD(0)->IsMakerNote());
}

TEST_F(XpTiffTagParser, ASelfLinkedIFDIsParsedOnce) {
  TiffBlockBuilder block;
  block.Header().Ifd({{274, 3, 1, 1}}, 8);
  bool parsed = false;
  auto tags = ParsedBytes(block.Data(), kWhenMarked, &parsed);
  EXPECT_TRUE(parsed);
  EXPECT_EQ(tags->GetIFDCount(), 1);
}

// IFD 0 {34665 -> Exif at 26 {37500 -> 44}}; at 44, behind the marker
// when marked, the maker-note IFD {1 SHORT 5, 0x2001 LONG 0x1234}, or with
// broken, {1 SHORT 5, an entry of type 0}.
std::vector<uint8_t> MakerNoteBlock(bool marked, bool broken, uint16_t type = 7) {
  TiffBlockBuilder block;
  block.Header().Ifd({{34665, 4, 1, 26}}, 0);
  block.At(44);
  if (marked) {
    block.Bytes(std::string("KAVO DSC \0\0\0", 12));
  }
  block.U16(2).ShortEntry(1, 5);
  if (broken) {
    block.Entry(2, 0, 1, 0);
  } else {
    block.Entry(0x2001, 4, 1, 0x1234);
  }
  block.U32(0);
  const uint32_t size = block.Position() - 44;
  block.At(26).Ifd({{37500, type, type == 7 ? size : 1, 44}}, 0);
  return block.Data();
}

TEST_F(XpTiffTagParser, MakerNoteModesDecideWhatTheMakerNoteBecomes) {
  const struct {
    const char* name;
    bool marked;
    XpTiffMakerNoteMode mode;
    bool subIFD;
  } cases[] = {
      {"marked, when marked", true, kWhenMarked, true},
      {"unmarked, when marked", false, kWhenMarked, false},
      {"marked, raw", true, kRaw, false},
      {"unmarked, raw", false, kRaw, false},
      {"marked, always", true, kAlways, true},
      {"unmarked, always", false, kAlways, true},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    auto tags = ParsedBytes(MakerNoteBlock(entry.marked, false), entry.mode);
    const XpTiffTagDataBase* makerNote = tags->FindTag(37500, true);
    ASSERT_NE(makerNote, nullptr);
    if (!entry.subIFD) {
      EXPECT_EQ(makerNote->GetType(), 7);
      EXPECT_EQ(makerNote->GetCount(), entry.marked ? 42u : 30u);
      EXPECT_EQ(tags->GetMakerTag2001Count(), 0u);
      continue;
    }
    ASSERT_TRUE(makerNote->IsSubIFD());
    const auto& value = static_cast<const XpTiffTagDataIFD&>(*makerNote);
    EXPECT_EQ(value.GetCount(), 1u);
    ASSERT_EQ(value.GetIFDCount(), 1);
    const XpTiffTagIFD& ifd = *value.GetIFD(0);
    EXPECT_TRUE(ifd.IsMakerNote());
    // Parsed behind the marker, or at the first byte without one.
    ASSERT_EQ(TagsOf(ifd), (std::vector<uint16_t>{1, 0x2001}));
    EXPECT_EQ(ifd.GetAt(0)->GetData()[0], 5);
    EXPECT_EQ(tags->GetMakerTag2001Offset(), 0x1234u);
    EXPECT_EQ(tags->GetMakerTag2001Count(), 1u);
    // The maker note is not searched from above.
    EXPECT_EQ(tags->FindTag(0x2001, true), nullptr);
  }
}

TEST_F(XpTiffTagParser, AnEmptyMakerNoteIsDroppedInEveryMode) {
  TiffBlockBuilder block;
  block.Header().Ifd({{37500, 7, 0, 0}, {274, 3, 1, 1}}, 0);
  for (auto mode : {kWhenMarked, kRaw, kAlways}) {
    auto tags = ParsedBytes(block.Data(), mode);
    EXPECT_EQ(TagsOf(*tags->GetIFD(0)), std::vector<uint16_t>{274});
  }
}

TEST_F(XpTiffTagParser, ABrokenMakerNoteIFDIsKeptUnlessAlwaysParsed) {
  const struct {
    const char* name;
    bool marked;
    uint16_t type;
    XpTiffMakerNoteMode mode;
    int32_t ifds;
  } cases[] = {
      {"when marked", true, 7, kWhenMarked, 1},
      {"raw, stored as LONG", false, 4, kRaw, 1},
      {"always", true, 7, kAlways, 0},
      {"always, unmarked", false, 7, kAlways, 0},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    auto tags = ParsedBytes(MakerNoteBlock(entry.marked, true, entry.type), entry.mode);
    const XpTiffTagDataBase* makerNote = tags->FindTag(37500, true);
    ASSERT_NE(makerNote, nullptr);
    ASSERT_TRUE(makerNote->IsSubIFD());
    const auto& value = static_cast<const XpTiffTagDataIFD&>(*makerNote);
    ASSERT_EQ(value.GetIFDCount(), entry.ifds);
    if (entry.ifds > 0) {
      EXPECT_EQ(TagsOf(*value.GetIFD(0)), std::vector<uint16_t>{1});
      EXPECT_TRUE(value.GetIFD(0)->IsMakerNote());
    }
  }
}

TEST_F(XpTiffTagParser, AParseReplacesTheTreeBefore) {
  XpTiffTagManager tags;
  std::vector<uint8_t> first = MakerNoteBlock(true, false);
  XpMemoryFile file(first.data(), first.size(), false);
  ASSERT_TRUE(tags.Parse(file, kWhenMarked));
  EXPECT_EQ(tags.GetMakerTag2001Offset(), 0x1234u);
  std::vector<uint8_t> second = TiffBlockBuilder().Header().Ifd({{274, 3, 1, 1}}).Data();
  XpMemoryFile other(second.data(), second.size(), false);
  ASSERT_TRUE(tags.Parse(other, kWhenMarked));
  EXPECT_EQ(DescribeTree(tags), "II\nIFD\n  274 type 3 count 1 [01 00]\n");
  EXPECT_EQ(tags.GetMakerTag2001Offset(), 0u);
}

// Hostile blocks: each must end quickly, without a fault, within the limits.

TEST_F(XpTiffTagParser, HostileNextLinksInACircleEndTheChain) {
  TiffBlockBuilder block;
  block.Header().Ifd({{274, 3, 1, 1}}, 26);
  block.At(26).Ifd({{259, 3, 1, 6}}, 8);
  bool parsed = false;
  auto tags = ParsedBytes(block.Data(), kWhenMarked, &parsed);
  EXPECT_TRUE(parsed);
  ASSERT_EQ(tags->GetIFDCount(), 2);
  EXPECT_NE(tags->GetIFD(1)->FindTag(259, false), nullptr);
}

TEST_F(XpTiffTagParser, HostilePointersBackUpTheTreeHoldNoIFD) {
  const struct {
    const char* name;
    uint32_t interopTarget;
  } cases[] = {
      {"to IFD 0", 8},
      {"to the Exif IFD itself", 38},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    // IFD 0 {34665 -> 38, 34853 -> 8}, next 56. Exif {40965 -> target}.
    TiffBlockBuilder block;
    block.Header().U16(2).Entry(34665, 4, 1, 38).Entry(34853, 4, 1, 8).U32(56);
    block.At(38).Ifd({{40965, 4, 1, entry.interopTarget}}, 0);
    block.At(56).Ifd({{259, 3, 1, 6}}, 0);
    bool parsed = false;
    auto tags = ParsedBytes(block.Data(), kWhenMarked, &parsed);
    EXPECT_TRUE(parsed);
    const XpTiffTagIFD& ifd0 = *tags->GetIFD(0);
    EXPECT_EQ(SubIFDValue(ifd0, 34853)->GetIFDCount(), 0);
    const XpTiffTagDataIFD* exif = SubIFDValue(ifd0, 34665);
    ASSERT_EQ(exif->GetIFDCount(), 1);
    EXPECT_EQ(SubIFDValue(*exif->GetIFD(0), 40965)->GetIFDCount(), 0);
    EXPECT_EQ(tags->GetIFDCount(), 2);
  }
}

TEST_F(XpTiffTagParser, HostileNestingStopsAtSixteenLevels) {
  // 100 IFDs, each pointing at the next through 34665.
  TiffBlockBuilder block;
  block.Header();
  constexpr uint32_t kIfdBytes = 18;
  for (uint32_t level = 0; level < 100; ++level) {
    block.At(8 + level * kIfdBytes).Ifd({{34665, 4, 1, 8 + (level + 1) * kIfdBytes}}, 0);
  }
  block.At(8 + 100 * kIfdBytes).U16(0).U32(0);
  auto tags = ParsedBytes(block.Data());
  int32_t levels = 0;
  for (const XpTiffTagIFD* ifd = tags->GetIFD(0);;) {
    const XpTiffTagDataIFD* value = SubIFDValue(*ifd, 34665);
    ASSERT_NE(value, nullptr);
    if (value->GetIFDCount() == 0) {
      break;
    }
    ifd = value->GetIFD(0);
    ++levels;
  }
  EXPECT_EQ(levels, XpTiffTagManager::kMaxSubIFDDepth);
  EXPECT_EQ(levels, 16);
}

TEST_F(XpTiffTagParser, HostileIFDCountsStopAtTheLimit) {
  // A SubIFDs value of 5000 offsets to distinct empty IFDs.
  constexpr uint32_t kMany = 5000;
  TiffBlockBuilder wide;
  wide.Header().Ifd({{330, 4, kMany, 26}}, 0);
  const uint32_t first = 26 + 4 * kMany;
  for (uint32_t index = 0; index < kMany; ++index) {
    wide.At(26 + 4 * index).U32(first + 6 * index);
  }
  wide.At(first + 6 * kMany).U32(0);
  auto tags = ParsedBytes(wide.Data());
  EXPECT_EQ(1 + SubIFDValue(*tags->GetIFD(0), 330)->GetIFDCount(), 1024);

  // A chain of 2000 top-level IFDs.
  TiffBlockBuilder chain;
  chain.Header();
  for (uint32_t index = 0; index < 2000; ++index) {
    chain.At(8 + 6 * index).U16(0).U32(8 + 6 * (index + 1));
  }
  chain.U16(0).U32(0);
  EXPECT_EQ(ParsedBytes(chain.Data())->GetIFDCount(), XpTiffTagManager::kMaxIFDs);
}

TEST_F(XpTiffTagParser, HostileValuesSharingTheirBytesStayWithinTheBudget) {
  // 2000 UNDEFINED entries of 60 000 bytes, all at one offset.
  constexpr uint32_t kEntries = 2000;
  constexpr uint32_t kBytes = 60000;
  const uint32_t data = 8 + 2 + 12 * kEntries + 4;
  TiffBlockBuilder block;
  block.Header().U16(kEntries);
  for (uint32_t index = 0; index < kEntries; ++index) {
    block.Entry(static_cast<uint16_t>(index + 1), 7, kBytes, data);
  }
  block.U32(0).At(data + kBytes);
  bool parsed = false;
  auto tags = ParsedBytes(block.Data(), kWhenMarked, &parsed);
  EXPECT_TRUE(parsed);
  const XpTiffTagIFD& ifd = *tags->GetIFD(0);
  uint64_t total = 0;
  for (int32_t index = 0; index < ifd.GetCount(); ++index) {
    total += ifd.GetAt(index)->GetByteSize();
  }
  EXPECT_LE(total, uint64_t{64} * 1024 * 1024);
  // The budget is used, not refused outright.
  EXPECT_GT(ifd.GetCount(), 1000);
  EXPECT_LT(ifd.GetCount(), static_cast<int32_t>(kEntries));
}

TEST_F(XpTiffTagParser, HostileEveryPrefixOfAWrittenTreeParsesOrFails) {
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    const std::vector<uint8_t> bytes = WrittenBytes(*FullTagTree(bigEndian));
    ASSERT_GT(bytes.size(), 500u);
    const std::string whole = DescribeTree(*ParsedBytes(bytes));
    size_t lastCount = 0;
    for (size_t length = 0; length <= bytes.size(); ++length) {
      SCOPED_TRACE(length);
      const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + length);
      bool parsed = false;
      auto tags = ParsedBytes(prefix, kWhenMarked, &parsed);
      ASSERT_EQ(parsed, length > 8);
      if (!parsed) {
        continue;
      }
      // Every value read is whole: it is a value of the full tree.
      const std::string text = DescribeTree(*tags);
      size_t lineStart = 0;
      while (lineStart < text.size()) {
        const size_t lineEnd = text.find('\n', lineStart);
        const std::string line = text.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        if (line.find('[') == std::string::npos) {
          continue;
        }
        EXPECT_NE(whole.find(line + "\n"), std::string::npos) << line;
      }
      // A longer prefix never reads less of IFD 0.
      const size_t count = static_cast<size_t>(tags->GetIFD(0)->GetCount());
      EXPECT_GE(count, lastCount);
      lastCount = count;
    }
  }
}

}  // namespace
