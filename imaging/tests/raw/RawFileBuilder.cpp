#include "imaging/tests/raw/RawFileBuilder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/memory/XpMemoryFile.h"

namespace {

constexpr int32_t kPreviewQuality = 90;
constexpr uint16_t kTagMakerNote = 37500;
constexpr uint16_t kTagExif = 34665;
constexpr uint16_t kTagSubIFDs = 330;
constexpr uint16_t kTagPreviewOffset = 513;
constexpr uint16_t kTypeLong = 4;
constexpr uint32_t kPlaceholderOffset = 2;
constexpr int32_t kSecondPreviewWidth = 64;
constexpr int32_t kSecondPreviewHeight = 48;
constexpr uint32_t kFillerLength = 16;

std::vector<uint8_t> BytesOf(const XpMemoryFile& file) {
  const auto* data = static_cast<const uint8_t*>(file.GetBuffer());
  return data != nullptr ? std::vector<uint8_t>(data, data + file.GetDataSize())
                         : std::vector<uint8_t>();
}

std::vector<uint8_t> WrittenBlock(XpTiffTagManager& tags) {
  XpMemoryFile file;
  tags.Write(file);
  return BytesOf(file);
}

std::unique_ptr<XpTiffTagManager> EmptyTree(bool bigEndian) {
  auto tags = std::make_unique<XpTiffTagManager>();
  tags->Reset();
  tags->SetByteOrder(bigEndian ? kXpByteOrderBigEndian : kXpByteOrderLittleEndian);
  return tags;
}

void AddSubIFD(XpTiffTagIFD& owner, uint16_t tag, XpTiffTagIFD* ifd) {
  XpTiffTagDataIFD* value = XpTiffTagDataIFD::Create(tag, 0);
  value->AddIFD(ifd);
  owner.SetEntry(value);
}

void SetLongPair(XpTiffTagIFD& ifd, uint16_t tag, uint32_t first, uint32_t second) {
  XpTiffTagDataBase* value = XpTiffTagDataCreate(kTypeLong, tag, 2);
  const uint32_t pair[2] = {first, second};
  std::memcpy(value->GetData(), pair, sizeof pair);
  ifd.SetEntry(value);
}

XpTiffTagIFD* ExifIfd(const std::string& dateTimeOriginal, uint16_t colorSpace) {
  auto* exif = new XpTiffTagIFD();
  exif->SetAscii(36867, dateTimeOriginal.c_str());
  exif->SetShort(40961, colorSpace);
  return exif;
}

bool HasMakerNote(const ZkpLayout& layout) {
  return layout.modelCode >= 0 || layout.fullWidth != 0 || layout.fullHeight != 0;
}

std::unique_ptr<XpTiffTagManager> ZkpTags(const ZkpLayout& layout, uint32_t previewOffset) {
  auto tags = EmptyTree(layout.bigEndian);
  auto* ifd0 = new XpTiffTagIFD();
  if (layout.width != 0) {
    ifd0->SetLong(256, layout.width);
  }
  if (layout.height != 0) {
    ifd0->SetLong(257, layout.height);
  }
  if (!layout.model.empty()) {
    ifd0->SetAscii(272, layout.model.c_str());
  }
  ifd0->SetShort(274, layout.orientation);
  if (!layout.software.empty()) {
    ifd0->SetAscii(305, layout.software.c_str());
  }
  ifd0->SetAscii(306, layout.dateTime.c_str());
  if (layout.previewTag == ZkpPreviewTag::kIfd0) {
    ifd0->SetLong(kTagPreviewOffset, previewOffset);
  } else if (layout.previewTag == ZkpPreviewTag::kZero) {
    ifd0->SetLong(kTagPreviewOffset, 0);
  }
  if (layout.subIfdCount > 0) {
    XpTiffTagDataIFD* subIFDs = XpTiffTagDataIFD::Create(kTagSubIFDs, 0);
    for (int32_t index = 0; index < layout.subIfdCount; ++index) {
      auto* sub = new XpTiffTagIFD();
      sub->SetLong(254, 0);
      if (layout.subWidth != 0) {
        sub->SetLong(256, layout.subWidth);
      }
      if (layout.subHeight != 0) {
        sub->SetLong(257, layout.subHeight);
      }
      subIFDs->AddIFD(sub);
    }
    ifd0->SetEntry(subIFDs);
  }
  XpTiffTagIFD* exif = ExifIfd(layout.dateTimeOriginal, layout.colorSpace);
  if (HasMakerNote(layout)) {
    auto* maker = new XpTiffTagIFD();
    maker->SetMakerNote(layout.makerNoteMarked);
    maker->SetShort(1, 5);
    if (layout.modelCode >= 0) {
      maker->SetShort(0xB001, static_cast<uint16_t>(layout.modelCode));
    }
    if (layout.fullWidth != 0 || layout.fullHeight != 0) {
      SetLongPair(*maker, 0xB02B, layout.fullHeight, layout.fullWidth);
    }
    AddSubIFD(*exif, kTagMakerNote, maker);
  }
  AddSubIFD(*ifd0, kTagExif, exif);
  tags->GetRoot()->AddIFD(ifd0);
  auto* ifd1 = new XpTiffTagIFD();
  ifd1->SetShort(259, 6);
  if (layout.previewTag == ZkpPreviewTag::kIfd1) {
    ifd1->SetLong(kTagPreviewOffset, previewOffset);
  }
  tags->GetRoot()->AddIFD(ifd1);
  return tags;
}

void Put16(std::vector<uint8_t>& out, uint16_t value, bool bigEndian) {
  const uint8_t high = static_cast<uint8_t>(value >> 8);
  const uint8_t low = static_cast<uint8_t>(value);
  out.push_back(bigEndian ? high : low);
  out.push_back(bigEndian ? low : high);
}

void Put32(std::vector<uint8_t>& out, uint32_t value, bool bigEndian) {
  Put16(out, static_cast<uint16_t>(bigEndian ? value >> 16 : value), bigEndian);
  Put16(out, static_cast<uint16_t>(bigEndian ? value : value >> 16), bigEndian);
}

void PutBlock(std::vector<uint8_t>& out, const char* name, const std::vector<uint8_t>& data,
              uint32_t declaredLength, bool bigEndian) {
  out.push_back(0);
  out.insert(out.end(), name, name + 3);
  Put32(out, declaredLength, bigEndian);
  out.insert(out.end(), data.begin(), data.end());
}

std::vector<uint8_t> PrdData(const MrwLayout& layout) {
  std::vector<uint8_t> data(layout.prdLength, 0);
  if (data.size() >= 16) {
    std::vector<uint8_t> numbers;
    Put16(numbers, layout.prdHeight, layout.bigEndian);
    Put16(numbers, layout.prdWidth, layout.bigEndian);
    std::copy(numbers.begin(), numbers.end(), data.begin() + 12);
  }
  return data;
}

std::unique_ptr<XpTiffTagManager> MrwTags(const MrwLayout& layout, const std::vector<uint8_t>& preview,
                                          uint32_t previewOffset) {
  auto tags = EmptyTree(layout.bigEndian);
  auto* ifd0 = new XpTiffTagIFD();
  ifd0->SetShort(274, layout.orientation);
  ifd0->SetAscii(306, layout.dateTimeOriginal.c_str());
  XpTiffTagIFD* exif = ExifIfd(layout.dateTimeOriginal, layout.colorSpace);
  auto* maker = new XpTiffTagIFD();
  maker->SetMakerNote(true);
  maker->SetShort(1, 5);
  const auto count = static_cast<uint32_t>(preview.size());
  switch (layout.previewPlace) {
    case MrwPreviewPlace::kOffsetTags:
      maker->SetLong(0x88, previewOffset);
      maker->SetLong(0x89, layout.previewLengthOverride != 0 ? layout.previewLengthOverride : count);
      break;
    case MrwPreviewPlace::kTag2:
      maker->SetUndefined(2, preview.data(), count);
      break;
    case MrwPreviewPlace::kTag128:
      maker->SetUndefined(0x80, preview.data(), count);
      break;
    case MrwPreviewPlace::kTag2And128: {
      maker->SetUndefined(2, preview.data(), count);
      const std::vector<uint8_t> other = BuildPreviewJpeg(kSecondPreviewWidth, kSecondPreviewHeight);
      maker->SetUndefined(0x80, other.data(), static_cast<uint32_t>(other.size()));
      break;
    }
    case MrwPreviewPlace::kNone:
      break;
  }
  AddSubIFD(*exif, kTagMakerNote, maker);
  AddSubIFD(*ifd0, kTagExif, exif);
  tags->GetRoot()->AddIFD(ifd0);
  return tags;
}

std::vector<uint8_t> TtwData(const MrwLayout& layout) {
  const std::vector<uint8_t> preview = MrwPreviewOf(layout);
  std::vector<uint8_t> block = WrittenBlock(*MrwTags(layout, preview, kPlaceholderOffset));
  if (layout.previewPlace != MrwPreviewPlace::kOffsetTags) {
    return block;
  }
  const auto previewOffset = static_cast<uint32_t>(block.size() + (block.size() % 2));
  block = WrittenBlock(*MrwTags(layout, preview, previewOffset));
  block.resize(previewOffset, 0);
  block.insert(block.end(), preview.begin(), preview.end());
  return block;
}

uint32_t Load32(const uint8_t* bytes, bool bigEndian) {
  return bigEndian ? (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) |
                         (uint32_t{bytes[2]} << 8) | bytes[3]
                   : (uint32_t{bytes[3]} << 24) | (uint32_t{bytes[2]} << 16) |
                         (uint32_t{bytes[1]} << 8) | bytes[0];
}

}  // namespace

