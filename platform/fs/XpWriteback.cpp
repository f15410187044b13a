#include "platform/fs/XpWriteback.h"

#include <fcntl.h>

#include <cerrno>

void XpStartWriteback(XpSysCalls& calls, int fd, off_t offset, off_t count) {
  if (count <= 0) {
    return;
  }
  const int saved = errno;
  (void)calls.SyncFileRange(fd, offset, count, SYNC_FILE_RANGE_WRITE);
  errno = saved;  // a refused hint leaves no trace for the caller
}
