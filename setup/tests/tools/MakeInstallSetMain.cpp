// make-install-set DIR [--tamper-msi | --tamper-settings]: writes a complete
// signed install set into DIR for the tests and for checking by hand.

#include <cstdio>
#include <string>

#include "setup/tests/tools/MakeInstallSet.h"

namespace {

constexpr int kMade = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Usage() {
  std::fprintf(stderr, "usage: make-install-set DIR [--tamper-msi | --tamper-settings]\n");
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) return Usage();
  setuptest::InstallSetOptions options;
  if (argc == 3) {
    const std::string flag = argv[2];
    if (flag == "--tamper-msi") {
      options.tamperPackage = true;
    } else if (flag == "--tamper-settings") {
      options.tamperSettings = true;
    } else {
      return Usage();
    }
  }
  std::string error;
  if (!setuptest::MakeInstallSet(argv[1], KAVO_SETUP_PROGRAM, options, &error)) {
    std::fprintf(stderr, "make-install-set: %s\n", error.c_str());
    return kFailed;
  }
  return kMade;
}
