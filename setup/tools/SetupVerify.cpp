// setup-verify PATH: prints the two signature verdicts of a file and its
// signer's name; exits 0 when the file is accepted, 1 when not, 2 on bad use.

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/process/XpStandardOutput.h"
#include "platform/text/XpString.h"
#include "platform/text/XpStringA.h"
#include "setup/signature/PackageSignature.h"

namespace {

constexpr int kAccepted = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;

// The path given, resolved against the working folder.
XpString ToolPath(const std::string& argument) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(argument, error);
  const std::string text = error ? argument : absolute.lexically_normal().string();
  return XpStringA(text.c_str()).ToWide();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: setup-verify PATH\n");
    return kUsage;
  }
  const XpString path = ToolPath(argv[1]);
  const bool valid = IsPackageSignatureValid(path);
  const bool maker = IsMakerSigned(path);
  std::string signer;
  const bool named = SignerDisplayName(path, &signer);
  std::printf("valid=%d maker=%d", valid ? 1 : 0, maker ? 1 : 0);
  if (named) std::printf(" signer=\"%s\"", signer.c_str());
  std::printf("\n");
  return XpFinishStandardOutput("setup-verify", valid && maker ? kAccepted : kRefused);
}
