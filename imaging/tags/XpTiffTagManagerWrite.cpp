// The writer of XpTiffTagManager: lays the tree out as a TIFF block.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/tags/XpTiffByteOrder.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/memory/XpMemoryFile.h"

namespace {

constexpr uint16_t kTiffMagic = 42;
constexpr uint32_t kFirstIFDOffset = 8;
constexpr uint32_t kCountBytes = 2;
constexpr uint32_t kEntryBytes = 12;
constexpr uint32_t kNextLinkBytes = 4;
constexpr uint32_t kFieldBytes = 4;
constexpr uint16_t kTypeCodeMask = 0x7FFF;

uint64_t RoundUpToEven(uint64_t size) { return size + (size & 1); }

uint64_t BytesSince(XpAbstractFile& file, int64_t start) {
  const int64_t now = file.Tell();
  return start >= 0 && now > start ? static_cast<uint64_t>(now - start) : 0;
}

// Write failures show in the size written, which the file position gives.
bool WriteBytes(XpAbstractFile& file, const void* bytes, uint64_t count) {
  uint64_t done = 0;
  return XpSucceeded(file.Write(bytes, count, &done)) && done == count;
}

// Lays out the entries of one IFD, its value area and the queue of IFDs
// that follow the area.
class IFDLayout {
 public:
  IFDLayout(bool bigEndian, uint64_t dataPosition, uint64_t subIFDPosition)
      : bigEndian_(bigEndian), dataPosition_(dataPosition), subIFDPosition_(subIFDPosition) {}

  void AddEntry(std::vector<uint8_t>& head, const XpTiffTagDataBase& value) {
    uint8_t entry[kEntryBytes] = {};
    XpTiffStore16(entry, value.GetTag(), bigEndian_);
    if (value.IsSubIFD()) {
      LaySubIFDs(entry, static_cast<const XpTiffTagDataIFD&>(value));
    } else {
      LayValue(entry, value);
    }
    head.insert(head.end(), entry, entry + kEntryBytes);
  }

  bool AreaFailed() const { return areaFailed_; }
  XpMemoryFile& Area() { return area_; }
  const std::vector<XpTiffTagIFD*>& Queue() const { return queue_; }

 private:
  void SetTypeAndCount(uint8_t* entry, uint16_t type, uint32_t count) const {
    XpTiffStore16(entry + 2, type, bigEndian_);
    XpTiffStore32(entry + 4, count, bigEndian_);
  }

  void SetField(uint8_t* entry, uint64_t offset) const {
    XpTiffStore32(entry + 8, static_cast<uint32_t>(offset), bigEndian_);
  }

  void AppendToArea(const void* bytes, uint64_t count) {
    areaFailed_ = areaFailed_ || !WriteBytes(area_, bytes, count);
    dataPosition_ += count;
  }

  // One IFD is pointed at from the field, any other number through an
  // array of offsets in the value area. An empty maker note has no IFD to
  // measure: UNDEFINED, count 0, field 0.
  void LaySubIFDs(uint8_t* entry, const XpTiffTagDataIFD& value) {
    const int32_t ifdCount = value.GetIFDCount();
    if (value.GetTag() == kXpTiffTagMakerNote) {
      const uint64_t size = ifdCount > 0 ? value.GetIFD(0)->GetSize(true) : 0;
      SetTypeAndCount(entry, kXpTiffTypeUndefined, static_cast<uint32_t>(size));
      if (ifdCount == 0) {
        return;
      }
    } else {
      SetTypeAndCount(entry, kXpTiffTypeLong, static_cast<uint32_t>(ifdCount));
    }
    if (ifdCount == 1) {
      SetField(entry, subIFDPosition_);
      Queue(value.GetIFD(0));
      return;
    }
    SetField(entry, dataPosition_);
    for (int32_t index = 0; index < ifdCount; ++index) {
      uint8_t offset[kFieldBytes];
      XpTiffStore32(offset, static_cast<uint32_t>(subIFDPosition_), bigEndian_);
      AppendToArea(offset, sizeof offset);
      Queue(value.GetIFD(index));
    }
  }

  void Queue(XpTiffTagIFD* ifd) {
    subIFDPosition_ += ifd->GetSize(true);
    queue_.push_back(ifd);
  }

