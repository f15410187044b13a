#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/io/XpImageIo.h"
#include "imaging/tags/XpTiffInPlaceEdit.h"
#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagFormat.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/tags/TagTreeSupport.h"
#include "platform/fs/XpFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr XpResult kNotFound = 0x8601;
// The tag block of the test files starts behind this.
const std::string kPrefix = "PICTURE-HEAD";
const int64_t kBlockOffset = static_cast<int64_t>(kPrefix.size());
constexpr const char* kOldDate = "2001:02:03 04:05:06";

// A reader whose tag block always lies at kBlockOffset.
class BlockAtOffsetReader : public XpImageIo {
 public:
  XpPixmapBase* ReadOrientedPixmap(XpAbstractFile& /*file*/, int64_t /*offset*/) override {
    return nullptr;
  }
  XpResult LocateTiffBlock(XpAbstractFile& file, int64_t offset) override {
    return SetLastError(file.Seek(offset + kBlockOffset, kXpSeekBegin));
  }
};

struct Picture {
  bool withDateTime = true;
  bool markedMakerNote = true;
};

// IFD 0 with Orientation 6 and (optionally) DateTime, the Exif IFD with
// DateTimeOriginal and a maker note holding 0x2002; big-endian.
std::vector<uint8_t> PictureBytes(const Picture& picture) {
  XpTiffTagManager tags;
  EXPECT_TRUE(tags.Reset());
  tags.SetByteOrder(kXpByteOrderBigEndian);
  auto* ifd0 = new XpTiffTagIFD();
  ifd0->SetShort(274, 6);
  if (picture.withDateTime) ifd0->SetAscii(306, kOldDate);
  auto* exif = new XpTiffTagIFD();
  exif->SetAscii(36867, kOldDate);
  auto* makerNote = new XpTiffTagIFD();
  makerNote->SetMakerNote(true);
  makerNote->SetLong(0x2002, 1);
  XpTiffTagDataIFD* makerValue = XpTiffTagDataIFD::Create(37500, 0);
  makerValue->AddIFD(makerNote);
  exif->SetEntry(makerValue);
  XpTiffTagDataIFD* exifValue = XpTiffTagDataIFD::Create(34665, 0);
  exifValue->AddIFD(exif);
  ifd0->SetEntry(exifValue);
  tags.GetRoot()->AddIFD(ifd0);
  std::vector<uint8_t> bytes(kPrefix.begin(), kPrefix.end());
  const std::vector<uint8_t> block = WrittenBytes(tags);
  bytes.insert(bytes.end(), block.begin(), block.end());
  if (!picture.markedMakerNote) {
    // Spoil the marker in front of the maker-note IFD.
    const std::string marker("KAVO DSC ");
    auto at = std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end());
    EXPECT_NE(at, bytes.end());
    *at = 'X';
  }
  return bytes;
}