std::vector<uint8_t> BuildPreviewJpeg(int32_t width, int32_t height) {
  XpPixmapBGR24NoHandle pixmap;
  if (pixmap.Allocate(width, height) != kXpOk) {
    return {};
  }
  const XpPlaneBase& plane = *pixmap.GetPlane(0);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* pixel = plane.Row(y);
    for (int32_t x = 0; x < width; ++x, pixel += 3) {
      pixel[0] = static_cast<uint8_t>(x * 255 / std::max(width - 1, 1));
      pixel[1] = static_cast<uint8_t>(y * 255 / std::max(height - 1, 1));
      pixel[2] = 96;
    }
  }
  XpMemoryFile file;
  XpImageIoJpeg writer;
  if (writer.EncodePlain(&pixmap, file, kPreviewQuality) != kXpOk) {
    return {};
  }
  return BytesOf(file);
}

std::vector<uint8_t> BuildZkp(const ZkpLayout& layout) {
  std::vector<uint8_t> block = WrittenBlock(*ZkpTags(layout, kPlaceholderOffset));
  const auto previewOffset = static_cast<uint32_t>(block.size() + (block.size() % 2));
  block = WrittenBlock(*ZkpTags(layout, previewOffset));
  block.resize(previewOffset, 0);
  const std::vector<uint8_t> preview = BuildPreviewJpeg(layout.previewWidth, layout.previewHeight);
  block.insert(block.end(), preview.begin(), preview.end());
  return block;
}

