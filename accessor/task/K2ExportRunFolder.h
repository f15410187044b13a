#pragma once

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The folder of one export run's temporary files, under the temporary
// folder: "K2ExportRun-" and a unique tail. The run holds a lock on the
// folder's lock file while the folder lives, so that a later run can tell
// the folders of runs that were killed from those of runs still going.
// Used from one thread.
class K2ExportRunFolder {
 public:
  static constexpr const char16_t* kNamePrefix = u"K2ExportRun-";
  static constexpr const char* kLockName = ".lock";

  K2ExportRunFolder() = default;
  K2ExportRunFolder(const K2ExportRunFolder&) = delete;
  K2ExportRunFolder& operator=(const K2ExportRunFolder&) = delete;
  // Removes the folder with its contents.
  ~K2ExportRunFolder();

  // The run's folder under tempDir, made (and locked) on the first call for
  // that temporary folder; a folder of another temporary folder goes first.
  // Empty when it cannot be made.
  XpString PathIn(const XpString& tempDir);
  // Removes the folder with its contents and lets its lock go.
  void Remove();

  // Removes the run folders in tempDir whose lock nobody holds: those of
  // runs that ended without removing theirs.
  static void RemoveAbandoned(const XpString& tempDir);

 private:
  XpString tempDir_;
  XpString path_;
  int lockFd_ = -1;
};
