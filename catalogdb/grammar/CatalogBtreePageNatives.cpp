#include "catalogdb/grammar/CatalogBtreePageNatives.h"

#include <cerrno>

#include "catalogdb/common/CatalogNativeSupport.h"
#include "catalogdb/grammar/CatalogBtreeByteOrder.h"
#include "catalogdb/grammar/CatalogBtreeIndexObject.h"
#include "catalogdb/grammar/CatalogBtreeLayout.h"

namespace cb = CatalogBtree;

namespace {

using cb::kMaxField;
using cb::kMaxPageSize;

struct PageArgs {
  int32_t offset;
  uint32_t pageSize;
};

PageArgs ReadPageArgs(FskMachine* the) {
  PageArgs args{};
  args.offset = CatalogInt32Arg(the, 0);
  int64_t pageSize = fxToInteger(the, fxCheckArg(the, 1));
  if (pageSize < 0 || pageSize > kMaxPageSize) {
    fxError(the, EINVAL);
  }
  args.pageSize = static_cast<uint32_t>(pageSize);
  return args;
}

// A field argument from 0 to 0xFFFF.
uint16_t FieldArg(FskMachine* the, int32_t index, int64_t least) {
  int64_t value = fxToInteger(the, fxCheckArg(the, index));
  if (value < least || value > kMaxField) {
    fxError(the, EINVAL);
  }
  return static_cast<uint16_t>(value);
}

void SetOffset(FskMachine* the, const fsk::Value& page, int32_t offset) {
  fsk::Set(the, page, "offset", fsk::Value::Integer(offset));
}

// The constructors' work: a leaf of the key kind, keySize bytes a key.
void MakeIndexPage(FskMachine* the, uint16_t keyKind, uint32_t keySize) {
  fsk::Value self(*fxThis(the));
  PageArgs args = ReadPageArgs(the);
  uint16_t idSlots = FieldArg(the, 2, 0);
  bool unique = fxToBoolean(the, fxCheckArg(the, 3));
  uint32_t entrySize = cb::EntrySizeFor(unique, keySize, idSlots);
  if (keySize > kMaxField || entrySize > kMaxField) {
    fxError(the, EINVAL);
  }
  cb::IndexHeader header;
  header.flags = static_cast<uint16_t>(cb::kLeaf | keyKind | (unique ? cb::kUniqueKeys : 0));
  header.entrySize = static_cast<uint16_t>(entrySize);
  header.keySize = static_cast<uint16_t>(keySize);
  header.idSlots = idSlots;
  int64_t degree = cb::DegreeFor(args.pageSize, entrySize);
  header.degree = static_cast<uint16_t>(degree > cb::kMaxDegree ? 0 : degree);
  if (!header.Fits(args.pageSize)) {
    fxError(the, EINVAL);
  }
  CatalogPageMemory memory = CatalogNewPageMemory(the, self, args.pageSize);
  header.Store(memory.bytes, false);
  SetOffset(the, self, args.offset);
}

// What a page read into a page object must be: the object's own kind.
struct Expectation {
  bool overflow = false;
  uint16_t keyKind = 0;
};

Expectation ExpectationOf(FskMachine* the, const CatalogPageMemory& memory) {
  Expectation expectation;
  uint16_t flags = cb::LoadHost16(memory.bytes);
  expectation.overflow = flags == cb::kOverflowFlags;
  expectation.keyKind = flags & cb::kKeyKindMask;
  if (!expectation.overflow && (expectation.keyKind & (expectation.keyKind - 1)) != 0) {
    fxError(the, EINVAL);
  }
  return expectation;
}

// The index's page size, which must be the page's.
void CheckPageSize(FskMachine* the, const fsk::Value& index, const CatalogPageMemory& memory) {
  if (CatalogInt32Property(the, index, "pageSize") != static_cast<int64_t>(memory.size)) {
    fxError(the, EINVAL);
  }
}

bool OverflowPageAgrees(FskMachine* the, const fsk::Value& index, const cb::OverflowHeader& header, uint32_t size) {
  return header.Fits(size) && header.idsPerSlot == CatalogInt32Property(the, index, "overflowEntries");
}

bool IndexPageAgrees(FskMachine* the, const fsk::Value& index, const cb::IndexHeader& header, uint32_t size,
                     uint16_t keyKind) {
  if (!header.Fits(size) || (header.flags & cb::kKeyKindMask) != keyKind) {
    return false;
  }
  int32_t flags = CatalogInt32Property(the, index, "flags");
  if (header.IsUnique() != ((flags & cb::kIndexUnique) != 0)) {
    return false;
  }
  int32_t keySize = CatalogInt32Property(the, index, "keySize");
  if (keySize <= 0 || header.keySize != cb::RoundUpToWord(static_cast<uint32_t>(keySize))) {
    return false;
  }
  if (header.IsUnique()) {
    return true;
  }
  return header.idSlots == CatalogInt32Property(the, index, "pageEntries");
}

}  // namespace

void CatalogBtreeIntegerPage(FskMachine* the) { MakeIndexPage(the, cb::kIntegerKeys, cb::kIntegerKeySize); }

void CatalogBtreeNumberPage(FskMachine* the) { MakeIndexPage(the, cb::kNumberKeys, cb::kNumberKeySize); }

