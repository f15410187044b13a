#include "catalogdb/common/CatalogHostBuffer.h"

#include "fsk/FskMemory.h"

void CatalogHostBufferDestructor(void* data) { FskMemPtrDispose(data); }

void CatalogHostBufferClose(FskMachine* the) {
  FskSlot* self = fxThis(the);
  void* data = fxGetHostData(the, self);
  fxSetHostData(the, self, nullptr);
  FskMemPtrDispose(data);
}
