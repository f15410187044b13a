#include "catalogdb/grammar/CatalogBtreeLayout.h"

#include <cstring>

#include "catalogdb/common/CatalogByteOrder.h"
#include "platform/memory/XpByteOrder.h"

namespace CatalogBtree {

namespace {

// Offsets of the header fields.
constexpr uint32_t kFlagsField = 0;
constexpr uint32_t kCountField = 2;
constexpr uint32_t kDegreeField = 4;
constexpr uint32_t kEntrySizeField = 6;
constexpr uint32_t kKeySizeField = 8;
constexpr uint32_t kIdSlotsField = 10;
constexpr uint32_t kSlotCountField = 2;
constexpr uint32_t kSlotSizeField = 4;
constexpr uint32_t kIdsPerSlotField = 6;

// Offsets within an overflow slot.
constexpr uint32_t kNextPageWord = 0;
constexpr uint32_t kNextSlotWord = 4;
constexpr uint32_t kSlotIdsOffset = 8;
constexpr int32_t kNextSlotMask = 0xFFFF;

// Offsets within an entry.
constexpr uint32_t kChildWord = 0;
constexpr uint32_t kUniqueIdWord = 4;
constexpr uint32_t kOverflowPageWord = 4;
constexpr uint32_t kOverflowSlotWord = 8;

constexpr uint16_t kKnownIndexFlags = kLeaf | kInner | kUniqueKeys | kKeyKindMask;

// A page's words are big-endian or in memory order.
uint16_t Load16(const unsigned char* at, bool bigEndian) {
  return XpLoad16(at, bigEndian || kXpHostIsBigEndian);
}

void Store16(unsigned char* at, uint16_t value, bool bigEndian) {
  XpStore16(at, value, bigEndian || kXpHostIsBigEndian);
}

bool ExactlyOneBit(uint32_t bits) { return bits != 0 && (bits & (bits - 1)) == 0; }

bool KeySizeFitsKind(uint16_t kind, uint32_t keySize) {
  switch (kind) {
    case kIntegerKeys:
      return keySize == kIntegerKeySize;
    case kNumberKeys:
      return keySize == kNumberKeySize;
    default:
      return keySize > 0 && keySize % kWordSize == 0;
  }
}

}  // namespace

uint16_t LoadHost16(const unsigned char* at) { return XpLoad16(at, kXpHostIsBigEndian); }

void StoreHost16(unsigned char* at, uint16_t value) { XpStore16(at, value, kXpHostIsBigEndian); }

uint16_t LoadBigEndian16(const unsigned char* at) { return XpLoadBig16(at); }

void StoreBigEndian16(unsigned char* at, uint16_t value) { XpStoreBig16(at, value); }

int64_t DegreeFor(int64_t pageSize, int64_t entrySize) {
  if (entrySize <= 0 || pageSize < kIndexHeaderSize + entrySize) {
    return 0;
  }
  return ((pageSize - kIndexHeaderSize) / entrySize - 1) / 2;
}

uint32_t EntrySizeFor(bool unique, uint32_t keySize, uint32_t idSlots) {
  return unique ? keySize + kUniqueKeyOffset : keySize + kSharedKeyOffset + kWordSize * idSlots;
}

IndexHeader IndexHeader::Load(const unsigned char* bytes, bool bigEndian) {
  IndexHeader header;
  header.flags = Load16(bytes + kFlagsField, bigEndian);
  header.count = Load16(bytes + kCountField, bigEndian);
  header.degree = Load16(bytes + kDegreeField, bigEndian);
  header.entrySize = Load16(bytes + kEntrySizeField, bigEndian);
  header.keySize = Load16(bytes + kKeySizeField, bigEndian);
  header.idSlots = Load16(bytes + kIdSlotsField, bigEndian);
  return header;
}

void IndexHeader::Store(unsigned char* bytes, bool bigEndian) const {
  Store16(bytes + kFlagsField, flags, bigEndian);
  Store16(bytes + kCountField, count, bigEndian);
  Store16(bytes + kDegreeField, degree, bigEndian);
  Store16(bytes + kEntrySizeField, entrySize, bigEndian);
  Store16(bytes + kKeySizeField, keySize, bigEndian);
  Store16(bytes + kIdSlotsField, idSlots, bigEndian);
}

bool IndexHeader::Fits(uint32_t pageSize) const {
  uint16_t kind = flags & kKeyKindMask;
  if ((flags & ~kKnownIndexFlags) != 0 || !ExactlyOneBit(flags & (kLeaf | kInner)) || !ExactlyOneBit(kind)) {
    return false;
  }
  if (!KeySizeFitsKind(kind, keySize) || (!IsUnique() && idSlots == 0)) {
    return false;
  }
  if (entrySize != EntrySizeFor(IsUnique(), keySize, idSlots)) {
    return false;
  }
  int64_t expectedDegree = DegreeFor(pageSize, entrySize);
  if (degree != expectedDegree || degree < kMinDegree || degree > kMaxDegree) {
    return false;
  }
  return count <= 2 * degree - 1;
}

bool IndexHeader::SameLayout(const IndexHeader& other) const {
  constexpr uint16_t kKind = kUniqueKeys | kKeyKindMask;
  return (flags & kKind) == (other.flags & kKind) && degree == other.degree && entrySize == other.entrySize &&
         keySize == other.keySize && (IsUnique() || idSlots == other.idSlots);
}

OverflowHeader OverflowHeader::Load(const unsigned char* bytes, bool bigEndian) {
  OverflowHeader header;
  header.flags = Load16(bytes + kFlagsField, bigEndian);
  header.slotCount = Load16(bytes + kSlotCountField, bigEndian);
  header.slotSize = Load16(bytes + kSlotSizeField, bigEndian);
  header.idsPerSlot = Load16(bytes + kIdsPerSlotField, bigEndian);
  return header;
}

void OverflowHeader::Store(unsigned char* bytes, bool bigEndian) const {
  Store16(bytes + kFlagsField, flags, bigEndian);
  Store16(bytes + kSlotCountField, slotCount, bigEndian);
  Store16(bytes + kSlotSizeField, slotSize, bigEndian);
  Store16(bytes + kIdsPerSlotField, idsPerSlot, bigEndian);
}

bool OverflowHeader::Fits(uint32_t pageSize) const {
  if (flags != kOverflowFlags || idsPerSlot == 0 || slotSize != kSlotIdsOffset + kWordSize * idsPerSlot) {
    return false;
  }
  return kOverflowHeaderSize + uint64_t{slotCount} * slotSize <= pageSize;
}

IndexPage::IndexPage(unsigned char* bytes) : bytes_(bytes), header_(IndexHeader::Load(bytes, false)) {}

void IndexPage::Store() { header_.Store(bytes_, false); }

void IndexPage::SetCount(int count) {
  header_.count = static_cast<uint16_t>(count);
  Store();
}

void IndexPage::SetLeaf(bool leaf) {
  header_.flags = static_cast<uint16_t>((header_.flags & ~(kLeaf | kInner)) | (leaf ? kLeaf : kInner));
  Store();
}

KeyKind IndexPage::Kind() const {
  switch (header_.flags & kKeyKindMask) {
    case kIntegerKeys:
      return KeyKind::kInteger;
    case kNumberKeys:
      return KeyKind::kNumber;
    default:
      return KeyKind::kString;
  }
}

uint32_t IndexPage::KeyOffset() const { return IsUnique() ? kUniqueKeyOffset : kSharedKeyOffset; }

uint32_t IndexPage::IdsOffset() const { return kSharedKeyOffset + header_.keySize; }

unsigned char* IndexPage::Entry(int index) const {
  return bytes_ + kIndexHeaderSize + static_cast<uint32_t>(index) * header_.entrySize;
}

unsigned char* IndexPage::Key(int index) const { return Entry(index) + KeyOffset(); }

int32_t IndexPage::Child(int index) const { return CatalogLoadHost32(Entry(index) + kChildWord); }

void IndexPage::SetChild(int index, int32_t offset) { CatalogStoreHost32(Entry(index) + kChildWord, offset); }

int32_t IndexPage::Id(int index) const { return CatalogLoadHost32(Entry(index) + kUniqueIdWord); }

void IndexPage::SetId(int index, int32_t id) { CatalogStoreHost32(Entry(index) + kUniqueIdWord, id); }

int32_t IndexPage::OverflowPage(int index) const { return CatalogLoadHost32(Entry(index) + kOverflowPageWord); }

int32_t IndexPage::OverflowSlot(int index) const { return CatalogLoadHost32(Entry(index) + kOverflowSlotWord); }

void IndexPage::SetOverflow(int index, int32_t page, int32_t slot) {
  CatalogStoreHost32(Entry(index) + kOverflowPageWord, page);
  CatalogStoreHost32(Entry(index) + kOverflowSlotWord, slot);
}

int32_t IndexPage::InlineId(int index, int slot) const {
  return CatalogLoadHost32(Entry(index) + IdsOffset() + static_cast<uint32_t>(slot) * kWordSize);
}

void IndexPage::SetInlineId(int index, int slot, int32_t id) {
  CatalogStoreHost32(Entry(index) + IdsOffset() + static_cast<uint32_t>(slot) * kWordSize, id);
}

void IndexPage::CopyPayload(int index, const IndexPage& from, int fromIndex) {
  std::memmove(Entry(index) + kWordSize, from.Entry(fromIndex) + kWordSize, header_.entrySize - kWordSize);
}

void IndexPage::ClearPayload(int index) { std::memset(Entry(index) + kWordSize, 0, header_.entrySize - kWordSize); }

void IndexPage::MoveEntries(int to, int from, int count) {
  if (count > 0) {
    std::memmove(Entry(to), Entry(from), static_cast<size_t>(count) * header_.entrySize);
  }
}

void IndexPage::CopyEntriesFrom(int to, const IndexPage& from, int fromIndex, int count) {
  if (count > 0) {
    std::memmove(Entry(to), from.Entry(fromIndex), static_cast<size_t>(count) * header_.entrySize);
  }
}

OverflowPage::OverflowPage(unsigned char* bytes) : bytes_(bytes), header_(OverflowHeader::Load(bytes, false)) {}

unsigned char* OverflowPage::Slot(int slot) const {
  return bytes_ + kOverflowHeaderSize + static_cast<uint32_t>(slot) * header_.slotSize;
}

int32_t OverflowPage::NextPage(int slot) const { return CatalogLoadHost32(Slot(slot) + kNextPageWord); }

int32_t OverflowPage::NextSlot(int slot) const { return CatalogLoadHost32(Slot(slot) + kNextSlotWord) & kNextSlotMask; }

void OverflowPage::SetNext(int slot, int32_t page, int32_t nextSlot) {
  CatalogStoreHost32(Slot(slot) + kNextPageWord, page);
  CatalogStoreHost32(Slot(slot) + kNextSlotWord, nextSlot);
}

int32_t OverflowPage::Id(int slot, int position) const {
  return CatalogLoadHost32(Slot(slot) + kSlotIdsOffset + static_cast<uint32_t>(position) * kWordSize);
}

void OverflowPage::SetId(int slot, int position, int32_t id) {
  CatalogStoreHost32(Slot(slot) + kSlotIdsOffset + static_cast<uint32_t>(position) * kWordSize, id);
}

int OverflowPage::FirstFreeSlot() const {
  for (int slot = 0; slot < SlotCount(); ++slot) {
    if (IsFree(slot)) {
      return slot;
    }
  }
  return -1;
}

bool OverflowPage::AllFree() const {
  for (int slot = 0; slot < SlotCount(); ++slot) {
    if (!IsFree(slot)) {
      return false;
    }
  }
  return true;
}

void OverflowPage::ClearSlot(int slot) { std::memset(Slot(slot), 0, header_.slotSize); }

void OverflowPage::StartSlot(int slot, int32_t id) {
  ClearSlot(slot);
  SetId(slot, 0, id);
}

}  // namespace CatalogBtree
