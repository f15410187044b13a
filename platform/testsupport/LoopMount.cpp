#include "platform/testsupport/LoopMount.h"

#include <unistd.h>

#include <vector>

#include "platform/testsupport/RunQuietly.h"

namespace testsupport {

LoopMount::~LoopMount() { Unmount(); }

bool LoopMount::Mount(const std::filesystem::path& folder, unsigned sizeKiB) {
  if (::geteuid() != 0) {
    reason_ = "not root";
    return false;
  }
  const std::filesystem::path image = folder / "image.ext2";
  mountPoint_ = folder / "mnt";
  std::filesystem::create_directories(mountPoint_);
  if (RunQuietly({"mke2fs", "-q", "-F", "-t", "ext2", image.string(), std::to_string(sizeKiB) + "k"}) != 0) {
    reason_ = "mke2fs failed";
    return false;
  }
  if (RunQuietly({"mount", "-o", "loop", image.string(), mountPoint_.string()}) != 0) {
    reason_ = "mount -o loop failed";
    return false;
  }
  mounted_ = true;
  return true;
}

bool LoopMount::Unmount() {
  if (!mounted_) return true;
  mounted_ = RunQuietly({"umount", mountPoint_.string()}) != 0;
  return !mounted_;
}

}  // namespace testsupport
