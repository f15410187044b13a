#include "setup/app/SetupEnvironment.h"

#include <cstdio>

#include "platform/shell/XpSpecialFolder.h"
#include "setup/config/UserLanguageTransform.h"

SetupEnvironment SetupEnvironment::Live() {
  SetupEnvironment environment;
  environment.programFolder = XpGetSpecialFolder(kXpFolderProgramFolder, false);
  environment.os = SetupReadLiveOsIdentity();
  environment.userLocale = SetupUserLocaleFromEnvironment();
  environment.errorLine = [](const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
  };
  return environment;
}
