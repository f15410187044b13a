#include "platform/testsupport/TmpfsMount.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

namespace testsupport {

namespace {

constexpr const char* kOptions = "size=16m";

}  // namespace

TmpfsMount::TmpfsMount(const std::filesystem::path& folder) : folder_(folder) {
  if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, kOptions) != 0) {
    reason_ = std::string("mount tmpfs: ") + std::strerror(errno);
    return;
  }
  mounted_ = true;
}

TmpfsMount::~TmpfsMount() {
  if (mounted_) {
    (void)::umount2(folder_.c_str(), MNT_DETACH);  // detached: nothing left to report
  }
}

}  // namespace testsupport
