#include "platform/process/XpRunProgram.h"

#include "platform/path/XpPath.h"
#include "platform/process/XpCommandLineSplit.h"
#include "platform/process/XpFindProgram.h"

[[nodiscard]] XpResult XpRunProgram(const XpString& program, const XpString& arguments,
                                    uint32_t* exitCode, std::unique_ptr<XpProcess>* process) {
  if (program.GetLength() + arguments.GetLength() >= kXpRunProgramMaxLength) {
    return kXpErrBadArgument;
  }
  XpProcessStartInfo info;
  info.path = XpFindProgram(program);
  if (info.path.IsEmpty()) return kXpErrGeneric;
  if (!XpPathGetDirectory(program).IsEmpty()) info.workingFolder = XpPathGetDirectory(info.path);
  // The program's own name is taken as it is, not split: a Linux file name
  // may hold quotes or end in a backslash.
  info.arguments.push_back(program);
  for (const XpString& argument : XpCommandLineSplit(arguments)) {
    info.arguments.push_back(argument);
  }

  std::unique_ptr<XpProcess> started;
  const XpResult result = XpProcess::Start(info, &started);
  if (XpFailed(result)) return result == kXpErrOutOfMemory ? result : kXpErrGeneric;
  if (exitCode != nullptr) {
    const XpResult waited = started->Wait();
    if (XpFailed(waited)) return waited;
    *exitCode = started->GetExitCode();
  }
  if (process != nullptr) *process = std::move(started);
  return kXpOk;
}
