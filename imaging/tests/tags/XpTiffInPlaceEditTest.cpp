#include "imaging/tags/XpTiffInPlaceEdit.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagFormat.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/tags/TagTreeSupport.h"
#include "imaging/tests/tags/TiffBlockBuilder.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"

namespace {


constexpr uint16_t kAscii = 2;
constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint16_t kUndefined = 7;
constexpr uint16_t kIfdType = 13;
constexpr uint16_t kExifPointer = 34665;
constexpr uint16_t kMakerNote = 37500;
constexpr uint16_t kMakerTag2001 = 0x2001;
constexpr uint16_t kMakerSubIFD = 0xB028;

constexpr XpResult kNotFound = 0x8601;
constexpr XpResult kNoBlock = 0x8602;

// The block starts behind a few bytes of something else.
const std::string kPrefix = "JUNK!";
const int64_t kBase = static_cast<int64_t>(kPrefix.size());
constexpr const char* kOldDate = "2001:02:03 04:05:06";
constexpr const char* kNewDateText = "2009:05:06 07:08:09";

const XpDateTime& NewDate() {
  static const XpDateTime date(2009, 5, 6, 7, 8, 9);
  return date;
}

// What the tag writer is asked to lay out; -1 leaves an orientation out.
struct BlockPlan {
  bool bigEndian = false;
  int orientation0 = 6;
  int orientation1 = 6;
  bool dateTime0 = true;
  bool dateTime1 = true;
  int32_t dateTimeCount = 20;
  bool withIFD1 = true;
  bool withExif = true;
  bool withExifDate = true;
  bool withColorSpace = true;
  bool withMakerNote = true;
  bool withMakerSub = true;
};

XpTiffTagIFD* MakerNoteIFD(const BlockPlan& plan) {
  auto* makerNote = new XpTiffTagIFD();
  makerNote->SetMakerNote(true);
  makerNote->SetShort(1, 5);
  makerNote->SetUndefined(kMakerTag2001, "preview!", 8);
  makerNote->SetLong(0x2002, 0x12345678);
  if (plan.withMakerSub) {
    auto* sub = new XpTiffTagIFD();
    sub->SetLong(0x87, 1);
    sub->SetLong(0x88, 5);
    XpTiffTagDataIFD* pointer = XpTiffTagDataIFD::Create(kMakerSubIFD, 0);
    pointer->AddIFD(sub);
    makerNote->SetEntry(pointer);
  }
  return makerNote;
}

// The prefix and the block the tag writer lays out for plan.
std::vector<uint8_t> FileOf(const BlockPlan& plan) {
  XpTiffTagManager tags;
  EXPECT_TRUE(tags.Reset());
  tags.SetByteOrder(plan.bigEndian ? kXpByteOrderBigEndian : kXpByteOrderLittleEndian);
  auto* ifd0 = new XpTiffTagIFD();
  ifd0->SetAscii(271, "KAVO");
  if (plan.orientation0 >= 0) ifd0->SetShort(274, static_cast<uint16_t>(plan.orientation0));
  if (plan.dateTime0) ifd0->SetAscii(306, kOldDate, plan.dateTimeCount);
  if (plan.withExif) {
    auto* exif = new XpTiffTagIFD();
    exif->SetRational(33434, 1, 250);
    if (plan.withExifDate) exif->SetAscii(36867, kOldDate);
    exif->SetAscii(36868, kOldDate);
    if (plan.withColorSpace) exif->SetShort(40961, 1);
    if (plan.withMakerNote) {
      XpTiffTagDataIFD* makerValue = XpTiffTagDataIFD::Create(kMakerNote, 0);
      makerValue->AddIFD(MakerNoteIFD(plan));
      exif->SetEntry(makerValue);
    }
    XpTiffTagDataIFD* exifValue = XpTiffTagDataIFD::Create(kExifPointer, 0);
    exifValue->AddIFD(exif);
    ifd0->SetEntry(exifValue);
  }
  tags.GetRoot()->AddIFD(ifd0);
  if (plan.withIFD1) {
    auto* ifd1 = new XpTiffTagIFD();
    ifd1->SetShort(259, 6);
    if (plan.orientation1 >= 0) ifd1->SetShort(274, static_cast<uint16_t>(plan.orientation1));
    if (plan.dateTime1) ifd1->SetAscii(306, kOldDate, plan.dateTimeCount);
    tags.GetRoot()->AddIFD(ifd1);
  }
  std::vector<uint8_t> file(kPrefix.begin(), kPrefix.end());
  const std::vector<uint8_t> block = WrittenBytes(tags);
  file.insert(file.end(), block.begin(), block.end());
  return file;
}

// Absolute positions in a file made by FileOf, found by walking its bytes.
class Layout {
 public:
  Layout(const std::vector<uint8_t>& file, bool bigEndian) : file_(file), bigEndian_(bigEndian) {}

