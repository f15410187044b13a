#pragma once

#include <cstdint>

// The pages of a B-tree index as they lie in memory: index pages (keys with
// their IDs and the children between them) and overflow pages (slots of IDs
// chained from page to page). Words are in the host's order; the page's
// header says where everything lies, and a header is trusted only once
// Fits() has checked it against the size of the page's memory.

namespace CatalogBtree {

// Index page header flags.
inline constexpr uint16_t kLeaf = 0x01;
inline constexpr uint16_t kInner = 0x02;
inline constexpr uint16_t kUniqueKeys = 0x10;
inline constexpr uint16_t kIntegerKeys = 0x20;
inline constexpr uint16_t kStringKeys = 0x40;
inline constexpr uint16_t kNumberKeys = 0x80;
inline constexpr uint16_t kKeyKindMask = kIntegerKeys | kStringKeys | kNumberKeys;
// The flags of an overflow page and of a free page.
inline constexpr uint16_t kOverflowFlags = 0x04;
inline constexpr uint16_t kFreeFlags = 0x08;

// Bits of an index's flags.
inline constexpr int32_t kIndexUnique = 0x01;
// Pages are stored as they lie in memory; without it, words are big-endian.
inline constexpr int32_t kIndexMemoryOrder = 0x04;
// Each 32-bit half of a stored double has its four bytes reversed.
inline constexpr int32_t kIndexSplitDoubles = 0x100;

inline constexpr uint32_t kIndexHeaderSize = 12;
inline constexpr uint32_t kOverflowHeaderSize = 8;
inline constexpr uint32_t kWordSize = 4;
inline constexpr uint32_t kIntegerKeySize = 4;
inline constexpr uint32_t kNumberKeySize = 8;
// Bytes of an entry before the key: child and ID in a unique page; child,
// overflow page and overflow slot otherwise.
inline constexpr uint32_t kUniqueKeyOffset = 8;
inline constexpr uint32_t kSharedKeyOffset = 12;
// Free page record: {uint16 flags, uint16 0, int32 next}.
inline constexpr uint32_t kFreeRecordSize = 8;
// Two fewer than the least degree would leave a split nothing to move.
inline constexpr int32_t kMinDegree = 2;
// Keys are counted in 16 bits.
inline constexpr int32_t kMaxDegree = 0x7FFF;
// Pages above this size are refused: no sensible index needs them.
inline constexpr int64_t kMaxPageSize = 16 * 1024 * 1024;
// Header fields are 16 bits wide.
inline constexpr int64_t kMaxField = 0xFFFF;
// A walk down deeper than this has met a page that links back up.
inline constexpr int kMaxTreeDepth = 64;

enum class KeyKind { kInteger, kNumber, kString };

// Host-order 16-bit fields.
uint16_t LoadHost16(const unsigned char* at);
void StoreHost16(unsigned char* at, uint16_t value);
uint16_t LoadBigEndian16(const unsigned char* at);
void StoreBigEndian16(unsigned char* at, uint16_t value);

inline uint32_t RoundUpToWord(uint32_t size) { return (size + kWordSize - 1) / kWordSize * kWordSize; }

// The degree of pages of pageSize bytes with entries of entrySize bytes:
// ((pageSize - 12) / entrySize - 1) / 2, or 0 when not even one entry fits.
int64_t DegreeFor(int64_t pageSize, int64_t entrySize);

// The entry size of a kind: keySize + 8 when unique, else keySize + 12 +
// 4 x idSlots.
uint32_t EntrySizeFor(bool unique, uint32_t keySize, uint32_t idSlots);

// The six header fields of an index page.
struct IndexHeader {
  uint16_t flags = 0;
  uint16_t count = 0;
  uint16_t degree = 0;
  uint16_t entrySize = 0;
  uint16_t keySize = 0;
  uint16_t idSlots = 0;

  static IndexHeader Load(const unsigned char* bytes, bool bigEndian);
  void Store(unsigned char* bytes, bool bigEndian) const;