  // The bytes padded to even length, in the block's order: in the field
  // when they fit, else in the value area.
  void LayValue(uint8_t* entry, const XpTiffTagDataBase& value) {
    SetTypeAndCount(entry, value.GetType() & kTypeCodeMask, value.GetCount());
    const uint64_t byteSize = value.GetByteSize();
    const uint64_t padded = RoundUpToEven(byteSize);
    std::vector<uint8_t> bytes(std::max<uint64_t>(padded, kFieldBytes));
    std::memcpy(bytes.data(), value.GetData(), byteSize);
    if (bigEndian_) {
      XpTiffSwapUnits(bytes.data(), byteSize, value.GetSwapUnit());
    }
    if (padded <= kFieldBytes) {
      std::memcpy(entry + 8, bytes.data(), kFieldBytes);
      return;
    }
    SetField(entry, dataPosition_);
    AppendToArea(bytes.data(), padded);
  }

  bool bigEndian_;
  uint64_t dataPosition_;
  uint64_t subIFDPosition_;
  XpMemoryFile area_;
  bool areaFailed_ = false;
  std::vector<XpTiffTagIFD*> queue_;
};

}  // namespace

uint64_t XpTiffTagManager::Write(XpAbstractFile& file) {
  if (root_ == nullptr) {
    return 0;
  }
  const int64_t start = file.Tell();
  uint8_t header[kFirstIFDOffset] = {};
  header[0] = header[1] = bigEndian_ ? 'M' : 'I';
  XpTiffStore16(header + 2, kTiffMagic, bigEndian_);
  XpTiffStore32(header + 4, kFirstIFDOffset, bigEndian_);
  if (!WriteBytes(file, header, sizeof header)) {
    return BytesSince(file, start);
  }
  uint64_t running = kFirstIFDOffset;
  const int32_t ifdCount = root_->GetIFDCount();
  for (int32_t index = 0; index < ifdCount; ++index) {
    XpTiffTagIFD& ifd = *root_->GetIFD(index);
    ifd.Sort();
    const uint64_t size = ifd.GetSize(true);
    const bool last = index == ifdCount - 1;
    const uint64_t next = last ? 0 : running + size;
    // A short IFD would leave every later offset wrong.
    if (WriteIFD(file, ifd, static_cast<uint32_t>(running), static_cast<uint32_t>(next)) != size) {
      break;
    }
    running += size;
  }
  return BytesSince(file, start);
}

uint64_t XpTiffTagManager::WriteIFD(XpAbstractFile& file, XpTiffTagIFD& ifd, uint32_t offset,
                                    uint32_t nextLink) {
  ifd.Sort();
  const int64_t start = file.Tell();
  const auto entryCount = static_cast<uint32_t>(ifd.GetCount());
  const uint32_t markerBytes = ifd.IsMakerNote() ? kXpTiffMakerNoteMarkerSize : 0;
  const uint64_t headBytes = markerBytes + kCountBytes + uint64_t{kEntryBytes} * entryCount + kNextLinkBytes;

  std::vector<uint8_t> head(kXpTiffMakerNoteMarker, kXpTiffMakerNoteMarker + markerBytes);
  head.reserve(headBytes);
  uint8_t word[kNextLinkBytes];
  XpTiffStore16(word, static_cast<uint16_t>(entryCount), bigEndian_);
  head.insert(head.end(), word, word + kCountBytes);

  IFDLayout layout(bigEndian_, offset + headBytes, offset + ifd.GetSize(false));
  for (uint32_t index = 0; index < entryCount; ++index) {
    layout.AddEntry(head, *ifd.GetAt(static_cast<int32_t>(index)));
  }
  XpTiffStore32(word, nextLink, bigEndian_);
  head.insert(head.end(), word, word + kNextLinkBytes);

  XpMemoryFile& area = layout.Area();
  if (layout.AreaFailed() || !WriteBytes(file, head.data(), head.size())) {
    return BytesSince(file, start);
  }
  if (area.GetDataSize() > 0 && !WriteBytes(file, area.GetBuffer(), area.GetDataSize())) {
    return BytesSince(file, start);
  }
  for (XpTiffTagIFD* sub : layout.Queue()) {
    const uint64_t position = offset + BytesSince(file, start);
    if (WriteIFD(file, *sub, static_cast<uint32_t>(position), 0) != sub->GetSize(true)) {
      break;
    }
  }
  return BytesSince(file, start);
}