  size_t IFD0() const { return Base() + Load32At(file_, Base() + 4, bigEndian_); }
  size_t IFD1() const {
    const size_t ifd0 = IFD0();
    const uint32_t link = Load32At(file_, ifd0 + 2 + 12 * Load16At(file_, ifd0, bigEndian_),
                                   bigEndian_);
    return link == 0 ? 0 : Base() + link;
  }
  size_t Exif() const { return Base() + FieldValue(IFD0(), kExifPointer); }
  size_t MakerNoteStart() const { return Base() + FieldValue(Exif(), kMakerNote); }
  size_t MakerNoteIFD() const { return MakerNoteStart() + 12; }
  size_t MakerSubIFD() const { return Base() + FieldValue(MakerNoteIFD(), kMakerSubIFD); }

  // The 12-byte entry of tag in the IFD; fails the test when there is none.
  size_t EntryOf(size_t ifd, uint16_t tag) const {
    const uint16_t count = Load16At(file_, ifd, bigEndian_);
    for (uint16_t index = 0; index < count; ++index) {
      const size_t entry = ifd + 2 + 12 * index;
      if (Load16At(file_, entry, bigEndian_) == tag) return entry;
    }
    ADD_FAILURE() << "no tag " << tag << " in the IFD at " << ifd;
    return 0;
  }
  size_t FieldOf(size_t ifd, uint16_t tag) const { return EntryOf(ifd, tag) + 8; }
  uint32_t FieldValue(size_t ifd, uint16_t tag) const {
    return Load32At(file_, FieldOf(ifd, tag), bigEndian_);
  }
  // The absolute position of the out-of-line value of tag.
  size_t DataOf(size_t ifd, uint16_t tag) const { return Base() + FieldValue(ifd, tag); }

 private:
  static size_t Base() { return static_cast<size_t>(kBase); }

