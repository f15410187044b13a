#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace testsupport {

// The calls of the file layer's system-call seam (XpSysCalls). The rules of
// kRead and kWrite also govern the positioned reads and writes (Pread,
// Pwrite) and the two ends of a CopyFileRange, which a kCopyFileRange rule
// can refuse as a whole. The rules of kOpen also govern Openat, matched
// against the path of the folder descriptor (as it was opened, else as the
// system names it) joined with the name.
enum class SysCall {
  kOpen,
  kClose,
  kRead,
  kWrite,
  kCopyFileRange,
  kLseek,
  kFtruncate,
  kFsync,
  kSyncFileRange,
  kSyncfs,
  kFstat,
  kFstatfs,
  kFadvise,
  kFchmod,
  kIoctl,
  kFcntlLock,
  kFlock,
  kMkdir,
  kRmdir,
  kUnlink,
  kRename,
  kStat,
  kLstat,
  kStatx,
  kChmod,
  kAccess,
  kUtimensat,
  kStatvfs,
  kSymlink,
  kReadlink,
  kRealpath,
  kOpendir,
  kReaddir,
  kClosedir,
  // No path: only a rule with an empty prefix matches.
  kPipe,
  // The program's path.
  kSpawn,
};

// One fault rule. It matches one kind of call on paths that begin with a
// prefix: the path argument, or for descriptor and folder-stream calls the
// path they were opened with (rename matches either of its paths, a copy
// range the path of its source for the read side and of its destination for
// the write side). An empty
// prefix matches every call, also on descriptors opened elsewhere.
//
//   Fault(SysCall::kWrite, dir).Errno(ENOSPC).AfterBytes(3)
//       writes under dir move 3 more bytes in all, then fail with ENOSPC;
//   Fault(SysCall::kOpen, dir).Errno(EROFS).ForWriting()
//       opens for writing under dir fail with EROFS;
//   Fault(SysCall::kRead, dir).AtMost(7)
//       reads under dir return at most 7 bytes each.
class Fault {
 public:
  Fault(SysCall call, std::string pathPrefix);

  // The matched call fails with this errno.
  Fault& Errno(int error);
  // The rule acts from the nth matching call on (1, the first, by default).
  Fault& FromCall(int nth);
  // The rule fails at most this many calls (every one by default).
  Fault& Times(int count);
  // Reads and writes: this many bytes still pass once the rule acts, the
  // call that reaches the limit coming up short; the failure follows.
  Fault& AfterBytes(uint64_t bytes);
  // Reads and writes: each call moves at most this many bytes.
  Fault& AtMost(size_t bytes);
  // Opens: only those that ask for write access.
  Fault& ForWriting();

 private:
  friend class FaultySysCalls;

  SysCall call_;
  std::string prefix_;
  int error_ = 0;
  int fromCall_ = 1;
  int times_ = -1;
  uint64_t afterBytes_ = 0;
  size_t atMost_ = 0;
  bool forWriting_ = false;
};

class FaultySysCalls;

// Routes the file layer's system calls through fault rules for as long as it
// lives; the rules go with it. Keep one as a fixture member so that every
// test ends with the real calls again.
class FaultInjection {
 public:
  FaultInjection();
  ~FaultInjection();
  FaultInjection(const FaultInjection&) = delete;
  FaultInjection& operator=(const FaultInjection&) = delete;

  // Adds a rule; returns its id.
  int Add(const Fault& fault);
  // How often rule id failed a call or cut one short.
  int Hits(int id) const;
  // Drops every rule.
  void Clear();

 private:
  std::unique_ptr<FaultySysCalls> calls_;
};

}  // namespace testsupport
