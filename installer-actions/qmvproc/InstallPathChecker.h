#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// Decides whether a folder may become the installation folder. The rules
// run in a fixed order and the first that rejects decides; no reason is
// reported. Paths are absolute Linux paths; the action passes them with a
// trailing '/'.
class InstallPathChecker {
 public:
  static constexpr int32_t kMaxAllowedDriveTypes = 10;

  // The configuration of the installer's check.
  InstallPathChecker();

  // 1 when the path is acceptable, 0 when a rule rejects it. A path that is
  // not absolute is rejected before any rule, so nothing is created for it.
  int32_t Check(const XpString& path) const;

 private:
  bool CanBeCreated(const XpString& path) const;
  bool IsOnRemovableMedia(const XpString& path) const;
  bool IsInHiddenFolder(const XpString& path) const;
  bool IsInWindowsFolder(const XpString& path) const;
  bool PassesProfileRule(const XpString& path) const;
  bool HasAllowedDriveType(const XpString& path) const;

  int32_t probeCreation_;
  int32_t rejectRemovable_;
  int32_t rejectNetwork_;
  int32_t rejectDriveRoot_;
  int32_t rejectHidden_;
  int32_t rejectProgramFiles_;
  int32_t rejectWindowsFolder_;
  int32_t rejectUnwritable_;
  int32_t rejectReadOnly_;
  int32_t profileRule_;
  int32_t profileRuleWithTemp_;
  int32_t allowedDriveTypes_[kMaxAllowedDriveTypes];
  int32_t allowedDriveTypeCount_;
  int32_t maxLength_;
};
