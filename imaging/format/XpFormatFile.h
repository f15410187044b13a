#pragma once

#include <cstdint>
#include <vector>

#include "platform/fs/XpFile.h"
#include "platform/text/XpString.h"

// A file opened for reading by a content test: reads at absolute positions
// through XpFile. Every failure is a plain false.
class XpFormatFile {
 public:
  // Opens path for reading.
  bool Open(const XpString& path);
  // Up to count bytes at position into bytes (resized to what was read);
  // false when the seek or a read fails.
  bool ReadAt(uint64_t position, uint64_t count, std::vector<uint8_t>& bytes);
  // Exactly count bytes at position; false on a failure or a short read.
  bool ReadExactly(uint64_t position, uint64_t count, std::vector<uint8_t>& bytes);

 private:
  XpFile file_;
};
