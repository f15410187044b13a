// setup-verify PATH: prints the two signature verdicts of a file and its
// signer's name; exits 0 when the file is accepted, 1 when not, 2 on bad use.

#include <cstdio>
#include <string>

#include "platform/path/XpPath.h"
#include "platform/process/XpStandardOutput.h"
#include "platform/text/XpString.h"
#include "platform/text/XpStringA.h"
#include "setup/signature/PackageSignature.h"

namespace {

constexpr int kAccepted = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: setup-verify PATH\n");
    return kUsage;
  }
  const XpString path = XpPathMakeAbsolute(XpStringA(argv[1]).ToWide());
  const bool valid = IsPackageSignatureValid(path);
  const bool maker = IsMakerSigned(path);
  std::string signer;
  const bool named = SignerDisplayName(path, &signer);
  std::printf("valid=%d maker=%d", valid ? 1 : 0, maker ? 1 : 0);
  if (named) std::printf(" signer=\"%s\"", signer.c_str());
  std::printf("\n");
  return XpFinishStandardOutput("setup-verify", valid && maker ? kAccepted : kRefused);
}
