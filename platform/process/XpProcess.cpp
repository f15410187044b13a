#include "platform/process/XpProcess.h"

#include <pthread.h>
#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <new>
#include <vector>

#include "platform/fs/XpRestarted.h"
#include "platform/fs/XpSysCalls.h"

extern char** environ;

namespace {

constexpr uint32_t kSignalExitBase = 128;
constexpr size_t kReaperStackSize = 256 * 1024;
constexpr int kFirstInheritableFd = STDERR_FILENO + 1;

// A child that stops reading must not kill this process with SIGPIPE when it
// writes to the child's input: the write fails with EPIPE instead.
// A handler the program installed itself stays.
void IgnoreSigpipe() {
  struct sigaction current = {};
  if (::sigaction(SIGPIPE, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, nullptr);
}

// Closes whatever the spawn attributes and file actions hold.
class SpawnSetup {
 public:
  SpawnSetup() {
    actionsReady_ = ::posix_spawn_file_actions_init(&actions_) == 0;
    attributesReady_ = ::posix_spawnattr_init(&attributes_) == 0;
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    if (actionsReady_) ::posix_spawn_file_actions_destroy(&actions_);
    if (attributesReady_) ::posix_spawnattr_destroy(&attributes_);
  }

  bool Prepare(const XpProcessStartInfo& info, const XpStringA& workingFolder) {
    if (!actionsReady_ || !attributesReady_) return false;
    if (info.inputFd >= 0 &&
        ::posix_spawn_file_actions_adddup2(&actions_, info.inputFd, STDIN_FILENO) != 0) {
      return false;
    }
    if (info.outputFd >= 0 &&
        ::posix_spawn_file_actions_adddup2(&actions_, info.outputFd, STDOUT_FILENO) != 0) {
      return false;
    }
    if (info.discardErrors &&
        ::posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0) != 0) {
      return false;
    }
    // Nothing else of this process is inherited.
    if (::posix_spawn_file_actions_addclosefrom_np(&actions_, kFirstInheritableFd) != 0) {
      return false;
    }
    if (!workingFolder.IsEmpty() &&
        ::posix_spawn_file_actions_addchdir_np(&actions_, workingFolder.CStr()) != 0) {
      return false;
    }
    // The child starts with no blocked signals and with SIGPIPE at its
    // default, whatever this process set for itself.
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    return ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
           ::posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
           ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
  }

  const posix_spawn_file_actions_t* Actions() const { return &actions_; }
  const posix_spawnattr_t* Attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
  bool actionsReady_ = false;
  bool attributesReady_ = false;
};

pid_t WaitRetrying(pid_t pid, int* status, int options) {
  return XpRestarted([&] { return ::waitpid(pid, status, options); });
}

void* ReapMain(void* argument) {
  const pid_t pid = static_cast<pid_t>(reinterpret_cast<intptr_t>(argument));
  int status = 0;
  WaitRetrying(pid, &status, 0);
  return nullptr;
}

// Waits for the child on a detached thread of its own; waiting for one pid
// at a time leaves every other child of this process to its own waiter.
void ReapInBackground(pid_t pid) {
  int status = 0;
  if (WaitRetrying(pid, &status, WNOHANG) != 0) return;  // Already gone.
  pthread_attr_t attributes;
  if (::pthread_attr_init(&attributes) != 0) return;
  ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  ::pthread_attr_setstacksize(&attributes, kReaperStackSize);
  pthread_t thread;
  // Without a thread the child stays a zombie until this process ends;
  // there is nothing better to do then.
  ::pthread_create(&thread, &attributes, ReapMain,
                   reinterpret_cast<void*>(static_cast<intptr_t>(pid)));
  ::pthread_attr_destroy(&attributes);
}

}  // namespace

XpResult XpProcess::Start(const XpProcessStartInfo& info, std::unique_ptr<XpProcess>* process) {
  if (process == nullptr || info.path.IsEmpty() || info.arguments.empty()) {
    return kXpErrBadArgument;
  }
  process->reset();

  const XpStringA path = info.path.ToMultiByte();
  const XpStringA workingFolder = info.workingFolder.ToMultiByte();
  std::vector<XpStringA> argumentBytes;
  argumentBytes.reserve(info.arguments.size());
  std::vector<char*> argv;
  argv.reserve(info.arguments.size() + 1);
  for (const XpString& argument : info.arguments) {
    argumentBytes.push_back(argument.ToMultiByte());
    argv.push_back(const_cast<char*>(argumentBytes.back().CStr()));
  }
  argv.push_back(nullptr);

  if (info.inputFd >= 0) IgnoreSigpipe();
  SpawnSetup setup;
  if (!setup.Prepare(info, workingFolder)) return kXpErrGeneric;
  pid_t pid = -1;
  if (XpSysCalls::Current().Spawn(&pid, path.CStr(), setup.Actions(), setup.Attributes(), argv.data(),
                                  environ) != 0) {
    return kXpErrGeneric;
  }
  XpProcess* started = new (std::nothrow) XpProcess(pid);
  if (started == nullptr) {
    ReapInBackground(pid);
    return kXpErrOutOfMemory;
  }
  process->reset(started);
  return kXpOk;
}

XpProcess::~XpProcess() {
  if (!reaped_) ReapInBackground(pid_);
}

XpResult XpProcess::Wait() {
  if (reaped_) return kXpOk;
  int status = 0;
  if (WaitRetrying(pid_, &status, 0) != pid_) {
    // Someone else collected the child; there is nothing left to reap.
    reaped_ = true;
    return kXpErrGeneric;
  }
  Record(status);
  return kXpOk;
}

bool XpProcess::HasEnded() {
  if (reaped_) return true;
  int status = 0;
  const pid_t result = WaitRetrying(pid_, &status, WNOHANG);
  if (result == 0) return false;
  if (result != pid_) {
    reaped_ = true;
    return true;
  }
  Record(status);
  return true;
}

void XpProcess::Record(int status) {
  reaped_ = true;
  if (WIFEXITED(status)) {
    exitCode_ = static_cast<uint32_t>(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    exitCode_ = kSignalExitBase + static_cast<uint32_t>(WTERMSIG(status));
  }
}