std::vector<uint8_t> MrwPreviewOf(const MrwLayout& layout) {
  if (!layout.previewBytes.empty()) {
    return layout.previewBytes;
  }
  std::vector<uint8_t> preview = BuildPreviewJpeg(layout.previewWidth, layout.previewHeight);
  if (!preview.empty()) {
    preview[0] = layout.previewFirstByte;
  }
  return preview;
}

std::vector<uint8_t> BuildMrw(const MrwLayout& layout) {
  std::vector<uint8_t> blocks;
  if (layout.withPrd) {
    PutBlock(blocks, "PRD", PrdData(layout), layout.prdLength, layout.bigEndian);
  }
  if (layout.withFiller) {
    PutBlock(blocks, "PAD", std::vector<uint8_t>(kFillerLength, 0), kFillerLength,
             layout.bigEndian);
  }
  if (layout.withTtw) {
    const std::vector<uint8_t> ttw = TtwData(layout);
    PutBlock(blocks, "TTW", ttw, static_cast<uint32_t>(ttw.size()), layout.bigEndian);
  }
  std::vector<uint8_t> file;
  if (layout.magic.empty()) {
    file = {0, 'M', 'R', static_cast<uint8_t>(layout.bigEndian ? 'M' : 'I')};
  } else {
    file.assign(layout.magic.begin(), layout.magic.end());
  }
  Put32(file, static_cast<uint32_t>(blocks.size()), layout.bigEndian);
  file.insert(file.end(), blocks.begin(), blocks.end());
  return file;
}

MrwTtwSpan MrwTtwSpanOf(const std::vector<uint8_t>& file) {
  if (file.size() < 8) {
    return {};
  }
  const bool bigEndian = file[3] == 'M';
  size_t position = 8;
  while (position + 8 <= file.size()) {
    const uint32_t length = Load32(file.data() + position + 4, bigEndian);
    if (std::memcmp(file.data() + position + 1, "TTW", 3) == 0) {
      return {position + 8, position + 8 + length};
    }
    position += 8 + size_t{length};
  }
  return {};
}
