#include "platform/fs/XpReadWholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <new>
#include <stdexcept>

#include "platform/fs/XpFile.h"
#include "platform/fs/XpReadAll.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"

namespace {

[[nodiscard]] XpResult ReadOpenFile(XpFile& file, std::vector<uint8_t>* bytes) {
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

[[nodiscard]] XpResult XpReadWholeFile(const XpString& path, std::string* text) {
  if (text == nullptr) {
    return kXpErrBadArgument;
  }
  text->clear();
  const std::string native(path.ToMultiByte().CStr());
  XpSysCalls& calls = XpSysCalls::Current();
  const int fd = calls.Open(native.c_str(), O_RDONLY, 0);
  if (fd < 0) {
    return XpResultFromErrno(errno, native.c_str());
  }
  struct stat info {};
  XpResult result = calls.Fstat(fd, &info) != 0 ? XpResultFromErrno(errno) : kXpOk;
  if (result == kXpOk && S_ISDIR(info.st_mode)) {
    result = kXpErrInvalidFile;
  }
  if (result == kXpOk) {
    result = XpReadAll(calls, fd, text);
  }
  (void)calls.Close(fd);  // opened for reading: nothing to lose
  if (XpFailed(result)) {
    text->clear();
  }
  return result;
}

[[nodiscard]] XpResult XpReadWholeFile(const XpString& path, std::vector<uint8_t>* bytes) {
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
