#pragma once

#include "camerastore/xdb/XdbRecords.h"
#include "camerastore/xdb/XdbResultCache.h"

namespace XdbAccessor {

// A result set that is freed when the object goes, on every way out. It
// holds a handle only after Keep, so a failed search frees nothing.
class XdbScopedSet {
 public:
  XdbScopedSet() = default;
  ~XdbScopedSet() { Free(); }
  XdbScopedSet(const XdbScopedSet&) = delete;
  XdbScopedSet& operator=(const XdbScopedSet&) = delete;

  // Where a search writes its handle.
  XdbResultHandle* Out() { return &pending_; }
  // The search succeeded: the handle is held from now on.
  void Keep() {
    Free();
    handle_ = pending_;
    held_ = true;
  }
  // Holds handle, a set that belongs to this object from now on.
  void Adopt(XdbResultHandle handle) {
    Free();
    handle_ = handle;
    held_ = true;
  }
  // Hands the set to the caller, who frees it.
  XdbResultHandle Release() {
    held_ = false;
    return handle_;
  }
  bool Held() const { return held_; }
  XdbResultHandle Get() const { return handle_; }
  void Free() {
    if (held_) {
      held_ = false;
      XdbResultFree(handle_);
    }
  }

 private:
  XdbResultHandle pending_{};
  XdbResultHandle handle_{};
  bool held_ = false;
};

}  // namespace XdbAccessor
