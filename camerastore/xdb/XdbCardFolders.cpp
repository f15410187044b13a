#include "camerastore/xdb/XdbCardFolders.h"

#include <linux/fs.h>
#include <sys/stat.h>

#include <cerrno>

#include "camerastore/xdb/XdbCommitHooks.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/fs/XpTempFiles.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/sync/XpRetry.h"
#include "platform/text/XpStringA.h"
#include "platform/time/XpDateTime.h"

namespace XdbAccessor {

namespace {

constexpr char16_t kDatabaseFolder[] = u"DBFILES/";
constexpr char16_t kWorkCopyFolder[] = u"DBFILES.tmp/";
constexpr char16_t kBackupFolder[] = u"DBFILES.bak/";
constexpr char16_t kLogPrefix[] = u"_TempK2TLV_";
constexpr char16_t kLogSuffix[] = u".log";
constexpr uint32_t kLogDigits = 5;
constexpr XpOpenMode kLogOpenMode = kXpOpenSequential | kXpOpenText | kXpOpenReadWrite;
constexpr int32_t kShortDate = 0;
constexpr int32_t kHourAndMinutes = 1;

std::string Stamp() {
  const XpDateTime now = XpDateTime::Now();
  const std::string dateTime =
      now.FormatDateTime(kShortDate, kHourAndMinutes, false).ToMultiByte().ToStdString();
  const int32_t second = now.GetSecond();
  std::string stamp = "[" + dateTime + ":";
  stamp += static_cast<char>('0' + second / 10);
  stamp += static_cast<char>('0' + second % 10);
  return stamp + "]";
}

std::string ErrorText(XpResult error) { return "[" + std::to_string(static_cast<int32_t>(error)) + "]"; }

void LogRemoveFailure(const XpString& folder, XpResult error) {
  XdbWriteLogLine("[renameFolders][remove] " + folder.ToMultiByte().ToStdString() + ". " +
                  ErrorText(error) + "\n");
}

void LogMoveFailure(const XpString& source, const XpString& destination, XpResult error) {
  XdbWriteLogLine("[renameFolders] " + source.ToMultiByte().ToStdString() + " to " +
                  destination.ToMultiByte().ToStdString() + ". " + ErrorText(error) + "\n");
}

void WriteLogFile(const std::string& text) {
  const XpString path =
      XpCreateUniqueNumberedFile(XpGetSpecialFolder(kXpFolderTemp, false), kLogPrefix, kLogDigits, u"", kLogSuffix);
  if (path.IsEmpty()) {
    return;
  }
  XpFile file;
  if (file.OpenPath(path, kLogOpenMode) != kXpOk) {
    return;
  }
  const std::string line = Stamp() + text;
  uint64_t done = 0;
  (void)file.Write(line.data(), line.size(), &done);
  (void)file.Close();
}

// The folder's own entry: without the trailing '/', which would make lstat
// follow a link.
XpString EntryPath(const XpString& folder) {
  XpString entry = folder;
  XpPathRemoveTrailingBackslash(entry);
  return entry;
}

bool EntryStat(const XpString& folder, struct stat* info) {
  return XpSysCalls::Current().Lstat(EntryPath(folder).ToMultiByte().CStr(), info) == 0;
}

bool IsRealFolder(const XpString& folder) {
  struct stat info {};
  return EntryStat(folder, &info) && S_ISDIR(info.st_mode);
}

}  // namespace

XdbCardFolders::XdbCardFolders(const XpString& root)
    : root_(root),
      database_(root + kDatabaseFolder),
      workCopy_(root + kWorkCopyFolder),
      backup_(root + kBackupFolder) {}

bool XdbCardFolders::HasDatabase() const { return IsRealFolder(database_); }
bool XdbCardFolders::HasWorkCopy() const { return IsRealFolder(workCopy_); }
bool XdbCardFolders::HasBackup() const { return IsRealFolder(backup_); }

bool XdbCardFolders::IsLink(const XpString& folder) const {
  struct stat info {};
  return EntryStat(folder, &info) && S_ISLNK(info.st_mode);
}

XpResult XdbCardFolders::Remove(const XpString& folder) const {
  const XpResult result = Drop(folder);
  if (result == kXpOk) {
    (void)SyncRoot();
  }
  return result;
}

XpResult XdbCardFolders::Drop(const XpString& folder) const {
  return IsLink(folder) ? XpDeleteFile(EntryPath(folder)) : XpRemoveDirectory(folder, true, false, false, nullptr);
}

XpResult XdbCardFolders::Move(const XpString& source, const XpString& destination) const {
  return XpMovePath(source, destination, false, nullptr);
}

XpResult XdbCardFolders::Exchange() const {
  const std::string from = workCopy_.ToMultiByte().ToStdString();
  const std::string to = database_.ToMultiByte().ToStdString();
  if (XpSysCalls::Current().Rename(from.c_str(), to.c_str(), RENAME_EXCHANGE) == 0) {
    return kXpOk;
  }
  const int error = errno;
  if (error == EINVAL || error == ENOSYS) {
    return kXpErrNotSupportedByOs;
  }
  return XpResultFromErrno(error, from.c_str());
}

XpResult XdbCardFolders::RemoveWithRetries(const XpString& folder) const {
  XpResult result = DropWithRetries(folder);
  if (result == kXpOk) {
    (void)SyncRoot();
  }
  return result;
}

XpResult XdbCardFolders::DropWithRetries(const XpString& folder) const {
  return XpRetry(
      kXdbStepTries, [&] { return Drop(folder); },
      [&](XpResult result) {
        LogRemoveFailure(folder, result);
        XdbSleep(kXdbStepPauseMilliseconds);
      });
}

XpResult XdbCardFolders::MoveWithRetries(const XpString& source, const XpString& destination) const {
  return XpRetry(
      kXdbStepTries, [&] { return Move(source, destination); },
      [&](XpResult result) {
        LogMoveFailure(source, destination, result);
        XdbSleep(kXdbStepPauseMilliseconds);
      });
}

XpResult XdbCardFolders::ExchangeWithRetries() const {
  return XpRetry(
      kXdbStepTries, [&] { return Exchange(); },
      [](XpResult result) { return result == kXpErrNotSupportedByOs; },
      [&](XpResult result) {
        LogMoveFailure(workCopy_, database_, result);
        XdbSleep(kXdbStepPauseMilliseconds);
      });
}

XpResult XdbCardFolders::SyncRoot() const { return XpSyncDirectory(root_, false); }

XpResult XdbCardFolders::SyncWorkCopy() const { return XpSyncFileSystem(workCopy_); }

void XdbWriteLogLine(const std::string& text) {
  // The thread's failure record keeps naming the failure being logged.
  const XpSysFailure logged = XpLastSysFailure();
  WriteLogFile(text);
  XpSetSysFailure(logged);
}

}  // namespace XdbAccessor
