#include "catalogdb/grammar/CatalogBtreeIndexFile.h"

#include <array>
#include <cerrno>

#include "catalogdb/common/CatalogByteOrder.h"
#include "catalogdb/common/CatalogNativeSupport.h"
#include "catalogdb/grammar/CatalogBtreeIndexObject.h"
#include "catalogdb/grammar/CatalogBtreeLayout.h"

namespace cb = CatalogBtree;

namespace {

constexpr int32_t kAtomSize = 48;
constexpr uint32_t kAtomHeaderSize = 8;
// The stored words, in their order.
constexpr std::array<const char*, 10> kFields = {
    "flags",    "keySize",     "cacheSize", "pageEntries", "overflowEntries",
    "pageSize", "defaultSize", "root",      "free",        "overflow",
};
constexpr size_t kRootField = 7;
constexpr size_t kOverflowField = 9;
// The root of an index without one.
constexpr int32_t kNoRoot = -1;

unsigned char* FieldAt(std::array<unsigned char, kAtomSize>& atom, size_t field) {
  return atom.data() + kAtomHeaderSize + field * cb::kWordSize;
}

// A page's offset, an offset as it is, or fallback for none.
int32_t OffsetOf(FskMachine* the, const fsk::Value& value, int32_t fallback) {
  if (value.IsUndefined() || value.IsNull()) {
    return fallback;
  }
  if (value.IsObject()) {
    return CatalogPageOffset(the, value);
  }
  return CatalogInt32(the, value);
}

int32_t FieldValue(FskMachine* the, const fsk::Value& index, size_t field) {
  fsk::Value value = fsk::Get(the, index, kFields[field]);
  switch (field) {
    case kRootField:
      return OffsetOf(the, value, kNoRoot);
    case kOverflowField:
      return OffsetOf(the, value, 0);
    default:
      return CatalogInt32(the, value);
  }
}

int32_t PositiveProperty(FskMachine* the, const fsk::Value& index, const char* name, int32_t least) {
  int32_t value = CatalogInt32Property(the, index, name);
  if (value < least) {
    fxError(the, EINVAL);
  }
  return value;
}

}  // namespace

void CatalogBtreeReadFile(FskMachine* the) {
  fsk::Value self(*fxThis(the));
  std::array<unsigned char, kAtomSize> atom{};
  CatalogStoreHost32(atom.data(), kAtomSize);
  CatalogStoreHost32(atom.data() + cb::kWordSize, CatalogInt32Property(the, self, "type"));
  fsk::Call(the, self, "readAtom", CatalogAddressOf(atom.data()));
  if (CatalogLoadHost32(atom.data()) != kAtomSize) {
    fxError(the, EINVAL);
  }
  for (size_t field = 0; field < kFields.size(); ++field) {
    int32_t value = CatalogLoadBigEndianInt32(FieldAt(atom, field));
    fsk::Set(the, self, kFields[field], fsk::Value::Integer(value));
  }
}

void CatalogBtreeWriteFileAux(FskMachine* the) {
  fsk::Value self(*fxThis(the));
  std::array<unsigned char, kAtomSize> atom{};
  CatalogStoreHost32(atom.data(), kAtomSize);
  CatalogStoreHost32(atom.data() + cb::kWordSize, CatalogInt32Property(the, self, "type"));
  for (size_t field = 0; field < kFields.size(); ++field) {
    CatalogStoreBigEndianInt32(FieldAt(atom, field), FieldValue(the, self, field));
  }
  fsk::Call(the, self, "writeAtom", CatalogAddressOf(atom.data()));
}

void CatalogBtreeCalculatePageSize(FskMachine* the) {
  fsk::Value self(*fxThis(the));
  bool unique = (CatalogInt32Property(the, self, "flags") & cb::kIndexUnique) != 0;
  int64_t keySize = cb::RoundUpToWord(static_cast<uint32_t>(PositiveProperty(the, self, "keySize", 1)));
  int64_t idSlots = unique ? 0 : PositiveProperty(the, self, "pageEntries", 1);
  int64_t defaultSize = PositiveProperty(the, self, "defaultSize", 1);
  int64_t overflowEntries = PositiveProperty(the, self, "overflowEntries", 1);
  if (keySize > cb::kMaxField || idSlots > cb::kMaxField) {
    fxError(the, EINVAL);
  }
  int64_t entrySize = cb::EntrySizeFor(unique, static_cast<uint32_t>(keySize), static_cast<uint32_t>(idSlots));
  // Degree 2 needs 2d + 1 = 5 entries beside the header.
  int64_t least = cb::kIndexHeaderSize + (2 * cb::kMinDegree + 1) * entrySize;
  int64_t searched = (least + defaultSize - 1) / defaultSize * defaultSize;
  int64_t degree = cb::DegreeFor(searched, entrySize);
  int64_t pageSize = cb::kIndexHeaderSize + (2 * degree + 1) * entrySize;
  if (entrySize > cb::kMaxField || degree > cb::kMaxDegree || pageSize > cb::kMaxPageSize) {
    fxError(the, EINVAL);
  }
  // An overflow slot is {next page, next slot, IDs}.
  constexpr int64_t kSlotWords = 2;
  while (overflowEntries > 0 && (overflowEntries + kSlotWords) * cb::kWordSize > pageSize - cb::kOverflowHeaderSize) {
    overflowEntries -= 1;
  }
  if (overflowEntries < 1) {
    fxError(the, EINVAL);
  }
  fsk::Set(the, self, "overflowEntries", fsk::Value::Integer(overflowEntries));
  fxInteger(the, fxResult(the), pageSize);
}
