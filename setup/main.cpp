// setup: the installer bootstrapper. The user interface lives on the main
// thread; the steps run on one worker, whose boxes go through the UI host.

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "framework/ui/backend/XfUiBackendFactory.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/text/XpString.h"
#include "platform/thread/XpThread.h"
#include "platform/volume/XpVolume.h"
#include "setup/app/SetupApplication.h"

namespace {

constexpr int kStartFailure = 1;

struct SetupRun {
  SetupApplication* application = nullptr;
  XfUiHost* host = nullptr;
  XpStringVector arguments;
  int status = kSetupExitFailure;
  std::atomic<bool> done{false};
};

uint32_t RunSetup(void* argument) {
  auto* run = static_cast<SetupRun*>(argument);
  run->status = run->application->Run(run->arguments);
  run->done.store(true);
  // Wakes the UI loop so that it sees the end.
  run->host->Post([] {});
  return 0;
}

XpStringVector Arguments(int argc, char** argv) {
  XpStringVector arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(XpString::FromUtf8(argv[i]));
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  XpVolume::UseSetupIdOrder(true);
  std::string error;
  std::unique_ptr<XfUiBackend> backend = XfUiCreateBackend(&error);
  if (!backend) {
    std::fprintf(stderr, "setup: %s\n", error.c_str());
    return kStartFailure;
  }
  XfUiHost host(std::move(backend));
  SetupApplication application(host, SetupEnvironment::Live());
  SetupRun run;
  run.application = &application;
  run.host = &host;
  run.arguments = Arguments(argc, argv);

  XpThread* worker = XpThread::Create(RunSetup, &run);
  if (worker == nullptr) {
    std::fprintf(stderr, "setup: the worker thread cannot be started\n");
    static_cast<void>(host.Finish());
    return kStartFailure;
  }
  host.RunUntil([&run] { return run.done.load(); });
  static_cast<void>(XpThread::Join(worker));
  const int uiStatus = host.Finish();
  return uiStatus != 0 ? kStartFailure : run.status;
}