  const std::vector<uint8_t>& file_;
  bool bigEndian_;
};

void Put16(std::vector<uint8_t>& bytes, size_t position, uint16_t value, bool bigEndian) {
  bytes.at(position) = static_cast<uint8_t>(bigEndian ? value >> 8 : value);
  bytes.at(position + 1) = static_cast<uint8_t>(bigEndian ? value : value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, size_t position, uint32_t value, bool bigEndian) {
  Put16(bytes, position + (bigEndian ? 0 : 2), static_cast<uint16_t>(value >> 16), bigEndian);
  Put16(bytes, position + (bigEndian ? 2 : 0), static_cast<uint16_t>(value), bigEndian);
}

void PutText(std::vector<uint8_t>& bytes, size_t position, const char* text, size_t count) {
  std::memcpy(bytes.data() + position, text, count);
}

// The positions where two files differ, and their sizes when those do.
std::string Differences(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& actual) {
  std::string text;
  if (expected.size() != actual.size()) {
    text += "size " + std::to_string(expected.size()) + " -> " + std::to_string(actual.size()) +
            "; ";
  }
  for (size_t at = 0; at < std::min(expected.size(), actual.size()); ++at) {
    if (expected[at] != actual[at]) {
      text += std::to_string(at) + ": " + HexOf(&expected[at], 1) + " -> " +
              HexOf(&actual[at], 1) + "; ";
    }
  }
  return text;
}

struct Edited {
  XpResult result;
  std::vector<uint8_t> file;
};

// Runs edit on a memory file holding file, and gives its result and the
// file afterwards.
Edited RunEdit(const std::vector<uint8_t>& file,
           const std::function<XpResult(XpAbstractFile&)>& edit) {
  XpMemoryFile memory;
  uint64_t done = 0;
  EXPECT_EQ(memory.Write(file.data(), file.size(), &done), kXpOk);
  EXPECT_EQ(memory.Seek(0, kXpSeekBegin), kXpOk);
  Edited edited{edit(memory), {}};
  const auto* data = static_cast<const uint8_t*>(memory.GetBuffer());
  edited.file.assign(data, data + memory.GetDataSize());
  return edited;
}

class InPlaceEditTest : public testsupport::HermeticTest {
 protected:
  // Runs body for a little-endian and a big-endian block.
  void ForEachByteOrder(const std::function<void(bool)>& body) {
    for (const bool bigEndian : {false, true}) {
      SCOPED_TRACE(bigEndian ? "Motorola" : "Intel");
      body(bigEndian);
    }
  }

  XpString WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(Root() / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return XpString::FromUtf8((Root() / name).string());
  }

  std::vector<uint8_t> ReadFile(const std::string& name) {
    std::ifstream file(Root() / name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
  }
};
using XpTiffInPlaceEdit = InPlaceEditTest;

[[nodiscard]] XpResult Rotate(XpAbstractFile& file, int32_t turns, bool fromUpright) {
  return XpTiffRotateOrientationInFile(file, kBase, turns, fromUpright);
}

// --- Entry search -----------------------------------------------------------

TEST_F(XpTiffInPlaceEdit, FindEntryMatchesTagTypeCountAndPlace) {
  ForEachByteOrder([&](bool bigEndian) {
    // IFD 0 at 8: a SHORT, a LONG, an ASCII of 20 inside the file and one
    // of 20 whose bytes run past its end.
    // The SHORT 6 in the first two bytes of its field.
    const uint32_t shortField = bigEndian ? 0x00060000 : 6;
    TiffBlockBuilder builder(bigEndian);
    builder.Header(8).At(8).Ifd({{274, kShort, 1, shortField},
                                 {513, kLong, 1, 99},
                                 {306, kAscii, 20, 70},
                                 {305, kAscii, 20, 80}});
    builder.At(70).Bytes(std::string(20, 'x'));
    std::vector<uint8_t> file = builder.Data();
    file.resize(95);
    XpMemoryFile memory(file.data(), file.size(), false);

    struct Case {
      const char* name;
      uint16_t tag;
      uint16_t type;
      uint16_t alternative;
      uint32_t lowest;
      uint32_t highest;
      bool inlineValue;
      int64_t position;
      int32_t index;
    };
    const Case cases[] = {
        {"short inline", 274, kShort, 0, 1, 1, true, shortField, 0},
        {"long through its alternative type", 513, kIfdType, kLong, 1, 1, true, 99, 1},
        {"wrong type", 513, kShort, 0, 1, 1, true, 0, -1},
        {"count below the range", 306, kAscii, 0, 21, 30, false, 0, -1},
        {"count above the range", 306, kAscii, 0, 0, 19, false, 0, -1},
        {"out of line inside the file", 306, kAscii, 0, 20, 20, false, 70, 2},
        {"out of line past the end", 305, kAscii, 0, 20, 20, false, 0, -1},
        {"past the end, inline asked", 305, kAscii, 0, 20, 20, true, 80, 3},
        {"missing tag", 999, kAscii, 0, 0, 0xFFFFFFFF, true, 0, -1},
    };
    for (const Case& row : cases) {
      SCOPED_TRACE(row.name);
      int32_t index = 77;
      EXPECT_EQ(XpTiffFindEntryInFile(memory, 8, bigEndian, 0, row.tag, row.type,
                                      row.alternative, row.lowest, row.highest, row.inlineValue,
                                      &index),
                row.position);
      EXPECT_EQ(index, row.index);
    }
    // Offsets count from base; an IFD that cannot be read holds nothing.
    EXPECT_EQ(XpTiffFindEntryInFile(memory, 8, bigEndian, 3, 513, kLong, 0, 1, 1, true, nullptr),
              102);
    int32_t index = 77;
    EXPECT_EQ(XpTiffFindEntryInFile(memory, 200, bigEndian, 0, 513, kLong, 0, 1, 1, true, &index),
              0);
    EXPECT_EQ(index, -1);
  });
}

// --- Orientation ------------------------------------------------------------

TEST_F(XpTiffInPlaceEdit, OrientationTurnsInBothIFDs) {
  struct Case {
    uint16_t stored;
    int32_t turns;
    bool fromUpright;
    uint16_t expected;
  };
  const Case cases[] = {
      {6, 1, false, 1}, {1, -1, false, 6}, {3, 2, false, 1}, {2, 1, false, 8},
      {3, 1, true, 8},  {6, 1, true, 8},   {8, 4, false, 8}, {8, -7, false, 3},
      {1, 0, false, 1}, {9, 3, false, 6},
  };
  ForEachByteOrder([&](bool bigEndian) {
    for (const Case& row : cases) {
      SCOPED_TRACE(std::to_string(row.stored) + " by " + std::to_string(row.turns) +
                   (row.fromUpright ? " from upright" : ""));
      BlockPlan plan;
      plan.bigEndian = bigEndian;
      plan.orientation0 = plan.orientation1 = row.stored;
      const std::vector<uint8_t> file = FileOf(plan);
      const Layout layout(file, bigEndian);
      std::vector<uint8_t> expected = file;
      Put16(expected, layout.FieldOf(layout.IFD0(), 274), row.expected, bigEndian);
      Put16(expected, layout.FieldOf(layout.IFD1(), 274), row.expected, bigEndian);

      const Edited edited = RunEdit(file, [&](XpAbstractFile& f) {
        return Rotate(f, row.turns, row.fromUpright);
      });
      EXPECT_EQ(edited.result, kXpOk);
      EXPECT_TRUE(edited.file == expected) << Differences(expected, edited.file);
    }
  });
}

TEST_F(XpTiffInPlaceEdit, AMotorolaOrientationIsWrittenBigEndian) {
  BlockPlan plan;
  plan.bigEndian = true;
  plan.withIFD1 = false;
  const std::vector<uint8_t> file = FileOf(plan);
  const size_t field = Layout(file, true).FieldOf(Layout(file, true).IFD0(), 274);
  const Edited edited = RunEdit(file, [](XpAbstractFile& f) { return Rotate(f, 1, true); });
  EXPECT_EQ(edited.result, kXpOk);
  EXPECT_EQ(Differences(file, edited.file), std::to_string(field + 1) + ": 06 -> 08; ");
  EXPECT_EQ(HexOf(&edited.file[field], 2), "00 08");
}

TEST_F(XpTiffInPlaceEdit, AMissingOrientationStopsOnlyInIFD0) {
  ForEachByteOrder([&](bool bigEndian) {
    BlockPlan noThumbnailOrientation;
    noThumbnailOrientation.bigEndian = bigEndian;
    noThumbnailOrientation.orientation1 = -1;
    const std::vector<uint8_t> file = FileOf(noThumbnailOrientation);
    std::vector<uint8_t> expected = file;
    const Layout layout(file, bigEndian);
    Put16(expected, layout.FieldOf(layout.IFD0(), 274), 1, bigEndian);
    Edited edited = RunEdit(file, [](XpAbstractFile& f) { return Rotate(f, 1, false); });
    EXPECT_EQ(edited.result, kXpOk);
    EXPECT_TRUE(edited.file == expected) << Differences(expected, edited.file);

    BlockPlan noMainOrientation;
    noMainOrientation.bigEndian = bigEndian;
    noMainOrientation.orientation0 = -1;
    const std::vector<uint8_t> untouched = FileOf(noMainOrientation);
    edited = RunEdit(untouched, [](XpAbstractFile& f) { return Rotate(f, 1, false); });
    EXPECT_EQ(edited.result, kNotFound);
    EXPECT_EQ(Differences(untouched, edited.file), "");

    // An orientation of another type or count is missing too.
    TiffBlockBuilder builder(bigEndian);
    builder.Header(8).At(8).Ifd({{274, kLong, 1, 6}, {275, kShort, 2, 0}});
    edited = RunEdit(builder.Data(), [](XpAbstractFile& f) {
      return XpTiffRotateOrientationInFile(f, 0, 1, false);
    });
    EXPECT_EQ(edited.result, kNotFound);
    EXPECT_EQ(Differences(builder.Data(), edited.file), "");
  });
}

TEST_F(XpTiffInPlaceEdit, AnIFDLinkedToItselfIsTurnedOnce) {
  TiffBlockBuilder builder;
  builder.Header(8).At(8).Ifd({{274, kShort, 1, 6}}, 8);
  const Edited edited = RunEdit(builder.Data(), [](XpAbstractFile& f) {
    return XpTiffRotateOrientationInFile(f, 0, 1, false);
  });
  EXPECT_EQ(edited.result, kXpOk);
  EXPECT_EQ(Load16At(edited.file, 18, false), 1);
}

// --- Dates ------------------------------------------------------------------

TEST_F(XpTiffInPlaceEdit, DateTimeOfAnotherCountIsLeftAlone) {
  ForEachByteOrder([&](bool bigEndian) {
    BlockPlan plan;
    plan.bigEndian = bigEndian;
    plan.dateTimeCount = 19;
    const std::vector<uint8_t> file = FileOf(plan);
    const Edited edited = RunEdit(file, [](XpAbstractFile& f) {
      return XpTiffWriteDateInFile(f, kBase, NewDate(), false);
    });
    EXPECT_EQ(edited.result, kNotFound);
    EXPECT_EQ(Differences(file, edited.file), "");

    // Missing in IFD 1 alone is not reported.
    BlockPlan thumbnailWithout;
    thumbnailWithout.bigEndian = bigEndian;
    thumbnailWithout.dateTime1 = false;
    EXPECT_EQ(RunEdit(FileOf(thumbnailWithout), [](XpAbstractFile& f) {
                return XpTiffWriteDateInFile(f, kBase, NewDate(), false);
              }).result,
              kXpOk);
  });
}

TEST_F(XpTiffInPlaceEdit, DateTimeSetsTheFileTimeWhenAsked) {
  const std::vector<uint8_t> bytes = FileOf(BlockPlan());
  const XpString path = WriteFile("picture.tif", bytes);
  {
    XpFile file;
    ASSERT_EQ(file.OpenPath(path, kXpOpenReadWrite), kXpOk);
    EXPECT_EQ(XpTiffWriteDateInFile(file, kBase, NewDate(), true), kXpOk);
    ASSERT_EQ(file.Close(), kXpOk);
  }
  XpFile closed(path);
  EXPECT_EQ(XpTiffTagFormatDateTime(closed.GetModificationTime()).View(), kNewDateText);
  const std::vector<uint8_t> written = ReadFile("picture.tif");
  const Layout layout(written, false);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&written[layout.DataOf(layout.IFD1(), 306)])),
            kNewDateText);

