#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A small ext2 image mounted on a folder with "mount -o loop", for the
// root-only tests that need a real volume. Mount fails (and says why) when
// the process is not root or the system refuses; tests then skip.
class LoopMount {
 public:
  LoopMount() = default;
  LoopMount(const LoopMount&) = delete;
  LoopMount& operator=(const LoopMount&) = delete;
  // Unmounts when still mounted.
  ~LoopMount();

  // Makes folder/image.ext2 (sizeKiB) with mke2fs and mounts it on
  // folder/mnt.
  bool Mount(const std::filesystem::path& folder, unsigned sizeKiB = 1024);
  bool Unmount();

  bool IsMounted() const { return mounted_; }
  const std::filesystem::path& MountPoint() const { return mountPoint_; }
  // Why Mount failed.
  const std::string& Reason() const { return reason_; }

 private:
  std::filesystem::path mountPoint_;
  std::string reason_;
  bool mounted_ = false;
};

}  // namespace testsupport
