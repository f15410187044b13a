// The writer of XpTiffTagManager: lays the tree out as a TIFF block.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/tags/XpTiffByteOrder.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/memory/XpByteOrder.h"

namespace {

constexpr uint16_t kTiffMagic = 42;
constexpr uint32_t kHeaderBytes = 8;
constexpr uint32_t kFirstIFDLinkAt = 4;
constexpr uint32_t kCountBytes = 2;
constexpr uint32_t kEntryBytes = 12;
constexpr uint32_t kNextLinkBytes = 4;
constexpr uint32_t kFieldBytes = 4;
constexpr uint32_t kFieldAt = 8;
constexpr uint32_t kCountAt = 4;
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

// A value that must lie at a given offset of the block.
struct PinnedValue {
  const XpTiffTagDataBase* value = nullptr;
  uint64_t offset = 0;
  uint64_t End() const { return value != nullptr ? offset + value->GetByteSize() : 0; }
};

// The bytes of a block from offset base on, built in memory. Everything
// is placed one after the other in the order of the layout, around the
// pinned value's range; a range left free is zero.
class BlockImage {
 public:
  BlockImage(bool bigEndian, uint64_t base, const PinnedValue& pin)
      : bigEndian_(bigEndian), base_(base), cursor_(base), pin_(pin) {}

  uint64_t Place(uint64_t size) {
    uint64_t at = cursor_;
    if (pin_.value != nullptr && at < pin_.End() && at + size > pin_.offset) {
      at = RoundUpToEven(pin_.End());
    }
    cursor_ = at + size;
    Grow(cursor_);
    return at;
  }

  // Lays out ifd with everything below it; returns its offset.
  uint64_t LayIFD(XpTiffTagIFD& ifd, uint32_t nextLink, uint64_t& nextLinkAt);

  void Put(uint64_t offset, const void* bytes, uint64_t count) {
    Grow(offset + count);
    if (!failed_ && count > 0) {
      std::memcpy(bytes_.data() + (offset - base_), bytes, count);
    }
  }
  void Put16(uint64_t offset, uint16_t value) {
    uint8_t word[2];
    XpStore16(word, value, bigEndian_);
    Put(offset, word, sizeof word);
  }
  void Put32(uint64_t offset, uint64_t value) {
    uint8_t word[4];
    XpStore32(word, static_cast<uint32_t>(value), bigEndian_);
    Put(offset, word, sizeof word);
  }

  uint64_t Cursor() const { return cursor_; }
  bool WriteTo(XpAbstractFile& file) const {
    return !failed_ && WriteBytes(file, bytes_.data(), bytes_.size());
  }

 private:
  // An IFD below the one being laid out, and where its offset goes.
  struct Pending {
    XpTiffTagIFD* ifd;
    uint64_t fieldAt;
    // The entry whose count is the IFD's size (a maker note), else 0.
    uint64_t sizeEntryAt;
  };

  void Grow(uint64_t end) {
    if (failed_ || end <= base_ + bytes_.size()) {
      return;
    }
    try {
      bytes_.resize(end - base_);
    } catch (const std::bad_alloc&) {
      failed_ = true;
    }
  }

  void LayEntry(uint64_t entryAt, const XpTiffTagDataBase& value, std::vector<Pending>& pending);
  void LaySubIFDs(uint64_t entryAt, const XpTiffTagDataIFD& value, std::vector<Pending>& pending);
  void LayValue(uint64_t entryAt, const XpTiffTagDataBase& value);

