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
// Every rename or removal that succeeds is followed by an fsync of the root
// folder (best effort), so each step is on the card before the next. A kill
// of the process is thus covered at every step; a power cut during a rename
// on a FAT card is not, because FAT renames are not atomic.
class XdbCardFolders {
 public:
  explicit XdbCardFolders(const XpString& root);

  const XpString& Root() const { return root_; }
  const XpString& Database() const { return database_; }
  const XpString& WorkCopy() const { return workCopy_; }
  const XpString& Backup() const { return backup_; }

  bool HasDatabase() const;
  bool HasWorkCopy() const;
  bool HasBackup() const;

  // One try each.
  XpResult Remove(const XpString& folder) const;
  XpResult Move(const XpString& source, const XpString& destination) const;
  // Up to kXdbStepTries tries a pause apart, each failure logged; the
  // result of the last try.
  XpResult RemoveWithRetries(const XpString& folder) const;
  XpResult MoveWithRetries(const XpString& source, const XpString& destination) const;

  // fsync of the root folder; failures are ignored.
  void SyncRoot() const;

 private:
  XpString root_;
  XpString database_;
  XpString workCopy_;
  XpString backup_;
};

// Writes one line, "[<local date and time>:<seconds>]" + text, to a new
// "_TempK2TLV_#####.log" in the temporary folder. Best effort: a file that
// cannot be made or written drops the line.
void XdbWriteLogLine(const std::string& text);
// Text in the system's encoding, as paths reach the system.
std::string XdbLogPath(const XpString& path);

}  // namespace XdbAccessor
