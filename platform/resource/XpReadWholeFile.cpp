#include "platform/resource/XpReadWholeFile.h"

#include <new>
#include <stdexcept>

#include "platform/fs/XpFile.h"

namespace {

XpResult ReadOpenFile(XpFile& file, std::vector<uint8_t>* bytes) {
  const int64_t size = file.GetSize();
  if (size < 0) {
    return kXpErrInvalidFile;
  }
  if (size == 0) {
    return kXpOk;
  }
  try {
    bytes->resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return kXpErrOutOfMemory;
  } catch (const std::length_error&) {
    return kXpErrOutOfMemory;
  }
  return file.Read(bytes->data(), static_cast<uint64_t>(size), nullptr);
}

}  // namespace

XpResult XpReadWholeFile(const XpString& path, std::vector<uint8_t>* bytes) {
  if (bytes == nullptr) {
    return kXpErrBadArgument;
  }
  bytes->clear();
  XpFile file(path);
  XpResult result = file.Open(kXpOpenRead | kXpOpenSequential);
  if (XpFailed(result)) {
    return result;
  }
  result = ReadOpenFile(file, bytes);
  (void)file.Close();  // opened for reading: nothing to lose
  if (XpFailed(result)) {
    bytes->clear();
  }
  return result;
}
