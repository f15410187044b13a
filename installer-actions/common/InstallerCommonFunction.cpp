#include "installer-actions/common/InstallerCommonFunction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpWriteAll.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/sync/XpNamedObject.h"
#include "platform/text/XpUtf.h"

namespace {

constexpr const char16_t* kLoggingProperty = u"QMVLOGGING";
constexpr const char16_t* kLoggingOn = u"True";
constexpr const char16_t* kLogFileNameProperty = u"QMV_INSTALLER_LOGFILENAME";
constexpr const char16_t* kProductNameProperty = u"ProductName";
constexpr const char16_t* kLogExtension = u".log";
constexpr int32_t kLogExtensionLength = 4;
constexpr const char16_t* kNullText = u"(NULL)";
constexpr const char* kEntryTimeFormat = "%Y/%m/%d %H:%M:%S";
constexpr const char* kNameTimeFormat = "%Y%m%d-%H%M%S";
constexpr size_t kTimeCapacity = 128;
constexpr uint32_t kLogMutexWaitSeconds = 10;
// O_NONBLOCK: a FIFO planted under the log's name must not block the open;
// it is then refused as not regular.
constexpr int kLogFileFlags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
constexpr mode_t kLogFileMode = 0644;

// A file name with no folder in it: no '/', and neither "." nor "..".
bool IsPlainName(const XpString& name) {
  return !name.IsEmpty() && name.Find(u'/') < 0 && name != u"." && name != u"..";
}

// The text as the file shows it: "(NULL)" when absent, each '%' doubled.
XpString LoggedText(const char16_t* text) {
  XpString logged(text != nullptr ? text : kNullText);
  logged.Replace(u"%", u"%%");
  return logged;
}

}  // namespace

InstallerCommonFunction::InstallerCommonFunction(MSIHANDLE install)
    : InstallerCommonFunction(install, InstallerLogClock::Real(), XpWaitClock::Real()) {}

InstallerCommonFunction::InstallerCommonFunction(MSIHANDLE install, InstallerLogClock& clock,
                                                 XpWaitClock& waitClock)
    : clock_(clock), waitClock_(waitClock) {
  if (install != 0) logging_ = CheckLogging(install);
}

int32_t InstallerCommonFunction::CheckLogging(MSIHANDLE install) {
  XpString value;
  if (GetPropertyMsi(install, kLoggingProperty, value) != kMsiSuccess) return 0;
  if (value.Compare(kLoggingOn) != 0) return 0;
  if (!PrepareLogFileName(install)) logFileName_ = kDefaultLogFileName;
  return 1;
}

bool InstallerCommonFunction::GetLogFileNameProperty(MSIHANDLE install) {
  XpString value;
  if (GetPropertyMsi(install, kLogFileNameProperty, value) != kMsiSuccess) return false;
  if (value.GetLength() < kLogExtensionLength || value.Right(kLogExtensionLength) != kLogExtension) {
    return false;
  }
  if (!IsPlainName(value)) return false;
  logFileName_ = value;
  return true;
}

bool InstallerCommonFunction::PrepareLogFileName(MSIHANDLE install) {
  logFileName_ = XpString();
  if (GetLogFileNameProperty(install)) return true;
  XpString product;
  if (GetPropertyMsi(install, kProductNameProperty, product) != kMsiSuccess || product.IsEmpty()) {
    return false;
  }
  XpString name;
  if (XpFailed(name.Format(u"%sInstaller_dll-%s.log", product, FormattedNow(kNameTimeFormat)))) return false;
  if (!IsPlainName(name)) return false;
  if (SetPropertyMsi(install, kLogFileNameProperty, name.CStr()) != kMsiSuccess) return false;
  logFileName_ = name;
  return true;
}

XpString InstallerCommonFunction::FormattedNow(const char* pattern) {
  const std::tm now = clock_.LocalNow();
  std::array<char, kTimeCapacity> text{};
  const size_t length = std::strftime(text.data(), text.size(), pattern, &now);
  return XpString(XpUtf8ToUtf16(std::string_view(text.data(), length)));
}

