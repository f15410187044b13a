// TLVK2Accessor: exports pictures and movies to a connected camera. Ends with
// 0 when done, 1 when it failed or was refused, 2 when the user cancelled.

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "accessor/app/CK2AccessorWinApp.h"
#include "accessor/app/K2AccessorCommandLineInfo.h"
#include "accessor/app/K2ExportOutcome.h"
#include "framework/commandline/XfCommandLineInfo.h"
#include "framework/ui/backend/XfUiBackendFactory.h"
#include "framework/ui/host/XfUiHost.h"

int main(int argc, char** argv) {
  // Parsed here only for "yes": the host takes its options when it is made.
  K2AccessorCommandLineInfo commandLine;
  XfParseCommandLine(argc, argv, commandLine);

  std::string error;
  std::unique_ptr<XfUiBackend> backend = XfUiCreateBackend(&error);
  if (!backend) {
    std::fprintf(stderr, "TLVK2Accessor: %s\n", error.c_str());
    return kK2ExitFailed;
  }
  XfUiHostOptions options;
  options.yes = commandLine.m_bAssumeYes;
  XfUiHost host(std::move(backend), options);

  CK2AccessorWinApp app(host);
  return app.Run(argc, argv);
}