void CatalogBtreeStringPage(FskMachine* the) {
  int64_t keyLength = fxToInteger(the, fxCheckArg(the, 4));
  if (keyLength <= 0 || keyLength > kMaxField) {
    fxError(the, EINVAL);
  }
  MakeIndexPage(the, cb::kStringKeys, cb::RoundUpToWord(static_cast<uint32_t>(keyLength)));
}

void CatalogBtreeOverflowPage(FskMachine* the) {
  fsk::Value self(*fxThis(the));
  PageArgs args = ReadPageArgs(the);
  uint16_t idsPerSlot = FieldArg(the, 2, 1);
  uint32_t slotSize = cb::kOverflowHeaderSize + cb::kWordSize * idsPerSlot;
  if (slotSize > kMaxField || args.pageSize < cb::kOverflowHeaderSize ||
      (args.pageSize - cb::kOverflowHeaderSize) / slotSize > kMaxField) {
    fxError(the, EINVAL);
  }
  cb::OverflowHeader header;
  header.flags = cb::kOverflowFlags;
  header.slotCount = static_cast<uint16_t>((args.pageSize - cb::kOverflowHeaderSize) / slotSize);
  header.slotSize = static_cast<uint16_t>(slotSize);
  header.idsPerSlot = idsPerSlot;
  CatalogPageMemory memory = CatalogNewPageMemory(the, self, args.pageSize);
  header.Store(memory.bytes, false);
  SetOffset(the, self, args.offset);
}

void CatalogBtreePageRead(FskMachine* the) {
  fsk::Value self(*fxThis(the));
  fsk::Value index(*fxCheckArg(the, 0));
  CatalogPageMemory memory = CatalogPageMemoryOf(the, self);
  CheckPageSize(the, index, memory);
  Expectation expectation = ExpectationOf(the, memory);
  cb::PageOrder order = cb::PageOrder::FromIndexFlags(CatalogInt32Property(the, index, "flags"));
  fsk::Call(the, index, "readDataAt", CatalogAddressOf(memory.bytes), memory.size, CatalogPageOffset(the, self));

  // The script may have closed the page meanwhile.
  CatalogPageMemory read = CatalogPageMemoryOf(the, self);
  if (read.bytes != memory.bytes) {
    fxError(the, EINVAL);
  }
  if (expectation.overflow) {
    if (!OverflowPageAgrees(the, index, cb::OverflowHeader::Load(read.bytes, order.bigEndian), read.size)) {
      fxError(the, EINVAL);
    }
    cb::OverflowPageFromFile(read.bytes, order);
    return;
  }
  if (!IndexPageAgrees(the, index, cb::IndexHeader::Load(read.bytes, order.bigEndian), read.size,
                       expectation.keyKind)) {
    fxError(the, EINVAL);
  }
  cb::IndexPageFromFile(read.bytes, order);
}

void CatalogBtreePageWriteData(FskMachine* the) {
  fsk::Value self(*fxThis(the));
  fsk::Value index(*fxCheckArg(the, 0));
  CatalogPageMemory memory = CatalogPageMemoryOf(the, self);
  CheckPageSize(the, index, memory);
  int32_t offset = CatalogPageOffset(the, self);
  cb::PageOrder order = cb::PageOrder::FromIndexFlags(CatalogInt32Property(the, index, "flags"));
  bool overflow = cb::OverflowHeader::Load(memory.bytes, false).Fits(memory.size);
  if (!overflow && !cb::IndexHeader::Load(memory.bytes, false).Fits(memory.size)) {
    fxError(the, EINVAL);
  }
  auto toFile = overflow ? cb::OverflowPageToFile : cb::IndexPageToFile;
  auto fromFile = overflow ? cb::OverflowPageFromFile : cb::IndexPageFromFile;
  toFile(memory.bytes, order);
  // The page goes back to memory order however the write ends, unless the
  // script closed it meanwhile.
  auto restore = [&]() {
    void* block = fxGetHostData(the, &self.Slot());
    if (block != nullptr && CatalogPageMemoryOf(the, self).bytes == memory.bytes) {
      fromFile(memory.bytes, order);
    }
  };
  try {
    fsk::Call(the, index, "writeDataAt", CatalogAddressOf(memory.bytes), memory.size, offset);
  } catch (...) {
    restore();
    throw;
  }
  restore();
}

void CatalogBtreeIndexReadFree(FskMachine* the) {
  fsk::Value self(*fxThis(the));
  int32_t offset = CatalogInt32Arg(the, 0);
  cb::PageOrder order = cb::PageOrder::FromIndexFlags(CatalogInt32Property(the, self, "flags"));
  unsigned char record[cb::kFreeRecordSize] = {};
  fsk::Call(the, self, "readDataAt", CatalogAddressOf(record), cb::kFreeRecordSize, offset);
  int32_t next = 0;
  if (!cb::LoadFreeRecord(record, order, &next)) {
    fxError(the, EINVAL);
  }
  fxInteger(the, fxResult(the), next);
}

void CatalogBtreeIndexWriteFree(FskMachine* the) {
  fsk::Value self(*fxThis(the));
  int32_t offset = CatalogInt32Arg(the, 0);
  int32_t next = CatalogInt32Arg(the, 1);
  cb::PageOrder order = cb::PageOrder::FromIndexFlags(CatalogInt32Property(the, self, "flags"));
  unsigned char record[cb::kFreeRecordSize] = {};
  cb::StoreFreeRecord(record, next, order);
  fsk::Call(the, self, "writeDataAt", CatalogAddressOf(record), cb::kFreeRecordSize, offset);
}
