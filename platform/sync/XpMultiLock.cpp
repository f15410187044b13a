#include "platform/sync/XpMultiLock.h"

#include <algorithm>
#include <new>

XpMultiWaiterBase::XpMultiWaiterBase(bool autoUnlock, XpComboSyncObject* wakeUp)
    : autoUnlock_(autoUnlock), wakeUp_(wakeUp) {}

XpResult XpMultiWaiterBase::Register(std::span<XpComboSyncObject* const> objects) {
  if (wakeUp_ == nullptr) return kXpErrInvalidHandle;
  if (std::find(objects.begin(), objects.end(), nullptr) != objects.end()) {
    return kXpErrInvalidHandle;
  }
  // Its own state changes would wake it without end.
  if (std::find(objects.begin(), objects.end(), wakeUp_) != objects.end()) {
    return kXpErrBadArgument;
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    const XpResult added = objects[i]->AddWaiter(this);
    if (added != kXpOk) {
      Unregister(objects.first(i));
      return added;
    }
  }
  return kXpOk;
}

void XpMultiWaiterBase::Unregister(std::span<XpComboSyncObject* const> objects) {
  for (XpComboSyncObject* object : objects) object->RemoveWaiter(this);
}

XpMultiLockOne::XpMultiLockOne(bool autoUnlock, std::span<XpComboSyncObject* const> objects,
                               XpComboSyncObject* wakeUp, uint32_t seconds)
    : XpMultiWaiterBase(autoUnlock, wakeUp) {
  Acquire(objects, seconds);
}

XpMultiLockOne::XpMultiLockOne(bool autoUnlock, XpComboSyncObject* first,
                               XpComboSyncObject* second, XpComboSyncObject* wakeUp,
                               uint32_t seconds)
    : XpMultiWaiterBase(autoUnlock, wakeUp) {
  XpComboSyncObject* const pair[] = {first, second};
  Acquire(pair, seconds);
}

XpMultiLockOne::~XpMultiLockOne() {
  // A destructor cannot report; unlocking what this guard holds fails only on misuse.
  if (autoUnlock_ && object_ != nullptr) (void)object_->Unlock();
}

void XpMultiLockOne::Acquire(std::span<XpComboSyncObject* const> objects, uint32_t seconds) {
  if (objects.empty()) {
    lastResult_ = kXpErrBadArgument;
    return;
  }
  lastResult_ = Register(objects);
  if (lastResult_ != kXpOk) return;
  const XpDeadline deadline = XpDeadline::AfterSeconds(seconds);
  while (!TryEach(objects)) {
    lastResult_ = wakeUp_->LockUntil(deadline);
    if (lastResult_ != kXpOk) break;
  }
  Unregister(objects);
}

bool XpMultiLockOne::TryEach(std::span<XpComboSyncObject* const> objects) {
  for (size_t i = 0; i < objects.size(); ++i) {
    if (objects[i]->LockTimeout(kXpTryOnce) == kXpOk) {
      index_ = static_cast<int32_t>(i);
      object_ = objects[i];
      return true;
    }
  }
  return false;
}

XpMultiLockAll::XpMultiLockAll(bool autoUnlock, std::span<XpComboSyncObject* const> objects,
                               XpComboSyncObject* wakeUp, uint32_t seconds)
    : XpMultiWaiterBase(autoUnlock, wakeUp) {
  Acquire(objects, seconds);
}

XpMultiLockAll::XpMultiLockAll(bool autoUnlock, XpComboSyncObject* first,
                               XpComboSyncObject* second, XpComboSyncObject* wakeUp,
                               uint32_t seconds)
    : XpMultiWaiterBase(autoUnlock, wakeUp) {
  XpComboSyncObject* const pair[] = {first, second};
  Acquire(pair, seconds);
}

XpMultiLockAll::~XpMultiLockAll() {
  if (!autoUnlock_) return;
  // A destructor cannot report; unlocking what this guard holds fails only on misuse.
  for (XpComboSyncObject* object : objects_) (void)object->Unlock();
}

void XpMultiLockAll::Acquire(std::span<XpComboSyncObject* const> objects, uint32_t seconds) {
  std::vector<int32_t> remaining;
  try {
    indexes_.reserve(objects.size());
    objects_.reserve(objects.size());
    remaining.reserve(objects.size());
  } catch (const std::bad_alloc&) {
    lastResult_ = kXpErrOutOfMemory;
    return;
  }
  for (size_t i = 0; i < objects.size(); ++i) remaining.push_back(static_cast<int32_t>(i));
  lastResult_ = Register(objects);
  if (lastResult_ != kXpOk) return;
  const XpDeadline deadline = XpDeadline::AfterSeconds(seconds);
  for (;;) {
    TryRemaining(objects, remaining);
    if (remaining.empty()) break;
    lastResult_ = wakeUp_->LockUntil(deadline);
    if (lastResult_ != kXpOk) break;
  }
  Unregister(objects);
}

void XpMultiLockAll::TryRemaining(std::span<XpComboSyncObject* const> objects,
                                  std::vector<int32_t>& remaining) {
  for (size_t k = remaining.size(); k-- > 0;) {
    const int32_t index = remaining[k];
    if (objects[index]->LockTimeout(kXpTryOnce) != kXpOk) continue;
    // Capacity was reserved for every object: these never allocate.
    indexes_.push_back(index);
    objects_.push_back(objects[index]);
    remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(k));
  }
}
