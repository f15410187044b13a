#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// A path held as a shared, reference-counted string together with its
// length. Copies share the string; the last one to go releases it.
class XpPath {
 public:
  XpPath() = default;
  explicit XpPath(const XpString& path);

  const XpString& GetString() const { return path_; }
  int32_t GetLength() const { return length_; }

 private:
  XpString path_;
  int32_t length_ = 0;
};
