#pragma once

#include <cstdint>

// The kinds of named objects shared between processes.
enum class XpNamedObjectKind : uint8_t {
  kMutex,
  kEvent,
  kSemaphore,
};
