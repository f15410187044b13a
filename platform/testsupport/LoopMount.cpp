#include "platform/testsupport/LoopMount.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace testsupport {
namespace {

constexpr const char* kNullDevice = "/dev/null";

// Runs a program found on PATH with its output discarded; true when it
// exits with 0.
bool Run(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, kNullDevice, O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, kNullDevice, O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

LoopMount::~LoopMount() { Unmount(); }

bool LoopMount::Mount(const std::filesystem::path& folder, unsigned sizeKiB) {
  if (::geteuid() != 0) {
    reason_ = "not root";
    return false;
  }
  const std::filesystem::path image = folder / "image.ext2";
  mountPoint_ = folder / "mnt";
  std::filesystem::create_directories(mountPoint_);
  if (!Run({"mke2fs", "-q", "-F", "-t", "ext2", image.string(), std::to_string(sizeKiB) + "k"})) {
    reason_ = "mke2fs failed";
    return false;
  }
  if (!Run({"mount", "-o", "loop", image.string(), mountPoint_.string()})) {
    reason_ = "mount -o loop failed";
    return false;
  }
  mounted_ = true;
  return true;
}

bool LoopMount::Unmount() {
  if (!mounted_) return true;
  mounted_ = !Run({"umount", mountPoint_.string()});
  return !mounted_;
}

}  // namespace testsupport