  // Without the flag, or when the date could not be written, the time stays.
  const std::vector<uint8_t> noDate = [] {
    BlockPlan plan;
    plan.dateTime0 = false;
    return FileOf(plan);
  }();
  const XpString other = WriteFile("other.tif", noDate);
  const XpDateTime before = XpFile(other).GetModificationTime();
  {
    XpFile file;
    ASSERT_EQ(file.OpenPath(other, kXpOpenReadWrite), kXpOk);
    EXPECT_EQ(XpTiffWriteDateInFile(file, kBase, NewDate(), true), kNotFound);
  }
  EXPECT_EQ(XpFile(other).GetModificationTime(), before);
  EXPECT_EQ(ReadFile("other.tif"), noDate);
}

TEST_F(XpTiffInPlaceEdit, TheExifIFDIsAlsoFoundThroughAnIFDTypedPointer) {
  ForEachByteOrder([&](bool bigEndian) {
    TiffBlockBuilder builder(bigEndian);
    builder.Header(8).At(8).Ifd({{kExifPointer, kIfdType, 1, 26}});
    builder.At(26).Ifd({{36867, kAscii, 20, 44}});
    builder.At(44).Bytes(std::string(kOldDate) + std::string(1, '\0'));
    const Edited edited = RunEdit(builder.Data(), [](XpAbstractFile& f) {
      return XpTiffWriteExifDateInFile(f, 0, 36867, NewDate());
    });
    EXPECT_EQ(edited.result, kXpOk);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&edited.file[44])), kNewDateText);
    EXPECT_EQ(edited.file.size(), builder.Data().size());
  });
}