class ImageIoTagEditTest : public testsupport::HermeticTest {
 protected:
  XpString WritePicture(const Picture& picture) {
    const std::vector<uint8_t> bytes = PictureBytes(picture);
    std::ofstream(Root() / "picture.jpg", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return XpString::FromUtf8((Root() / "picture.jpg").string());
  }

  std::vector<uint8_t> FileBytes() {
    std::ifstream file(Root() / "picture.jpg", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
  }

  std::unique_ptr<XpTiffTagManager> Tags() {
    return ParsedBytes(FileBytes(), XpTiffMakerNoteMode::MakerNoteWhenMarked, nullptr,
                       kBlockOffset);
  }

  // The modification time of the picture as an Exif date.
  std::string ModificationText(const XpString& path) {
    return std::string(XpTiffTagFormatDateTime(XpFile(path).GetModificationTime()).View());
  }

  BlockAtOffsetReader reader_;
};
using XpImageIoTagEdit = ImageIoTagEditTest;

// Whether text lies between the two dates, both included.
bool IsBetween(const std::string& text, const XpDateTime& before, const XpDateTime& after) {
  return text >= std::string(XpTiffTagFormatDateTime(before).View()) &&
         text <= std::string(XpTiffTagFormatDateTime(after).View());
}

TEST_F(XpImageIoTagEdit, UpdateTagTurnsAndStampsNow) {
  const XpString path = WritePicture(Picture());
  const XpDateTime before = XpDateTime::Now();
  EXPECT_EQ(reader_.UpdateTagFromPath(path, 1, false), kXpOk);
  const XpDateTime after = XpDateTime::Now();
  EXPECT_EQ(reader_.GetLastError(), kXpOk);

  const std::unique_ptr<XpTiffTagManager> tags = Tags();
  EXPECT_EQ(tags->GetIFD(0)->GetShort(274), 1);
  const std::string stamped(tags->GetIFD(0)->GetAsciiA(306).View());
  EXPECT_TRUE(IsBetween(stamped, before, after)) << stamped;
  EXPECT_EQ(ModificationText(path), stamped);
  EXPECT_EQ(std::string(tags->GetExifIFD()->GetAsciiA(36867).View()), kOldDate);
}

TEST_F(XpImageIoTagEdit, UpdateTagTurnsAPictureWithoutDateTime) {
  const XpString path = WritePicture(Picture{false, true});
  EXPECT_EQ(reader_.UpdateTagFromPath(path, 2, false), kXpOk);
  EXPECT_EQ(Tags()->GetIFD(0)->GetShort(274), 8);
}

TEST_F(XpImageIoTagEdit, UpdateTagsWritesTheGivenDate) {
  const XpString path = WritePicture(Picture());
  const XpDateTime date(2010, 11, 12, 13, 14, 15);
  EXPECT_EQ(reader_.UpdateTagsFromPath(path, date, true), kXpOk);
  EXPECT_EQ(std::string(Tags()->GetIFD(0)->GetAsciiA(306).View()), "2010:11:12 13:14:15");
  EXPECT_EQ(ModificationText(path), "2010:11:12 13:14:15");
  EXPECT_EQ(Tags()->GetIFD(0)->GetShort(274), 6);

  const XpString bare = WritePicture(Picture{false, true});
  const std::vector<uint8_t> untouched = FileBytes();
  EXPECT_EQ(reader_.UpdateTagsFromPath(bare, date, true), kNotFound);
  EXPECT_EQ(reader_.GetLastError(), kNotFound);
  EXPECT_EQ(FileBytes(), untouched);
}

TEST_F(XpImageIoTagEdit, WriteDateTimeSetsTheShootingDateAndStampsNow) {
  const XpString path = WritePicture(Picture());
  const XpDateTime before = XpDateTime::Now();
  EXPECT_EQ(reader_.WriteDateTimeFromPath(path, XpDateTime(2009, 5, 6, 7, 8, 9)), kXpOk);
  const XpDateTime after = XpDateTime::Now();

  const std::unique_ptr<XpTiffTagManager> tags = Tags();
  EXPECT_EQ(std::string(tags->GetExifIFD()->GetAsciiA(36867).View()), "2009:05:06 07:08:09");
  const std::string stamped(tags->GetIFD(0)->GetAsciiA(306).View());
  EXPECT_TRUE(IsBetween(stamped, before, after)) << stamped;
  EXPECT_EQ(ModificationText(path), stamped);
  EXPECT_EQ(tags->GetIFD(0)->GetShort(274), 6);
}

TEST_F(XpImageIoTagEdit, RewriteAndCheckTheMakerLong) {
  const XpString path = WritePicture(Picture());
  EXPECT_EQ(reader_.RewriteTagsInPlace(path, 0x12345678), kXpOk);
  XpFile file;
  ASSERT_EQ(file.OpenPath(path, kXpOpenRead), kXpOk);
  uint32_t value = 0;
  EXPECT_EQ(XpTiffAccessMakerLongInFile(file, kBlockOffset, false, value), kXpOk);
  EXPECT_EQ(value, 0x12345678u);
  ASSERT_EQ(file.Close(), kXpOk);

  const std::vector<uint8_t> rewritten = FileBytes();
  EXPECT_EQ(reader_.CheckTagsInPlace(path, 0x0BADF00D), kXpOk);
  EXPECT_EQ(reader_.GetLastError(), kXpOk);
  EXPECT_EQ(FileBytes(), rewritten);

  const XpString unmarked = WritePicture(Picture{true, false});
  const std::vector<uint8_t> untouched = FileBytes();
  EXPECT_EQ(reader_.CheckTagsInPlace(unmarked, 5), kNotFound);
  EXPECT_EQ(reader_.RewriteTagsInPlace(unmarked, 5), kNotFound);
  EXPECT_EQ(reader_.GetLastError(), kNotFound);
  EXPECT_EQ(FileBytes(), untouched);
}

}  // namespace
