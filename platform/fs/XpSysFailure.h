#pragma once

#include <string>

// The last call of the calling thread that failed through the system-call
// seam (XpSysCalls), with the path it named (for a descriptor, the path the
// descriptor is open on) and its errno. Failures that callers expect as
// answers (a probe for a missing file, a name already taken, a lock held by
// someone else, a fallback for an unsupported flag) are not recorded, so the
// record names what went wrong.
//
//   XpClearSysFailure();
//   XpResult result = CopyPicture(...);
//   if (XpFailed(result)) line += XpSysFailureSuffix();
//       // "... (0x8606): write /media/CAM/DCIM/100QMV/QMVS0001.JPG: No space left on device"
//
// The record is per thread: work done on another thread takes its own
// record there (XpLastSysFailure) and carries it with its result.
struct XpSysFailure {
  std::string call;   // "open", "write", "fsync", ...; empty when none failed
  std::string path;   // may be empty when the descriptor's path is unknown
  int error = 0;      // errno

  bool Empty() const { return call.empty(); }
};

// The last recorded failure of this thread (empty when none since the last
// clear).
const XpSysFailure& XpLastSysFailure();
void XpClearSysFailure();
// Records a failure found by the caller itself (a short read of a file that
// shrank, a file that is not what it should be), as the seam does.
void XpRecordSysFailure(const char* call, const std::string& path, int error);
// Replaces this thread's record, for a record carried from another thread.
void XpSetSysFailure(const XpSysFailure& failure);

// "write /media/CAM/x.JPG: No space left on device"; empty for an empty
// record. The reason is the system's English text, whatever the locale.
std::string XpDescribeSysFailure(const XpSysFailure& failure);
// ": " and the description of this thread's last failure, or empty.
std::string XpSysFailureSuffix();
