#include "platform/sync/XpRwLock.h"

XpResult XpRwLock::AddReader(uint32_t /*caller*/) {
  ++readers_;
  return kXpOk;
}

void XpRwLock::RemoveReader(uint32_t /*caller*/) {
  if (readers_ >= 1) --readers_;
}
