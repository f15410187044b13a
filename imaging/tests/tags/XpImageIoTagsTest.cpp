#include "imaging/io/XpImageIoTags.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/io/XpImageIo.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/tags/TagTreeSupport.h"
#include "imaging/tests/tags/TiffBlockBuilder.h"
#include "platform/fs/XpFile.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

// A reader whose tag block is wherever "II" or "MM" stands at the offset.
class BlockReader : public ::XpImageIo {
 public:
  XpPixmapBase* ReadOrientedPixmap(XpAbstractFile& /*file*/, int64_t /*offset*/) override {
    return nullptr;
  }

  XpResult LocateTiffBlock(XpAbstractFile& file, int64_t offset) override {
    char mark[2] = {};
    uint64_t done = 0;
    if (XpFailed(file.Seek(offset, kXpSeekBegin)) || XpFailed(file.Read(mark, 2, &done)) ||
        done != 2 || mark[0] != mark[1] || (mark[0] != 'I' && mark[0] != 'M')) {
      return SetLastError(kXpErrImageNoTiffBlock);
    }
    return SetLastError(file.Seek(offset, kXpSeekBegin));
  }

  int32_t GetFormatFlag() override { return formatFlag; }

  int32_t formatFlag = 0;
};

class ImageIoTagsTest : public testsupport::HermeticTest {
 protected:
  XpString Save(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = Root() / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return XpString::FromUtf8(path.string());
  }

  BlockReader reader_;
};
using XpImageIoTags = ImageIoTagsTest;

TEST_F(XpImageIoTags, ReadTagsFromPathParsesTheLocatedBlock) {
  auto written = FullTagTree(true);
  const std::vector<uint8_t> bytes = WrittenBytes(*written);
  XpSharedPtr<XpTiffTagManager> tags = reader_.ReadTagsFromPath(Save("picture.tif", bytes));
  ASSERT_TRUE(tags);
  EXPECT_EQ(reader_.GetLastError(), kXpOk);
  EXPECT_EQ(DescribeTree(*tags), DescribeTree(*written));

  // Behind other bytes, from an open file.
  std::vector<uint8_t> framed(37 + bytes.size(), 'x');
  std::copy(bytes.begin(), bytes.end(), framed.begin() + 37);
  XpFile file;
  ASSERT_EQ(file.OpenPath(Save("framed.bin", framed), kXpOpenRead), kXpOk);
  XpSharedPtr<XpTiffTagManager> inner = reader_.ReadTags(file, 37);
  ASSERT_TRUE(inner);
  EXPECT_EQ(DescribeTree(*inner), DescribeTree(*written));
}

TEST_F(XpImageIoTags, ABadHeaderGivesNoTagsAndNoTiffBlock) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"IFD 0 beyond the end", TiffBlockBuilder().Header(4000).U16(0).U32(0).Data()},
      {"no block at all", {'J', 'P', 'E', 'G'}},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    EXPECT_FALSE(reader_.ReadTagsFromPath(Save("bad.tif", entry.bytes)));
    EXPECT_EQ(reader_.GetLastError(), 0x8602u);
  }
}

TEST_F(XpImageIoTags, TheFormatFlagIsTheMakerNoteMode) {
  TiffBlockBuilder block;
  block.Header().Ifd({{37500, 7, 30, 26}}, 0);
  block.At(26).Bytes(std::string("KAVO DSC \0\0\0", 12)).U16(1).ShortEntry(1, 5).U32(0);
  std::vector<uint8_t> bytes = block.Data();
  for (int32_t flag : {0, 1}) {
    SCOPED_TRACE(flag);
    reader_.formatFlag = flag;
    XpMemoryFile file(bytes.data(), bytes.size(), false);
    XpSharedPtr<XpTiffTagManager> tags = reader_.ReadTags(file, 0);
    ASSERT_TRUE(tags);
    EXPECT_EQ(tags->FindTag(37500, false)->IsSubIFD(), flag == 0);
  }
}

TEST_F(XpImageIoTags, NoHolderForTheTreeIsOutOfMemory) {
  std::vector<uint8_t> bytes = TiffBlockBuilder().Header().Ifd({{274, 3, 1, 1}}).Data();
  XpMemoryFile file(bytes.data(), bytes.size(), false);
  XpSharedPtrDetail::FailNextCounterAllocationForTest();
  EXPECT_FALSE(reader_.ReadTags(file, 0));
  EXPECT_EQ(reader_.GetLastError(), 0x8401u);
}

