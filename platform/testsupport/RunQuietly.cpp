#include "platform/testsupport/RunQuietly.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/fs/XpRestarted.h"

extern char** environ;

namespace testsupport {

int RunQuietly(const std::vector<std::string>& arguments) {
  constexpr const char* kNullDevice = "/dev/null";
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, kNullDevice, O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, kNullDevice, O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (XpRestarted([&] { return ::waitpid(pid, &status, 0); }) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testsupport
