#include "catalogdb/grammar/CatalogFileCalls.h"

#include "catalogdb/common/CatalogNativeSupport.h"

void CatalogCallReadData(FskMachine* the, const fsk::Value& file, void* buffer, int64_t count) {
  fsk::Call(the, file, "readData", CatalogAddressOf(buffer), count);
}

void CatalogCallWriteData(FskMachine* the, const fsk::Value& file, const void* buffer, int64_t count) {
  fsk::Call(the, file, "writeData", CatalogAddressOf(buffer), count);
}

void CatalogCallReadAtom(FskMachine* the, const fsk::Value& file, void* atom) {
  fsk::Call(the, file, "readAtom", CatalogAddressOf(atom));
}

void CatalogCallWriteAtom(FskMachine* the, const fsk::Value& file, const void* atom) {
  fsk::Call(the, file, "writeAtom", CatalogAddressOf(atom));
}

void CatalogCallSetOffset(FskMachine* the, const fsk::Value& file, int64_t offset) {
  fsk::Call(the, file, "setOffset", offset);
}

int64_t CatalogCallRemainingBytes(FskMachine* the, const fsk::Value& file) {
  int64_t position = fsk::ToInteger(the, fsk::Call(the, file, "getOffset"));
  int64_t size = fsk::ToInteger(the, fsk::Call(the, file, "getSize"));
  CatalogCallSetOffset(the, file, position);
  return size > position ? size - position : 0;
}
