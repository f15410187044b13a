#include "catalogdb/grammar/CatalogAtomNatives.h"

#include <cerrno>

#include "catalogdb/common/CatalogByteOrder.h"
#include "catalogdb/common/CatalogNativeSupport.h"
#include "catalogdb/grammar/CatalogFileCalls.h"
#include "fsk/FskMemory.h"
#include "fsk/FskScript.h"

namespace {

// {big-endian size, big-endian type} on disk.
constexpr int64_t kDiskHeaderSize = 8;

// The atom block of this; EINVAL for an atom without one (never built, or
// closed).
unsigned char* ThisAtom(FskMachine* the) {
  auto* atom = static_cast<unsigned char*>(fxGetHostData(the, fxThis(the)));
  if (atom == nullptr) {
    fxError(the, EINVAL);
  }
  return atom;
}

void ReturnWord(FskMachine* the, int32_t offset) {
  fxInteger(the, fxResult(the), CatalogLoadHost32(ThisAtom(the) + offset));
}

void StoreWordArg(FskMachine* the, int32_t offset) {
  unsigned char* atom = ThisAtom(the);
  CatalogStoreHost32(atom + offset, static_cast<int32_t>(fxToInteger(the, fxCheckArg(the, 0))));
}

struct DiskHeader {
  int32_t size = 0;
  int32_t type = 0;
};

// Reads the header at the file's position through file.readData. The size
// must hold the id and end inside the file: nothing is allocated for a size
// that does not.
DiskHeader ReadDiskHeader(FskMachine* the, const fsk::Value& file) {
  unsigned char bytes[kDiskHeaderSize];
  CatalogCallReadData(the, file, bytes, kDiskHeaderSize);
  DiskHeader header{CatalogLoadBigEndianInt32(bytes), CatalogLoadBigEndianInt32(bytes + 4)};
  if (header.size < kCatalogAtomHeaderSize || header.size - kDiskHeaderSize > CatalogCallRemainingBytes(the, file)) {
    fxError(the, EINVAL);
  }
  return header;
}

// Reads the rest of the atom whose header was read into a new block.
void ReadRest(FskMachine* the, const fsk::Value& file, unsigned char* atom, const DiskHeader& header) {
  CatalogStoreHost32(atom + kCatalogAtomSizeOffset, header.size);
  CatalogStoreHost32(atom + kCatalogAtomTypeOffset, header.type);
  CatalogCallReadData(the, file, atom + kDiskHeaderSize, header.size - kDiskHeaderSize);
}

fsk::Value FileArg(FskMachine* the) { return fsk::Value(*fxCheckArg(the, 0)); }

}  // namespace

void CatalogAtomGetID(FskMachine* the) { ReturnWord(the, kCatalogAtomIDOffset); }

void CatalogAtomGetSize(FskMachine* the) { ReturnWord(the, kCatalogAtomSizeOffset); }

void CatalogAtomGetType(FskMachine* the) { ReturnWord(the, kCatalogAtomTypeOffset); }

void CatalogAtomSetID(FskMachine* the) { StoreWordArg(the, kCatalogAtomIDOffset); }

void CatalogAtomSetType(FskMachine* the) { StoreWordArg(the, kCatalogAtomTypeOffset); }

void CatalogAtomSetSize(FskMachine* the) {
  FskSlot* self = fxThis(the);
  int64_t size = fxToInteger(the, fxCheckArg(the, 0));
  if (size < kCatalogAtomHeaderSize || size > INT32_MAX) {
    fxError(the, EINVAL);
  }
  void* resized = FskMemPtrReallocC(fxGetHostData(the, self), static_cast<size_t>(size));
  if (resized == nullptr) {
    fxError(the, ENOMEM);
  }
  fxSetHostData(the, self, resized);
  CatalogStoreHost32(static_cast<unsigned char*>(resized) + kCatalogAtomSizeOffset, static_cast<int32_t>(size));
}

void CatalogAtomRead(FskMachine* the) {
  fsk::Value file = FileArg(the);
  DiskHeader header = ReadDiskHeader(the, file);
  // Read into a new block, so that a failure leaves the atom as it was.
  CatalogBlock atom = CatalogAllocateClear(the, header.size);
  ReadRest(the, file, atom.get(), header);
  FskSlot* self = fxThis(the);
  void* old = fxGetHostData(the, self);
  fxSetHostData(the, self, atom.release());
  FskMemPtrDispose(old);
}

void CatalogAtomSwap(FskMachine* the) {
  FskSlot* self = fxThis(the);
  FskSlot* other = fxCheckArg(the, 0);
  void* mine = fxGetHostData(the, self);
  void* theirs = fxGetHostData(the, other);
  fxSetHostData(the, self, theirs);
  fxSetHostData(the, other, mine);
}

void CatalogAtomWrite(FskMachine* the) {
  unsigned char* atom = ThisAtom(the);
  CatalogCallWriteAtom(the, FileArg(the), atom);
}

void CatalogAtomFromFile(FskMachine* the) {
  fsk::Value file = FileArg(the);
  DiskHeader header = ReadDiskHeader(the, file);
  CatalogBlock block = CatalogAllocateClear(the, header.size);
  unsigned char* atom = block.get();
  // From here the block belongs to the new atom, whose destructor frees it
  // also when the read below fails.
  FskSlot* self = fxThis(the);
  void* old = fxGetHostData(the, self);
  fxSetHostData(the, self, block.release());
  FskMemPtrDispose(old);
  ReadRest(the, file, atom, header);
}
