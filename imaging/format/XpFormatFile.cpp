#include "imaging/format/XpFormatFile.h"

#include <limits>

bool XpFormatFile::Open(const XpString& path) {
  if (file_.SetFile(path) != kXpOk) {
    return false;
  }
  return file_.Open(kXpOpenRead) == kXpOk;
}

bool XpFormatFile::ReadAt(uint64_t position, uint64_t count, std::vector<uint8_t>& bytes) {
  bytes.clear();
  if (!file_.IsOpen() || position > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
    return false;
  }
  if (file_.Seek(static_cast<int64_t>(position), kXpSeekBegin) != kXpOk) {
    return false;
  }
  bytes.resize(count);
  if (count == 0) {
    return true;
  }
  uint64_t done = 0;
  const XpResult result = file_.Read(bytes.data(), count, &done);
  if (result != kXpOk && result != kXpErrEndOfFile) {
    bytes.clear();
    return false;
  }
  const uint64_t total = done;
  bytes.resize(total);
  return true;
}

bool XpFormatFile::ReadExactly(uint64_t position, uint64_t count, std::vector<uint8_t>& bytes) {
  return ReadAt(position, count, bytes) && bytes.size() == count;
}