TEST_F(XpTiffInPlaceEdit, ADateRunningPastTheEndOfTheFileIsNotWritten) {
  ForEachByteOrder([&](bool bigEndian) {
    // IFD 0 with DateTime and the Exif pointer; the Exif IFD with
    // DateTimeOriginal; both dates at the end of the file.
    struct Case {
      const char* name;
      uint32_t bytesOfDate;
      XpResult dateTime;
    };
    const Case cases[] = {
        {"ten bytes before the end", 10, kNotFound},
        {"nineteen bytes before the end", 19, kNotFound},
        {"ending with the file", 20, kXpOk},
    };
    for (const Case& row : cases) {
      SCOPED_TRACE(row.name);
      TiffBlockBuilder builder(bigEndian);
      builder.Header(8).At(8).Ifd({{306, kAscii, 20, 60}, {kExifPointer, kLong, 1, 38}});
      builder.At(38).Ifd({{36867, kAscii, 20, 60}});
      builder.At(60).Bytes(std::string(kOldDate, 20).substr(0, row.bytesOfDate));
      const std::vector<uint8_t> file = builder.Data();
      ASSERT_EQ(file.size(), 60u + row.bytesOfDate);

      Edited edited = RunEdit(file, [](XpAbstractFile& f) {
        return XpTiffWriteDateInFile(f, 0, NewDate(), false);
      });
      EXPECT_EQ(edited.result, row.dateTime);
      if (row.dateTime == kXpOk) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&edited.file[60])), kNewDateText);
      } else {
        EXPECT_EQ(Differences(file, edited.file), "");
      }
      edited = RunEdit(file, [](XpAbstractFile& f) {
        return XpTiffWriteExifDateInFile(f, 0, 36867, NewDate());
      });
      EXPECT_EQ(edited.result, kXpOk);
      EXPECT_EQ(edited.file.size(), file.size());
      EXPECT_EQ(edited.file == file, row.dateTime != kXpOk);
    }
  });
}

// --- Fields written where they are, and nothing where they are not ----------

using Edit = std::function<XpResult(XpAbstractFile&)>;

Edit DateEdit(const XpDateTime& date) {
  return [&date](XpAbstractFile& f) { return XpTiffWriteDateInFile(f, kBase, date, false); };
}

Edit ExifDateEdit(uint16_t tag, const XpDateTime& date) {
  return [tag, &date](XpAbstractFile& f) { return XpTiffWriteExifDateInFile(f, kBase, tag, date); };
}

Edit ColorSpaceEdit() {
  return [](XpAbstractFile& f) { return XpTiffWriteColorSpaceInFile(f, kBase, 0xFFFF); };
}

Edit MakerSubValueEdit() {
  return [](XpAbstractFile& f) { return XpTiffSetMakerSubValueInFile(f, kBase, 0xA1B2C3D4); };
}

TEST_F(XpTiffInPlaceEdit, AnEditWritesItsFieldWhereItIs) {
  using Expect = std::function<void(std::vector<uint8_t>&, const Layout&, bool)>;
  struct Case {
    const char* name;
    Edit edit;
    Expect expect;
  };
  const Case cases[] = {
      {"date time in both IFDs", DateEdit(NewDate()),
       [](std::vector<uint8_t>& bytes, const Layout& layout, bool) {
         PutText(bytes, layout.DataOf(layout.IFD0(), 306), kNewDateText, 20);
         PutText(bytes, layout.DataOf(layout.IFD1(), 306), kNewDateText, 20);
       }},
      {"exif date 36867", ExifDateEdit(36867, NewDate()),
       [](std::vector<uint8_t>& bytes, const Layout& layout, bool) {
         PutText(bytes, layout.DataOf(layout.Exif(), 36867), kNewDateText, 20);
       }},
      {"exif date 36868", ExifDateEdit(36868, NewDate()),
       [](std::vector<uint8_t>& bytes, const Layout& layout, bool) {
         PutText(bytes, layout.DataOf(layout.Exif(), 36868), kNewDateText, 20);
       }},
      {"color space", ColorSpaceEdit(),
       [](std::vector<uint8_t>& bytes, const Layout& layout, bool bigEndian) {
         Put16(bytes, layout.FieldOf(layout.Exif(), 40961), 0xFFFF, bigEndian);
       }},
      {"maker sub value behind B028", MakerSubValueEdit(),
       [](std::vector<uint8_t>& bytes, const Layout& layout, bool bigEndian) {
         Put32(bytes, layout.FieldOf(layout.MakerSubIFD(), 0x88), 0xA1B2C3D4, bigEndian);
       }},
  };
  ForEachByteOrder([&](bool bigEndian) {
    BlockPlan plan;
    plan.bigEndian = bigEndian;
    const std::vector<uint8_t> file = FileOf(plan);
    const Layout layout(file, bigEndian);
    for (const Case& row : cases) {
      SCOPED_TRACE(row.name);
      std::vector<uint8_t> expected = file;
      row.expect(expected, layout, bigEndian);
      const Edited edited = RunEdit(file, row.edit);
      EXPECT_EQ(edited.result, kXpOk);
      EXPECT_TRUE(edited.file == expected) << Differences(expected, edited.file);
    }
  });
}