  bool bigEndian_;
  uint64_t base_;
  uint64_t cursor_;
  PinnedValue pin_;
  std::vector<uint8_t> bytes_;
  bool failed_ = false;
};

uint64_t BlockImage::LayIFD(XpTiffTagIFD& ifd, uint32_t nextLink, uint64_t& nextLinkAt) {
  ifd.Sort();
  const auto entryCount = static_cast<uint32_t>(ifd.GetCount());
  const uint32_t markerBytes = ifd.IsMakerNote() ? kXpTiffMakerNoteMarkerSize : 0;
  const uint64_t headBytes =
      markerBytes + kCountBytes + uint64_t{kEntryBytes} * entryCount + kNextLinkBytes;
  const uint64_t at = Place(headBytes);
  Put(at, kXpTiffMakerNoteMarker, markerBytes);
  Put16(at + markerBytes, static_cast<uint16_t>(entryCount));
  const uint64_t entriesAt = at + markerBytes + kCountBytes;
  std::vector<Pending> pending;
  for (uint32_t index = 0; index < entryCount; ++index) {
    LayEntry(entriesAt + uint64_t{kEntryBytes} * index, *ifd.GetAt(static_cast<int32_t>(index)),
             pending);
  }
  nextLinkAt = at + headBytes - kNextLinkBytes;
  Put32(nextLinkAt, nextLink);
  for (const Pending& sub : pending) {
    uint64_t ignoredLink = 0;
    const uint64_t subAt = LayIFD(*sub.ifd, 0, ignoredLink);
    Put32(sub.fieldAt, subAt);
    if (sub.sizeEntryAt != 0) {
      Put32(sub.sizeEntryAt + kCountAt, cursor_ - subAt);
    }
  }
  return at;
}

void BlockImage::LayEntry(uint64_t entryAt, const XpTiffTagDataBase& value,
                          std::vector<Pending>& pending) {
  Put16(entryAt, value.GetTag());
  if (value.IsSubIFD()) {
    LaySubIFDs(entryAt, static_cast<const XpTiffTagDataIFD&>(value), pending);
  } else {
    LayValue(entryAt, value);
  }
}

// One IFD is pointed at from the field, any other number through an array
// of offsets in the value area. A maker note is UNDEFINED and counts the
// bytes of its first IFD; an empty one has no IFD to measure: count 0,
// field 0.
void BlockImage::LaySubIFDs(uint64_t entryAt, const XpTiffTagDataIFD& value,
                            std::vector<Pending>& pending) {
  const int32_t ifdCount = value.GetIFDCount();
  const bool makerNote = value.GetTag() == kXpTiffTagMakerNote;
  Put16(entryAt + 2, makerNote ? kXpTiffTypeUndefined : kXpTiffTypeLong);
  Put32(entryAt + kCountAt, makerNote ? 0 : static_cast<uint32_t>(ifdCount));
  if (makerNote && ifdCount == 0) {
    return;
  }
  const uint64_t sizeEntryAt = makerNote ? entryAt : 0;
  if (ifdCount == 1) {
    pending.push_back({value.GetIFD(0), entryAt + kFieldAt, sizeEntryAt});
    return;
  }
  const uint64_t arrayAt = Place(uint64_t{kFieldBytes} * static_cast<uint64_t>(ifdCount));
  Put32(entryAt + kFieldAt, arrayAt);
  for (int32_t index = 0; index < ifdCount; ++index) {
    pending.push_back({value.GetIFD(index), arrayAt + uint64_t{kFieldBytes} * index,
                       index == 0 ? sizeEntryAt : 0});
  }
}

// The bytes padded to even length, in the block's order: in the field
// when they fit, else placed in the value area (the pinned value at its
// own offset).
void BlockImage::LayValue(uint64_t entryAt, const XpTiffTagDataBase& value) {
  Put16(entryAt + 2, value.GetType() & kTypeCodeMask);
  Put32(entryAt + kCountAt, value.GetCount());
  const uint64_t byteSize = value.GetByteSize();
  const uint64_t padded = RoundUpToEven(byteSize);
  std::vector<uint8_t> bytes(std::max<uint64_t>(padded, kFieldBytes));
  std::memcpy(bytes.data(), value.GetData(), byteSize);
  if (bigEndian_) {
    XpTiffSwapUnits(bytes.data(), byteSize, value.GetSwapUnit());
  }
  if (padded <= kFieldBytes) {
    Put(entryAt + kFieldAt, bytes.data(), kFieldBytes);
    return;
  }
  const uint64_t at = &value == pin_.value ? pin_.offset : Place(padded);
  Put32(entryAt + kFieldAt, at);
  Put(at, bytes.data(), padded);
}

}  // namespace

const XpTiffTagDataBase* XpTiffTagManager::KeptMakerNote() const {
  const XpTiffTagIFD* exif = GetExifIFD();
  const XpTiffTagDataBase* value =
      exif != nullptr ? exif->FindTag(kXpTiffTagMakerNote, false) : nullptr;
  if (value == nullptr || value->IsSubIFD() || value->GetByteSize() <= kFieldBytes ||
      value->GetByteSize() != makerNoteSize_ || makerNoteOffset_ < kHeaderBytes ||
      uint64_t{makerNoteOffset_} + makerNoteSize_ > kMaxKeptMakerNoteEnd) {
    return nullptr;
  }
  return value;
}

bool XpTiffTagManager::MakerNoteMoves() const {
  const XpTiffTagIFD* exif = GetExifIFD();
  const XpTiffTagDataBase* value =
      exif != nullptr ? exif->FindTag(kXpTiffTagMakerNote, false) : nullptr;
  return value != nullptr && !value->IsSubIFD() && value->GetByteSize() > kFieldBytes &&
         KeptMakerNote() == nullptr;
}

bool XpTiffTagManager::RemoveMakerNote() {
  XpTiffTagIFD* exif = GetExifIFD();
  if (exif == nullptr) {
    return false;
  }
  for (int32_t index = exif->GetCount() - 1; index >= 0; --index) {
    if (exif->GetAt(index)->GetTag() == kXpTiffTagMakerNote) {
      exif->RemoveAt(index);
      return true;
    }
  }
  return false;
}

uint64_t XpTiffTagManager::Write(XpAbstractFile& file) {
  if (root_ == nullptr) {
    return 0;
  }
  const int64_t start = file.Tell();
  PinnedValue pin;
  pin.value = KeptMakerNote();
  pin.offset = makerNoteOffset_;
  BlockImage image(bigEndian_, 0, pin);
  const uint64_t headerAt = image.Place(kHeaderBytes);
  image.Put(headerAt, bigEndian_ ? "MM" : "II", 2);
  image.Put16(headerAt + 2, kTiffMagic);
  uint64_t linkAt = headerAt + kFirstIFDLinkAt;
  image.Put32(linkAt, kHeaderBytes);
  const int32_t ifdCount = root_->GetIFDCount();
  for (int32_t index = 0; index < ifdCount; ++index) {
    XpTiffTagIFD* ifd = root_->GetIFD(index);
    if (ifd == nullptr) {
      return 0;
    }
    uint64_t nextLinkAt = 0;
    image.Put32(linkAt, image.LayIFD(*ifd, 0, nextLinkAt));
    linkAt = nextLinkAt;
  }
  static_cast<void>(image.WriteTo(file));
  return BytesSince(file, start);
}

uint64_t XpTiffTagManager::WriteIFD(XpAbstractFile& file, XpTiffTagIFD& ifd, uint32_t offset,
                                    uint32_t nextLink) {
  const int64_t start = file.Tell();
  BlockImage image(bigEndian_, offset, PinnedValue());
  uint64_t ignoredLinkAt = 0;
  image.LayIFD(ifd, nextLink, ignoredLinkAt);
  static_cast<void>(image.WriteTo(file));
  return BytesSince(file, start);
}