  bool IsUnique() const { return (flags & kUniqueKeys) != 0; }
  bool IsLeaf() const { return (flags & kLeaf) != 0; }
  // Whether the fields agree with each other and count + 1 entries fit
  // into pageSize bytes.
  bool Fits(uint32_t pageSize) const;
  // Whether pages with these headers hold the same kind of entries.
  bool SameLayout(const IndexHeader& other) const;
};

// The four header fields of an overflow page.
struct OverflowHeader {
  uint16_t flags = 0;
  uint16_t slotCount = 0;
  uint16_t slotSize = 0;
  uint16_t idsPerSlot = 0;

  static OverflowHeader Load(const unsigned char* bytes, bool bigEndian);
  void Store(unsigned char* bytes, bool bigEndian) const;

  // Whether the fields agree with each other and every slot fits into
  // pageSize bytes.
  bool Fits(uint32_t pageSize) const;
};

// An index page in memory. Make one only over a page whose header Fits()
// its size.
class IndexPage {
 public:
  explicit IndexPage(unsigned char* bytes);
  // The same with the header already loaded from bytes.
  IndexPage(unsigned char* bytes, const IndexHeader& header) : bytes_(bytes), header_(header) {}

  const IndexHeader& Header() const { return header_; }
  int Count() const { return header_.count; }
  void SetCount(int count);
  int Degree() const { return header_.degree; }
  // 2d - 1.
  int MaxKeys() const { return 2 * header_.degree - 1; }
  bool IsLeaf() const { return header_.IsLeaf(); }
  bool IsUnique() const { return header_.IsUnique(); }
  // Marks the page inner (or leaf).
  void SetLeaf(bool leaf);
  KeyKind Kind() const;
  uint32_t KeySize() const { return header_.keySize; }
  uint32_t EntrySize() const { return header_.entrySize; }
  int IdSlots() const { return header_.idSlots; }

  unsigned char* Entry(int index) const;
  unsigned char* Key(int index) const;
  int32_t Child(int index) const;
  void SetChild(int index, int32_t offset);
  // The ID of an entry of a unique page.
  int32_t Id(int index) const;
  void SetId(int index, int32_t id);
  // The overflow words and inline IDs of an entry of a non-unique page.
  int32_t OverflowPage(int index) const;
  int32_t OverflowSlot(int index) const;
  void SetOverflow(int index, int32_t page, int32_t slot);
  int32_t InlineId(int index, int slot) const;
  void SetInlineId(int index, int slot, int32_t id);

  // Everything of an entry but its child word: key, IDs, overflow words.
  void CopyPayload(int index, const IndexPage& from, int fromIndex);
  // Clears the payload of an entry.
  void ClearPayload(int index);
  // Copies count whole entries from entry from to entry to (they may
  // overlap; both ranges must lie within the first MaxKeys() + 2 entries).
  void MoveEntries(int to, int from, int count);
  void CopyEntriesFrom(int to, const IndexPage& from, int fromIndex, int count);

 private:
  uint32_t KeyOffset() const;
  uint32_t IdsOffset() const;
  void Store();

  unsigned char* bytes_;
  IndexHeader header_;
};

// An overflow page in memory. Make one only over a page whose header
// Fits() its size.
class OverflowPage {
 public:
  explicit OverflowPage(unsigned char* bytes);
  // The same with the header already loaded from bytes.
  OverflowPage(unsigned char* bytes, const OverflowHeader& header) : bytes_(bytes), header_(header) {}

  const OverflowHeader& Header() const { return header_; }
  int SlotCount() const { return header_.slotCount; }
  int IdsPerSlot() const { return header_.idsPerSlot; }

  int32_t NextPage(int slot) const;
  // The slot number of the next slot, in the low 16 bits of its word.
  int32_t NextSlot(int slot) const;
  void SetNext(int slot, int32_t page, int32_t nextSlot);
  int32_t Id(int slot, int position) const;
  void SetId(int slot, int position, int32_t id);

  // A slot is free when its first ID is 0.
  bool IsFree(int slot) const { return Id(slot, 0) == 0; }
  // The first free slot, or -1.
  int FirstFreeSlot() const;
  bool AllFree() const;
  // Clears a slot's link and IDs.
  void ClearSlot(int slot);
  // A fresh slot holding id alone, at the end of its chain.
  void StartSlot(int slot, int32_t id);

 private:
  unsigned char* Slot(int slot) const;

  unsigned char* bytes_;
  OverflowHeader header_;
};

}  // namespace CatalogBtree