TEST_F(XpTiffInPlaceEdit, AnEditWithoutItsFieldOrWithABadDateWritesNothing) {
  static const XpDateTime invalid;
  struct Case {
    const char* name;
    std::function<void(BlockPlan&)> change;
    Edit edit;
    XpResult result;
  };
  const auto keep = [](BlockPlan&) {};
  // Without an Exif IFD or without the tag no failure is reported.
  const Case cases[] = {
      {"exif date without an Exif IFD", [](BlockPlan& plan) { plan.withExif = false; },
       ExifDateEdit(36867, NewDate()), kXpOk},
      {"exif date without its tag", [](BlockPlan& plan) { plan.withExifDate = false; },
       ExifDateEdit(36867, NewDate()), kXpOk},
      {"color space without its tag", [](BlockPlan& plan) { plan.withColorSpace = false; }, ColorSpaceEdit(),
       kXpOk},
      {"maker sub value without B028", [](BlockPlan& plan) { plan.withMakerSub = false; }, MakerSubValueEdit(),
       kXpOk},
      {"invalid date", keep, DateEdit(invalid), kXpErrBadArgument},
      {"invalid exif date", keep, ExifDateEdit(36867, invalid), kXpErrBadArgument},
  };
  ForEachByteOrder([&](bool bigEndian) {
    for (const Case& row : cases) {
      SCOPED_TRACE(row.name);
      BlockPlan plan;
      plan.bigEndian = bigEndian;
      row.change(plan);
      const std::vector<uint8_t> untouched = FileOf(plan);
      const Edited edited = RunEdit(untouched, row.edit);
      EXPECT_EQ(edited.result, row.result);
      EXPECT_EQ(Differences(untouched, edited.file), "");
    }
  });
}

// --- Maker note -------------------------------------------------------------

TEST_F(XpTiffInPlaceEdit, MakerLongIsReadAndWritten) {
  ForEachByteOrder([&](bool bigEndian) {
    BlockPlan plan;
    plan.bigEndian = bigEndian;
    const std::vector<uint8_t> file = FileOf(plan);
    const Layout layout(file, bigEndian);
    uint32_t value = 0;
    Edited edited = RunEdit(file, [&](XpAbstractFile& f) {
      return XpTiffAccessMakerLongInFile(f, kBase, false, value);
    });
    EXPECT_EQ(edited.result, kXpOk);
    EXPECT_EQ(value, 0x12345678u);
    EXPECT_EQ(Differences(file, edited.file), "");

    value = 0x0BADF00D;
    std::vector<uint8_t> expected = file;
    Put32(expected, layout.FieldOf(layout.MakerNoteIFD(), 0x2002), value, bigEndian);
    edited = RunEdit(file, [&](XpAbstractFile& f) {
      return XpTiffAccessMakerLongInFile(f, kBase, true, value);
    });
    EXPECT_EQ(edited.result, kXpOk);
    EXPECT_TRUE(edited.file == expected) << Differences(expected, edited.file);
  });
}

TEST_F(XpTiffInPlaceEdit, MakerNoteOperationsNeedTheMarker) {
  ForEachByteOrder([&](bool bigEndian) {
    BlockPlan plan;
    plan.bigEndian = bigEndian;
    const std::vector<uint8_t> good = FileOf(plan);
    const size_t start = Layout(good, bigEndian).MakerNoteStart();
    struct Case {
      const char* name;
      size_t at;
      uint8_t byte;
      bool accepted;
    };
    const Case cases[] = {
        {"11th byte 2", 10, 2, false},
        {"11th byte 1", 10, 1, false},
        {"11th byte negative", 10, 0xFF, true},
        {"unmarked", 0, 'X', false},
        {"10th byte not NUL", 9, 'Y', false},
        {"12th byte anything", 11, 'Z', true},
    };
    for (const Case& row : cases) {
      SCOPED_TRACE(row.name);
      std::vector<uint8_t> file = good;
      file[start + row.at] = row.byte;
      uint32_t value = 0xCAFEF00D;
      const Edited read = RunEdit(file, [&](XpAbstractFile& f) {
        return XpTiffAccessMakerLongInFile(f, kBase, false, value);
      });
      EXPECT_EQ(read.result, row.accepted ? kXpOk : kNotFound);
      EXPECT_EQ(value, row.accepted ? 0x12345678u : 0xCAFEF00Du);
      value = 0x0BADF00D;
      const std::function<XpResult(XpAbstractFile&)> writes[] = {
          [&](XpAbstractFile& f) { return XpTiffAccessMakerLongInFile(f, kBase, true, value); },
          [](XpAbstractFile& f) { return XpTiffSetMakerSubValueInFile(f, kBase, 9); },
          [](XpAbstractFile& f) { return XpTiffSetMakerTag2001InFile(f, kBase, 0, 4); },
      };
      const XpResult missing[] = {kNotFound, kXpOk, kXpOk};
      for (size_t index = 0; index < std::size(writes); ++index) {
        SCOPED_TRACE(index);
        const Edited edited = RunEdit(file, writes[index]);
        EXPECT_EQ(edited.result, row.accepted ? kXpOk : missing[index]);
        EXPECT_EQ(edited.file != file, row.accepted);
      }
    }
  });
}

