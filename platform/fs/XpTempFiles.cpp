#include "platform/fs/XpTempFiles.h"

#include <string>

#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/path/XpPath.h"

namespace {

constexpr uint32_t kLastNumber = 0x7FFFFFFF;
constexpr uint32_t kTempDigits = 8;
constexpr const char16_t* kTempSuffix = u".tmp";

XpString PaddedNumber(uint32_t number, uint32_t digits) {
  std::string text = std::to_string(number);
  if (text.size() < digits) {
    text.insert(0, digits - text.size(), '0');
  }
  return XpStringA(text.c_str(), static_cast<int32_t>(text.size())).ToWide();
}

}  // namespace

XpString XpCreateUniqueNumberedFile(const XpString& dir, const XpString& prefix, uint32_t digits,
                                    const XpString& middle, const XpString& suffix) {
  if (digits == 0) {
    return XpString();
  }
  XpString path;
  for (uint32_t number = 0; number < kLastNumber; ++number) {
    path = XpPathJoin(dir, prefix + PaddedNumber(number, digits) + middle + suffix);
    XpResult result = XpFsCreateNewFile(path);
    if (result != kXpOk && XpFsEntryExists(path)) {
      result = kXpErrAlreadyExists;
    }
    if (result != kXpErrAlreadyExists) {
      break;
    }
  }
  struct stat info {};
  const bool isFile = XpFsStat(path, &info) && S_ISREG(info.st_mode);
  return isFile ? path : XpString();
}

[[nodiscard]] XpResult XpCopyViaTempFile(const XpString& source, const XpString& destination,
                                         bool folderMode, IXpFileOpProgressObserver* observer) {
  const XpString temp =
      XpCreateUniqueNumberedFile(XpPathGetDirectory(destination), XpString(), kTempDigits,
                                 XpString(), kTempSuffix);
  if (temp.IsEmpty()) {
    return kXpErrSystem;
  }
  const XpResult reserved = XpFsCreateNewFile(destination);
  if (reserved != kXpOk && reserved != kXpErrAlreadyExists) {
    (void)XpDeleteFile(temp);  // the reservation's failure is the answer
    return reserved;
  }
  XpResult result = XpCopyPath(source, temp, folderMode, observer);
  if (result == kXpOk) {
    result = XpMoveFileWithProgress(temp, destination, nullptr);
  }
  if (result != kXpOk && reserved == kXpOk) {
    (void)XpDeleteFile(destination);  // the reservation made above; the copy's failure is the answer
  }
  (void)XpDeleteFile(temp);  // gone after a move; else only an empty or partial copy
  return result;
}
