#include "platform/sync/XpSingleLock.h"

XpSingleLock::XpSingleLock(XpSyncObject* object) : object_(object) {
  if (object_ != nullptr) result_ = object_->Lock();
}

XpSingleLock::XpSingleLock(XpComboSyncObject* object, uint32_t seconds) : object_(object) {
  if (object != nullptr) result_ = object->LockTimeout(seconds);
}

XpSingleLock::~XpSingleLock() {
  // A destructor cannot report; unlocking what this guard holds fails only on misuse.
  if (IsLocked()) (void)object_->Unlock();
}
