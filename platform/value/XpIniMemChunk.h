#pragma once

#include <cstdint>

#include "platform/memory/XpMemoryFile.h"
#include "platform/value/XpIniElement.h"

// A block of bytes in the value tree, empty at creation.
class XpIniMemChunk : public XpIniElement {
 public:
  // Length argument of SetMemChunk: up to the end of the source.
  static constexpr int64_t kToEnd = -1;

  XpIniMemChunk() = default;

  XpIniType GetType() const override { return kXpIniTypeMemChunk; }
  // Empties destination (SetLength 0), then writes the whole block into it.
  // The result is that of the first step that fails.
  [[nodiscard]] XpResult GetMemChunk(XpAbstractFile* destination) const override;
  // Reads length bytes (kToEnd: all that follow) from offset of source into
  // the block. kXpErrBadArgument, with the block unchanged, for a negative
  // length or an offset past the end with kToEnd. When fewer bytes come, the
  // block keeps the bytes read and the result is the read's failure, else
  // kXpErrEndOfFile.
  [[nodiscard]] XpResult SetMemChunk(XpAbstractFile* source, int64_t offset,
                                     int64_t length) override;

  const void* GetBytes() const { return chunk_.GetBuffer(); }
  uint64_t GetByteCount() const { return chunk_.GetDataSize(); }

 private:
  XpMemoryFile chunk_;
};
