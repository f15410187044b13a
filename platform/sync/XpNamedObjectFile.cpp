#include "platform/sync/XpNamedObjectFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"

namespace {

// "KVS2": the second layout, with the generation count.
constexpr uint32_t kStateMagic = 0x3253564B;

struct StoredState {
  uint32_t magic;
  uint32_t value;
  uint32_t maximum;
  uint32_t generation;
};

struct flock ByteLock(off_t byte, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return lock;
}

int Control(int fd, int command, struct flock* lock) {
  return XpSysCalls::Current().FcntlLock(fd, command, lock);
}

}  // namespace

XpResult XpNamedObjectFile::TryLock(off_t byte, bool exclusive) const {
  struct flock lock = ByteLock(byte, exclusive ? F_WRLCK : F_RDLCK);
  if (Control(fd_, F_OFD_SETLK, &lock) == 0) return kXpOk;
  if (errno == EAGAIN || errno == EACCES) return kXpErrTimeout;
  return XpSyncResultFromErrno(errno);
}

XpResult XpNamedObjectFile::WaitLock(off_t byte) const {
  struct flock lock = ByteLock(byte, F_WRLCK);
  if (Control(fd_, F_OFD_SETLKW, &lock) == 0) return kXpOk;
  return XpSyncResultFromErrno(errno);
}

void XpNamedObjectFile::Unlock(off_t byte) const {
  struct flock lock = ByteLock(byte, F_UNLCK);
  // Unlocking a byte of an open description cannot fail but for a bad
  // descriptor, which the caller's own checks rule out.
  (void)Control(fd_, F_OFD_SETLK, &lock);
}

bool XpNamedObjectFile::IsHeldElsewhere(off_t byte) const {
  struct flock lock = ByteLock(byte, F_WRLCK);
  if (Control(fd_, F_OFD_GETLK, &lock) != 0) return false;
  return lock.l_type != F_UNLCK;
}

XpResult XpNamedObjectFile::ReadState(State* state) const {
  StoredState stored{};
  const ssize_t got = XpSysCalls::Current().Pread(fd_, &stored, sizeof stored, 0);
  if (got < 0) return XpResultFromErrno(errno);
  if (got != static_cast<ssize_t>(sizeof stored) || stored.magic != kStateMagic) {
    return kXpErrInvalidFile;
  }
  state->value = stored.value;
  state->maximum = stored.maximum;
  state->generation = stored.generation;
  return kXpOk;
}

XpResult XpNamedObjectFile::WriteState(const State& state) const {
  const StoredState stored{kStateMagic, state.value, state.maximum, state.generation};
  const ssize_t put = XpSysCalls::Current().Pwrite(fd_, &stored, sizeof stored, 0);
  if (put < 0) return XpResultFromErrno(errno);
  return put == static_cast<ssize_t>(sizeof stored) ? kXpOk : kXpErrDiskFull;
}
