#include "catalogdb/common/CatalogNativeSupport.h"

#include <cerrno>

void CatalogRaise(FskMachine* the, int error, int fallback) { fxError(the, error != 0 ? error : fallback); }

void CatalogRaiseErrno(FskMachine* the) {
  int error = errno;
  CatalogRaise(the, error, EIO);
}

unsigned char* CatalogPointerArg(FskMachine* the, int32_t index) {
  int64_t address = fxToInteger(the, fxCheckArg(the, index));
  return reinterpret_cast<unsigned char*>(static_cast<intptr_t>(address));
}

int64_t CatalogAddressOf(const void* pointer) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(pointer)); }

CatalogBlock CatalogAllocateClear(FskMachine* the, int64_t size) {
  if (size < 0) {
    fxError(the, EINVAL);
  }
  auto* block = static_cast<unsigned char*>(FskMemPtrAllocClear(static_cast<size_t>(size)));
  if (block == nullptr) {
    fxError(the, ENOMEM);
  }
  return CatalogBlock(block);
}
