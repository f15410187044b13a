#include "platform/sync/XpSingleInstanceMutex.h"

#include <unistd.h>

#include <string>

#include "platform/fs/XpSysCalls.h"
#include "platform/system/XpSystemInfo.h"

namespace {

constexpr uint32_t kFirstMajorWithGlobalNames = 5;
constexpr const char* kOwnProgramLink = "/proc/self/exe";
constexpr size_t kFirstLinkBuffer = 256;
constexpr size_t kLongestLink = 1 << 20;

uint32_t OsMajorVersion() {
  uint32_t major = 0;
  if (XpGetOSVersion(nullptr, &major, nullptr) != kXpOk) return 0;
  return major;
}

}  // namespace

XpSingleInstanceMutex::XpSingleInstanceMutex(bool global)
    : XpSingleInstanceMutex(global, ProgramPath()) {}

XpSingleInstanceMutex::XpSingleInstanceMutex(bool global, const XpString& programPath) {
  if (programPath.IsEmpty()) return;
  const XpString name = BuildName(programPath, global, OsMajorVersion());
  bool existed = true;
  if (mutex_.CreateMutex(name, false, &existed) != kXpOk) return;
  acquired_ = !existed;
}

XpString XpSingleInstanceMutex::BuildName(const XpString& programPath, bool global,
                                          uint32_t osMajorVersion) {
  XpString converted = programPath;
  converted.Replace(u"\\", u"/");
  std::u16string folded(converted.View());
  for (char16_t& unit : folded) {
    if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
  }
  XpString name(folded);
  if (global && osMajorVersion >= kFirstMajorWithGlobalNames) return u"Global\\" + name;
  return name;
}

XpString XpSingleInstanceMutex::ProgramPath() {
  for (size_t size = kFirstLinkBuffer; size <= kLongestLink; size *= 2) {
    std::string buffer(size, '\0');
    const ssize_t length = XpSysCalls::Current().Readlink(kOwnProgramLink, buffer.data(), buffer.size());
    if (length < 0) return XpString();
    if (static_cast<size_t>(length) < buffer.size()) {
      buffer.resize(static_cast<size_t>(length));
      return XpStringA(buffer.c_str(), static_cast<int32_t>(length)).ToWide();
    }
  }
  return XpString();
}