// IFD 0 {513 LONG 1000, 274 SHORT 6, 282 RATIONAL, 5 LONG of count 0,
// 34665 -> Exif {40962 LONG 640, 41729 SHORT 3}}, IFD 1 {259 SHORT 6}.
std::unique_ptr<XpTiffTagManager> HelperTree() {
  auto tags = std::make_unique<XpTiffTagManager>();
  EXPECT_TRUE(tags->Reset());
  auto* ifd0 = new XpTiffTagIFD();
  ifd0->SetLong(513, 1000);
  ifd0->SetShort(274, 6);
  ifd0->SetRational(282, 72, 1);
  ifd0->SetEntry(XpTiffTagDataCreate(4, 5, 0));
  auto* exif = new XpTiffTagIFD();
  exif->SetLong(40962, 640);
  exif->SetShort(41729, 3);
  XpTiffTagDataIFD* pointer = XpTiffTagDataIFD::Create(34665, 1);
  pointer->AddIFD(exif);
  ifd0->SetEntry(pointer);
  tags->GetRoot()->AddIFD(ifd0);
  auto* ifd1 = new XpTiffTagIFD();
  ifd1->SetShort(259, 6);
  tags->GetRoot()->AddIFD(ifd1);
  return tags;
}

TEST_F(XpImageIoTags, HelpersReadLongAndShortValues) {
  auto tags = HelperTree();
  const XpTiffTagIFD* ifd0 = tags->GetIFD(0);
  const struct {
    const char* name;
    bool shortOrLong;
    uint16_t tag;
    bool recurse;
    XpResult result;
    uint32_t value;
  } cases[] = {
      {"LONG", false, 513, false, 0, 1000},
      {"LONG as short or long", true, 513, false, 0, 1000},
      {"SHORT as short or long", true, 274, false, 0, 6},
      {"SHORT as LONG", false, 274, false, 0x8601, 77},
      {"missing", false, 999, true, 0x8601, 77},
      {"missing as short or long", true, 999, true, 0x8601, 77},
      {"RATIONAL", true, 282, false, 0x8601, 77},
      {"sub-IFD pointer", false, 34665, false, 0x8601, 77},
      {"no element", false, 5, false, 0x8601, 77},
      {"Exif without recurse", false, 40962, false, 0x8601, 77},
      {"Exif with recurse", false, 40962, true, 0, 640},
      {"Exif SHORT with recurse", true, 41729, true, 0, 3},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    uint32_t value = 77;
    const XpResult result = entry.shortOrLong
                                ? XpImageIoGetShortOrLongTag(ifd0, entry.tag, &value, entry.recurse)
                                : XpImageIoGetLongTag(ifd0, entry.tag, &value, entry.recurse);
    EXPECT_EQ(result, entry.result);
    EXPECT_EQ(value, entry.value);
  }
  uint32_t value = 0;
  EXPECT_EQ(XpImageIoGetLongTag(static_cast<const XpTiffTagIFD*>(nullptr), 513, &value, true),
            0x8601u);
  EXPECT_EQ(XpImageIoGetLongTag(ifd0, 513, nullptr, false), kXpErrBadArgument);
  EXPECT_EQ(XpImageIoGetShortOrLongTag(ifd0, 513, nullptr, false), kXpErrBadArgument);
}

TEST_F(XpImageIoTags, ManagerHelpersReadOneTopLevelIFD) {
  auto tags = HelperTree();
  uint32_t value = 0;
  EXPECT_EQ(XpImageIoGetLongTag(tags.get(), 513, 0, &value), kXpOk);
  EXPECT_EQ(value, 1000u);
  EXPECT_EQ(XpImageIoGetShortOrLongTag(tags.get(), 259, 1, &value), kXpOk);
  EXPECT_EQ(value, 6u);
  EXPECT_EQ(XpImageIoGetShortOrLongTag(tags.get(), 274, 1, &value), 0x8601u);
  EXPECT_EQ(XpImageIoGetLongTag(tags.get(), 40962, 0, &value), 0x8601u);
  EXPECT_EQ(XpImageIoGetLongTag(tags.get(), 513, 2, &value), 0x8601u);
  EXPECT_EQ(XpImageIoGetLongTag(tags.get(), 513, -1, &value), 0x8601u);
  EXPECT_EQ(XpImageIoGetLongTag(static_cast<const XpTiffTagManager*>(nullptr), 513, 0, &value),
            0x8601u);
  XpTiffTagManager empty;
  EXPECT_EQ(XpImageIoGetShortOrLongTag(&empty, 513, 0, &value), 0x8601u);
}

}  // namespace
