#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"

// Time-outs of every lock and wait are whole seconds.
inline constexpr uint32_t kXpWaitForever = 0xFFFFFFFF;
inline constexpr uint32_t kXpTryOnce = 0;

// The common interface of every lock and wait object.
class XpSyncObject {
 public:
  XpSyncObject() = default;
  XpSyncObject(const XpSyncObject&) = delete;
  XpSyncObject& operator=(const XpSyncObject&) = delete;
  virtual ~XpSyncObject() = default;

  [[nodiscard]] virtual XpResult Lock() = 0;
  [[nodiscard]] virtual XpResult Unlock() = 0;
  [[nodiscard]] virtual XpResult TryLock() = 0;
};
