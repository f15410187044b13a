#pragma once

#include <cstdint>

#include "framework/notify/XfObject.h"

// The payload of the notification that ends an export's preparation: the
// bytes of all files to write.
class K2ExportInfoObj : public XfObject {
 public:
  explicit K2ExportInfoObj(uint64_t totalBytes) : totalBytes_(totalBytes) {}

  uint64_t GetTotalBytes() const { return totalBytes_; }

 private:
  const uint64_t totalBytes_;
};