TEST_F(XpTiffInPlaceEdit, MakerPathsMissingPartsGiveTheirResults) {
  ForEachByteOrder([&](bool bigEndian) {
    BlockPlan noExif;
    noExif.bigEndian = bigEndian;
    noExif.withExif = false;
    BlockPlan noMakerNote;
    noMakerNote.bigEndian = bigEndian;
    noMakerNote.withMakerNote = false;
    for (const BlockPlan& plan : {noExif, noMakerNote}) {
      const std::vector<uint8_t> file = FileOf(plan);
      uint32_t value = 1;
      const std::function<XpResult(XpAbstractFile&)> edits[] = {
          [&](XpAbstractFile& f) { return XpTiffAccessMakerLongInFile(f, kBase, false, value); },
          [&](XpAbstractFile& f) { return XpTiffAccessMakerLongInFile(f, kBase, true, value); },
          [](XpAbstractFile& f) { return XpTiffSetMakerSubValueInFile(f, kBase, 9); },
          [](XpAbstractFile& f) { return XpTiffSetMakerTag2001InFile(f, kBase, 0, 4); },
      };
      const XpResult expected[] = {kNotFound, kNotFound, kXpOk, kXpOk};
      for (size_t index = 0; index < std::size(edits); ++index) {
        SCOPED_TRACE(index);
        const Edited edited = RunEdit(file, edits[index]);
        EXPECT_EQ(edited.result, expected[index]);
        EXPECT_EQ(Differences(file, edited.file), "");
      }
    }
  });
}

TEST_F(XpTiffInPlaceEdit, MakerTag2001GetsACountAndOffsetInsideTheFile) {
  ForEachByteOrder([&](bool bigEndian) {
    BlockPlan plan;
    plan.bigEndian = bigEndian;
    const std::vector<uint8_t> file = FileOf(plan);
    const Layout layout(file, bigEndian);
    const size_t entry = layout.EntryOf(layout.MakerNoteIFD(), kMakerTag2001);
    const auto room = static_cast<uint32_t>(file.size() - static_cast<size_t>(kBase));

    struct Case {
      const char* name;
      uint32_t offset;
      uint32_t count;
      bool written;
    };
    const Case cases[] = {
        {"inside", 8, 16, true},
        {"ending with the file", room - 10, 10, true},
        {"one byte past the end", room - 10, 11, false},
        {"offset beyond the file", room + 100, 0, false},
        {"wrapping sum", 0xFFFFFFF0u, 0x20, false},
    };
    for (const Case& row : cases) {
      SCOPED_TRACE(row.name);
      std::vector<uint8_t> expected = file;
      if (row.written) {
        Put32(expected, entry + 4, row.count, bigEndian);
        Put32(expected, entry + 8, row.offset, bigEndian);
      }
      const Edited edited = RunEdit(file, [&](XpAbstractFile& f) {
        return XpTiffSetMakerTag2001InFile(f, kBase, row.offset, row.count);
      });
      EXPECT_EQ(edited.result, row.written ? kXpOk : kNotFound);
      EXPECT_TRUE(edited.file == expected) << Differences(expected, edited.file);
    }
  });
}

// --- Blocks that are not there ------------------------------------------------

struct NamedEdit {
  const char* name;
  Edit edit;
};

// One call of every edit that writes; value is the maker long to write.
std::vector<NamedEdit> EveryWritingEdit(bool dateSetsFileTime, uint32_t& value) {
  return {
      {"orientation", [](XpAbstractFile& f) { return Rotate(f, 1, false); }},
      {"date",
       [dateSetsFileTime](XpAbstractFile& f) {
         return XpTiffWriteDateInFile(f, kBase, NewDate(), dateSetsFileTime);
       }},
      {"exif date", [](XpAbstractFile& f) { return XpTiffWriteExifDateInFile(f, kBase, 36867, NewDate()); }},
      {"color space", [](XpAbstractFile& f) { return XpTiffWriteColorSpaceInFile(f, kBase, 2); }},
      {"maker long", [&value](XpAbstractFile& f) { return XpTiffAccessMakerLongInFile(f, kBase, true, value); }},
      {"maker sub value", [](XpAbstractFile& f) { return XpTiffSetMakerSubValueInFile(f, kBase, 1); }},
      {"maker tag 2001", [](XpAbstractFile& f) { return XpTiffSetMakerTag2001InFile(f, kBase, 0, 0); }},
  };
}

