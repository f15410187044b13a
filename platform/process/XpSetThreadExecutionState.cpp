#include "platform/process/XpSetThreadExecutionState.h"

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <mutex>

#include "platform/fs/XpSysCalls.h"
#include "platform/process/XpFindProgram.h"
#include "platform/process/XpProcess.h"

namespace {

constexpr uint32_t kKeepAwake = kXpEsContinuous | kXpEsSystemRequired;
constexpr const char16_t* kInhibitProgram = u"systemd-inhibit";

// The inhibitor child and the write end of its standard input.
struct Holder {
  std::unique_ptr<XpProcess> process;
  int inputFd = -1;
};

struct ExecutionState {
  std::mutex lock;
  uint32_t flags = kXpEsContinuous;
  XpString program;
  Holder holder;
};

ExecutionState& State() {
  static ExecutionState state;
  return state;
}

XpStringVector InhibitArguments(const XpString& program) {
  return {program,
          u"--what=sleep:idle",
          u"--mode=block",
          u"--who=TLVK2Accessor",
          u"--why=Writing to the camera",
          u"cat"};
}

// Starts the inhibitor; leaves holder empty when it cannot.
void StartHolder(const XpString& programName, Holder* holder) {
  const XpString program = XpFindProgram(programName);
  if (program.IsEmpty()) {
    return;
  }
  int fds[2] = {-1, -1};
  if (XpSysCalls::Current().Pipe2(fds, O_CLOEXEC) != 0) {
    return;
  }
  XpProcessStartInfo info;
  info.path = program;
  info.arguments = InhibitArguments(programName);
  info.inputFd = fds[0];
  // Without a session bus it can only complain; keeping awake is best effort.
  info.discardErrors = true;
  std::unique_ptr<XpProcess> process;
  const XpResult started = XpProcess::Start(info, &process);
  XpSysCalls::Current().Close(fds[0]);
  if (XpFailed(started)) {
    XpSysCalls::Current().Close(fds[1]);
    return;
  }
  holder->process = std::move(process);
  holder->inputFd = fds[1];
}

// Closing the pipe ends the child; its process object hands it to the
// reaper.
void StopHolder(Holder* holder) {
  if (holder->inputFd >= 0) {
    XpSysCalls::Current().Close(holder->inputFd);
    holder->inputFd = -1;
  }
  holder->process.reset();
}

}  // namespace

uint32_t XpSetThreadExecutionState(uint32_t flags) {
  ExecutionState& state = State();
  std::lock_guard<std::mutex> hold(state.lock);
  const uint32_t previous = state.flags;
  if ((flags & kXpEsContinuous) == 0) {
    return previous;
  }
  state.flags = flags;
  const bool keepAwake = (flags & kKeepAwake) == kKeepAwake;
  const bool held = state.holder.process != nullptr;
  if (keepAwake && !held) {
    StartHolder(state.program.IsEmpty() ? XpString(kInhibitProgram) : state.program, &state.holder);
  } else if (!keepAwake && held) {
    StopHolder(&state.holder);
  }
  return previous;
}

void XpSetExecutionStateProgramForTest(const XpString& program) {
  ExecutionState& state = State();
  std::lock_guard<std::mutex> hold(state.lock);
  state.program = program;
}

pid_t XpExecutionStateHolderPid() {
  ExecutionState& state = State();
  std::lock_guard<std::mutex> hold(state.lock);
  return state.holder.process ? state.holder.process->GetPid() : 0;
}
