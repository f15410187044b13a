#include "platform/value/XpIniMemChunk.h"

#include <cstdlib>

XpResult XpIniMemChunk::GetMemChunk(XpAbstractFile* destination) const {
  if (destination == nullptr) {
    return kXpErrBadArgument;
  }
  const XpResult emptied = destination->SetLength(0);
  if (emptied != kXpOk || GetByteCount() == 0) {
    return emptied;
  }
  return destination->Write(GetBytes(), GetByteCount(), nullptr);
}

XpResult XpIniMemChunk::SetMemChunk(XpAbstractFile* source, int64_t offset, int64_t length) {
  if (source == nullptr) {
    return kXpErrBadArgument;
  }
  const XpResult sought = source->Seek(offset, kXpSeekBegin);
  if (sought != kXpOk) {
    return sought;
  }
  if (length == kToEnd) {
    length = source->GetSize() - source->Tell();
  }
  if (length < 0) {
    return kXpErrBadArgument;
  }
  // A memory file resizes only a buffer it has.
  if (chunk_.GetBuffer() == nullptr) {
    void* first = std::malloc(1);
    if (first == nullptr) {
      return kXpErrOutOfMemory;
    }
    chunk_.Attach(first, 0, true);
  }
  const uint64_t wanted = static_cast<uint64_t>(length);
  const XpResult sized = chunk_.SetLength(wanted);
  if (sized != kXpOk || wanted == 0) {
    return sized;
  }
  uint64_t done = 0;
  const XpResult read = source->Read(chunk_.GetBuffer(), wanted, &done);
  if (done >= wanted) {
    return read;
  }
  // Never keep bytes the source did not deliver.
  // Shrinking within the buffer cannot fail.
  (void)chunk_.SetLength(done);
  return read != kXpOk ? read : kXpErrEndOfFile;
}
