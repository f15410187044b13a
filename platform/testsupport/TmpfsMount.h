#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A small tmpfs mounted on an existing folder for the life of the object:
// a file system of its own, for root-only tests; tests skip with Reason()
// when the mount is refused.
class TmpfsMount {
 public:
  explicit TmpfsMount(const std::filesystem::path& folder);
  ~TmpfsMount();
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;

  bool Mounted() const { return mounted_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::filesystem::path folder_;
  bool mounted_ = false;
  std::string reason_;
};

}  // namespace testsupport