TEST_F(XpTiffInPlaceEdit, EveryEditNeedsAValidHeader) {
  const std::vector<uint8_t> good = FileOf(BlockPlan());
  std::vector<uint8_t> badOrder = good;
  badOrder[kBase] = 'X';
  std::vector<uint8_t> badMagic = good;
  badMagic[kBase + 2] = 43;
  // IFD 0 at 8 and the file ending 2 bytes behind it.
  TiffBlockBuilder tooShort;
  tooShort.Header(8).U16(1);
  std::vector<uint8_t> ifdAtTheEnd(kPrefix.begin(), kPrefix.end());
  ifdAtTheEnd.insert(ifdAtTheEnd.end(), tooShort.Data().begin(), tooShort.Data().end());
  const std::vector<uint8_t> headerCut(good.begin(), good.begin() + kBase + 6);
  const std::vector<uint8_t> files[] = {badOrder, badMagic, ifdAtTheEnd, headerCut, {}};

  uint32_t value = 0;
  const std::vector<NamedEdit> edits = EveryWritingEdit(true, value);
  for (size_t fileIndex = 0; fileIndex < std::size(files); ++fileIndex) {
    for (const NamedEdit& named : edits) {
      SCOPED_TRACE("file " + std::to_string(fileIndex) + " edit " + named.name);
      const Edited edited = RunEdit(files[fileIndex], named.edit);
      EXPECT_EQ(edited.result, kNoBlock);
      EXPECT_EQ(Differences(files[fileIndex], edited.file), "");
    }
  }
  // A base past the end of the file, or before its start.
  EXPECT_EQ(RunEdit(good, [&](XpAbstractFile& f) {
              return XpTiffRotateOrientationInFile(f, static_cast<int64_t>(good.size()), 1, false);
            }).result,
            kNoBlock);
  EXPECT_EQ(RunEdit(good, [](XpAbstractFile& f) {
              return XpTiffRotateOrientationInFile(f, -1, 1, false);
            }).result,
            kNoBlock);
}

// --- Failing writes -----------------------------------------------------------

TEST_F(XpTiffInPlaceEdit, AFailingWriteIsReported) {
  testsupport::FaultInjection faults;
  const std::vector<uint8_t> bytes = FileOf(BlockPlan());
  const XpString path = WriteFile("picture.tif", bytes);
  faults.Add(testsupport::Fault(testsupport::SysCall::kWrite, Root().string()).Errno(EIO));
  uint32_t value = 5;
  for (const NamedEdit& named : EveryWritingEdit(true, value)) {
    SCOPED_TRACE(named.name);
    XpFile file;
    ASSERT_EQ(file.OpenPath(path, kXpOpenReadWrite), kXpOk);
    const XpResult result = named.edit(file);
    EXPECT_NE(result, kXpOk);
    EXPECT_NE(result, kNotFound);
    EXPECT_NE(result, kNoBlock);
  }
  EXPECT_EQ(ReadFile("picture.tif"), bytes);
}

TEST_F(XpTiffInPlaceEdit, AnEditSyncsTheFileBeforeItReturns) {
  testsupport::FaultInjection faults;
  const std::vector<uint8_t> bytes = FileOf(BlockPlan());
  uint32_t value = 5;
  for (const NamedEdit& c : EveryWritingEdit(false, value)) {
    SCOPED_TRACE(c.name);
    const XpString path = WriteFile("picture.tif", bytes);
    const std::string narrowPath = (Root() / "picture.tif").string();
    faults.Clear();
    const int syncs = faults.Add(testsupport::Fault(testsupport::SysCall::kFsync, narrowPath).Errno(EIO));
    XpFile file;
    ASSERT_EQ(file.OpenPath(path, kXpOpenReadWrite), kXpOk);
    XpClearSysFailure();

    EXPECT_EQ(c.edit(file), kXpErrDeviceNotReady);

    EXPECT_EQ(faults.Hits(syncs), 1);
    EXPECT_EQ(XpDescribeSysFailure(XpLastSysFailure()),
              "fsync " + narrowPath + ": Input/output error");
    // The change was written before the sync failed.
    EXPECT_NE(Differences(bytes, ReadFile("picture.tif")), "");
  }
}

TEST_F(XpTiffInPlaceEdit, AnEditThatWritesNothingDoesNotSync) {
  testsupport::FaultInjection faults;
  BlockPlan plan;
  plan.withColorSpace = false;
  const std::vector<uint8_t> bytes = FileOf(plan);
  const XpString path = WriteFile("picture.tif", bytes);
  const int syncs = faults.Add(testsupport::Fault(testsupport::SysCall::kFsync, Root().string()).Errno(EIO));
  XpFile file;
  ASSERT_EQ(file.OpenPath(path, kXpOpenReadWrite), kXpOk);
  uint32_t value = 0;

  EXPECT_EQ(XpTiffWriteColorSpaceInFile(file, kBase, 2), kXpOk);
  EXPECT_EQ(XpTiffAccessMakerLongInFile(file, kBase, false, value), kXpOk);

  EXPECT_EQ(faults.Hits(syncs), 0);
  EXPECT_EQ(ReadFile("picture.tif"), bytes);
}

}  // namespace
