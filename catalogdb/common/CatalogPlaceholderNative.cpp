#include "catalogdb/common/CatalogPlaceholderNative.h"

#include <cerrno>

void CatalogPlaceholderNative(FskMachine* the) { fxError(the, ENOSYS); }

void CatalogPlaceholderDestructor(void*) {}

bool CatalogIsPlaceholder(const NativeRow& row) {
  switch (row.kind) {
    case kNativeFunction:
    case kNativeConstructor:
      return row.address.function == CatalogPlaceholderNative;
    case kNativeHostObject:
      return row.address.destructor == CatalogPlaceholderDestructor;
    default:
      return false;
  }
}
