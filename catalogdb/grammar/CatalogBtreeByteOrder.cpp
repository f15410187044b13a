#include "catalogdb/grammar/CatalogBtreeByteOrder.h"

#include <bit>
#include <cstring>

#include "catalogdb/common/CatalogByteOrder.h"
#include "catalogdb/grammar/CatalogBtreeLayout.h"

namespace CatalogBtree {

namespace {

enum class Direction { kToFile, kFromFile };

constexpr int kHalfBits = 32;
constexpr uint64_t kLowHalf = 0xFFFFFFFFu;

class Converter {
 public:
  Converter(PageOrder order, Direction direction) : order_(order), direction_(direction) {}

  void Word(unsigned char* at) const {
    if (!order_.bigEndian) {
      return;
    }
    if (direction_ == Direction::kToFile) {
      CatalogStoreBigEndian32(at, static_cast<uint32_t>(CatalogLoadHost32(at)));
    } else {
      CatalogStoreHost32(at, CatalogLoadBigEndianInt32(at));
    }
  }

  void Words(unsigned char* at, uint32_t count) const {
    for (uint32_t i = 0; i < count; ++i) {
      Word(at + i * kWordSize);
    }
  }

  // A double in memory is the host's; in the file its two halves are
  // written as big-endian words, low half first when split, high half first
  // otherwise.
  void Double(unsigned char* at) const {
    if (order_.IsMemoryOrder()) {
      return;
    }
    if (direction_ == Direction::kToFile) {
      double value = 0;
      std::memcpy(&value, at, sizeof value);
      auto bits = std::bit_cast<uint64_t>(value);
      auto low = static_cast<uint32_t>(bits & kLowHalf);
      auto high = static_cast<uint32_t>(bits >> kHalfBits);
      CatalogStoreBigEndian32(at, order_.splitDoubles ? low : high);
      CatalogStoreBigEndian32(at + kWordSize, order_.splitDoubles ? high : low);
      return;
    }
    uint32_t first = CatalogLoadBigEndian32(at);
    uint32_t second = CatalogLoadBigEndian32(at + kWordSize);
    uint64_t low = order_.splitDoubles ? first : second;
    uint64_t high = order_.splitDoubles ? second : first;
    auto value = std::bit_cast<double>((high << kHalfBits) | low);
    std::memcpy(at, &value, sizeof value);
  }

  bool ToFile() const { return direction_ == Direction::kToFile; }
  bool BigEndian() const { return order_.bigEndian; }
  // Whether every word and double stays as it is.
  bool Keeps() const { return order_.IsMemoryOrder(); }

 private:
  PageOrder order_;
  Direction direction_;
};

void ConvertKey(const Converter& convert, const IndexHeader& header, unsigned char* key) {
  switch (header.flags & kKeyKindMask) {
    case kIntegerKeys:
      convert.Word(key);
      break;
    case kNumberKeys:
      convert.Double(key);
      break;
    default:
      break;  // Text is stored as it is.
  }
}

void ConvertEntry(const Converter& convert, const IndexHeader& header, unsigned char* entry) {
  convert.Word(entry);
  if (header.IsUnique()) {
    convert.Word(entry + kWordSize);
    ConvertKey(convert, header, entry + kUniqueKeyOffset);
    return;
  }
  convert.Words(entry + kWordSize, 2);
  ConvertKey(convert, header, entry + kSharedKeyOffset);
  convert.Words(entry + kSharedKeyOffset + header.keySize, header.idSlots);
}

void ConvertIndexPage(unsigned char* page, const Converter& convert) {
  if (convert.Keeps()) {
    return;
  }
  // The header is read in the order the page is in now.
  bool headerBigEndian = convert.BigEndian() && !convert.ToFile();
  IndexHeader header = IndexHeader::Load(page, headerBigEndian);
  unsigned char* entries = page + kIndexHeaderSize;
  for (uint32_t i = 0; i < header.count; ++i) {
    ConvertEntry(convert, header, entries + i * header.entrySize);
  }
  // Entry count holds only the rightmost child.
  convert.Word(entries + uint32_t{header.count} * header.entrySize);
  header.Store(page, convert.BigEndian() && convert.ToFile());
}

void ConvertOverflowPage(unsigned char* page, const Converter& convert) {
  if (convert.Keeps()) {
    return;
  }
  bool headerBigEndian = convert.BigEndian() && !convert.ToFile();
  OverflowHeader header = OverflowHeader::Load(page, headerBigEndian);
  convert.Words(page + kOverflowHeaderSize, uint32_t{header.slotCount} * header.slotSize / kWordSize);
  header.Store(page, convert.BigEndian() && convert.ToFile());
}

}  // namespace

PageOrder PageOrder::FromIndexFlags(int32_t flags) {
  PageOrder order;
  order.bigEndian = (flags & kIndexMemoryOrder) == 0;
  order.splitDoubles = (flags & kIndexSplitDoubles) != 0;
  return order;
}

void IndexPageToFile(unsigned char* page, PageOrder order) {
  ConvertIndexPage(page, Converter(order, Direction::kToFile));
}

void IndexPageFromFile(unsigned char* page, PageOrder order) {
  ConvertIndexPage(page, Converter(order, Direction::kFromFile));
}

void OverflowPageToFile(unsigned char* page, PageOrder order) {
  ConvertOverflowPage(page, Converter(order, Direction::kToFile));
}

void OverflowPageFromFile(unsigned char* page, PageOrder order) {
  ConvertOverflowPage(page, Converter(order, Direction::kFromFile));
}

void StoreFreeRecord(unsigned char* record, int32_t next, PageOrder order) {
  if (order.bigEndian) {
    StoreBigEndian16(record, kFreeFlags);
    StoreBigEndian16(record + 2, 0);
    CatalogStoreBigEndianInt32(record + kWordSize, next);
    return;
  }
  StoreHost16(record, kFreeFlags);
  StoreHost16(record + 2, 0);
  CatalogStoreHost32(record + kWordSize, next);
}

bool LoadFreeRecord(const unsigned char* record, PageOrder order, int32_t* next) {
  uint16_t flags = order.bigEndian ? LoadBigEndian16(record) : LoadHost16(record);
  if (flags != kFreeFlags) {
    return false;
  }
  *next = order.bigEndian ? CatalogLoadBigEndianInt32(record + kWordSize) : CatalogLoadHost32(record + kWordSize);
  return true;
}

}  // namespace CatalogBtree
