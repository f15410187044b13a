#pragma once

#include <cstdint>
#include <string>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

namespace XdbAccessor {

inline constexpr int32_t kXdbStepTries = 10;
inline constexpr uint32_t kXdbStepPauseMilliseconds = 1000;

// The three folders of a card's album database, below the card's volume
// root (its mount point with the trailing '/'): the live database
// "DBFILES/", the work copy "DBFILES.tmp/" and the previous copy
// "DBFILES.bak/".
//
// A removal that succeeds is followed by an fsync of the root folder (best
// effort). Renames are not: the caller syncs the root itself, and a failed
// sync is the first one after the rename, so its failure is seen.
class XdbCardFolders {
 public:
  explicit XdbCardFolders(const XpString& root);

  const XpString& Root() const { return root_; }
  const XpString& Database() const { return database_; }
  const XpString& WorkCopy() const { return workCopy_; }
  const XpString& Backup() const { return backup_; }

  // A real folder there, tested with lstat: a link is never taken for the
  // folder it points to.
  bool HasDatabase() const;
  bool HasWorkCopy() const;
  bool HasBackup() const;
  // A link stands at folder (one of the three).
  bool IsLink(const XpString& folder) const;

  // One try each. A link is unlinked, never followed; a folder goes with
  // everything in it, links inside removed as links. Remove then flushes
  // the root; Drop leaves the removal to reach the medium with the next
  // flush, for a leftover that the factory removes anyway.
  [[nodiscard]] XpResult Remove(const XpString& folder) const;
  [[nodiscard]] XpResult Drop(const XpString& folder) const;
  [[nodiscard]] XpResult Move(const XpString& source, const XpString& destination) const;
  // The work copy and "DBFILES" trade places in one step
  // (renameat2 RENAME_EXCHANGE): kXpErrNotSupportedByOs when the card's
  // file system cannot do that (EINVAL, ENOSYS).
  [[nodiscard]] XpResult Exchange() const;
  // Up to kXdbStepTries tries a pause apart, each failure logged; the
  // result of the last try. An exchange that is not supported is not tried
  // again.
  [[nodiscard]] XpResult RemoveWithRetries(const XpString& folder) const;
  [[nodiscard]] XpResult DropWithRetries(const XpString& folder) const;
  [[nodiscard]] XpResult MoveWithRetries(const XpString& source, const XpString& destination) const;
  [[nodiscard]] XpResult ExchangeWithRetries() const;

  // fsync of the root folder.
  [[nodiscard]] XpResult SyncRoot() const;
  // One wait until everything written to the card's file system is on the
  // medium: every file of the work copy and the work copy itself, with
  // whatever else was written there before (XpSyncFileSystem).
  [[nodiscard]] XpResult SyncWorkCopy() const;

 private:
  XpString root_;
  XpString database_;
  XpString workCopy_;
  XpString backup_;
};

// Writes one line, "[<local date and time>:<seconds>]" + text, to a new
// "_TempK2TLV_#####.log" in the temporary folder. Best effort: a file that
// cannot be made or written drops the line, and the thread's failure record
// (XpSysFailure.h) keeps naming what was being logged.
void XdbWriteLogLine(const std::string& text);

}  // namespace XdbAccessor