int32_t InstallerCommonFunction::WriteLog(const char16_t* message, const char16_t* title) {
  XpNamedObject mutex;
  if (XpFailed(mutex.CreateMutex(kLogMutexName, false))) return 0;
  mutex.SetClockForTest(waitClock_);
  if (XpFailed(mutex.Wait(kLogMutexWaitSeconds))) return 0;
  bool written = false;
  const XpString folder = XpGetSpecialFolder(kXpFolderTemp, false);
  if (!folder.IsEmpty() && IsPlainName(logFileName_)) {
    XpString entry = u"[" + FormattedNow(kEntryTimeFormat) + u"] : [" + LoggedText(title) + u"]\n" +
                     LoggedText(message);
    entry.Replace(u"\n", u"\r\n\t");
    entry += u"\r\n";
    written = AppendEntry(folder + logFileName_, entry);
  }
  // The entry is written or dropped either way.
  (void)mutex.ReleaseMutex();
  return written ? 1 : 0;
}

bool InstallerCommonFunction::AppendEntry(const XpString& path, const XpString& entry) {
  XpSysCalls& calls = XpSysCalls::Current();
  const int fd = calls.Open(path.ToMultiByte().CStr(), kLogFileFlags, kLogFileMode);
  if (fd < 0) return false;
  struct stat info {};
  // The temporary folder may be shared: write only to a regular file of
  // our own, never through a link planted there.
  const bool ours = calls.Fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
  const std::string bytes = XpUtf16ToUtf8(entry.View());
  const bool written = ours && XpSucceeded(XpWriteAll(calls, fd, bytes.data(), bytes.size()));
  const bool closed = calls.Close(fd) == 0;
  return written && closed;
}

void InstallerCommonFunction::Log(const XpString& message, const XpString& title) {
  if (logging_ == 1) (void)WriteLog(message, title);
}

void InstallerCommonFunction::LogTitled(const XpString& title, const XpString& message) {
  if (logging_ == 1) (void)WriteLog(message, title);
}

uint32_t InstallerCommonFunction::GetPropertyMsi(MSIHANDLE install, const XpString& name, XpString& value,
                                                 uint32_t capacity) {
  std::vector<char16_t> buffer(capacity > 0 ? capacity : 1, u'\0');
  uint32_t size = capacity;
  const uint32_t result = MsiGetPropertyW(install, name.CStr(), buffer.data(), &size);
  value = XpString(buffer.data());
  XpString message;
  (void)message.Format(u"MsiGetProperty Return: %d\nProperty Name: %s\nProperty Value: %s\nMSI Hundle: %d\nData Size: %d",
                       result, name, value, install, size);
  Log(message, u"MsiGetProperty Result");
  return result;
}

uint32_t InstallerCommonFunction::SetPropertyMsi(MSIHANDLE install, const XpString& name, const char16_t* value) {
  const uint32_t result = MsiSetPropertyW(install, name.CStr(), value);
  XpString message;
  (void)message.Format(u"MsiSetProperty Return: %d\nProperty Name: %s\nProperty Value: %s\nMSI Hundle: %d",
                       result, name, value != nullptr ? value : kNullText, install);
  Log(message, u"MsiSetProperty Result");
  return result;
}

uint32_t InstallerCommonFunction::SetFeatureStateMsi(MSIHANDLE install, const XpString& feature, int32_t state) {
  const uint32_t result = MsiSetFeatureStateW(install, feature.CStr(), state);
  XpString message;
  (void)message.Format(u"MsiSetFeatureState Return: %d\nFeature Name: %s\nSet Feature: %d", result, feature,
                       state);
  Log(message, u"SetFeatureStateMsi");
  return result;
}

uint32_t InstallerCommonFunction::SetFeatureStateFromMsiProperty(MSIHANDLE install, const XpString& property,
                                                                 const XpString& feature,
                                                                 const XpString& expected) {
  XpString message;
  (void)message.Format(u"MSI Hundle: %d\nProperty Name: %s\nFeature Name: %s\nLocal String: %s", install,
                       property, feature, expected);
  Log(message, u"SetFeatureStateFromMsiProperty Start");
  XpString value;
  const uint32_t read = GetPropertyMsi(install, property, value);
  if (read != kMsiSuccess) return read;
  const int32_t state = value == expected ? kMsiStateLocal : kMsiStateAbsent;
  const uint32_t result = SetFeatureStateMsi(install, feature, state);
  (void)message.Format(u"Return Code: %d\nFeature Value: %d", result, state);
  Log(message, u"SetFeatureStateFromMsiProperty End Success");
  return result;
}
