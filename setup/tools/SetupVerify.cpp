// setup-verify PATH: prints the two signature verdicts of a file and its
// signer's name; exits 0 when the file is accepted, 1 when not, 2 on bad use
// (XpToolArguments::kExitUsage).

#include <cstdio>
#include <iostream>
#include <string>

#include "platform/path/XpPath.h"
#include "platform/process/XpStandardOutput.h"
#include "platform/process/XpToolArguments.h"
#include "platform/text/XpString.h"
#include "platform/text/XpStringA.h"
#include "setup/signature/PackageSignature.h"

namespace {

constexpr int kAccepted = 0;
constexpr int kRefused = 1;

}  // namespace

int main(int argc, char** argv) {
  XpToolArguments parsed("setup-verify", "usage: setup-verify PATH\n");
  if (parsed.Parse({argv + 1, argv + argc}) != XpToolArguments::Outcome::kDone) {
    return parsed.Answer(std::cout, std::cerr);
  }
  if (parsed.Operands().size() != 1) {
    // Always kBadUsage, which Answer prints.
    static_cast<void>(parsed.Refuse(parsed.Operands().empty() ? "missing PATH" : "one PATH only"));
    return parsed.Answer(std::cout, std::cerr);
  }
  const XpString path = XpPathMakeAbsolute(XpString::FromUtf8(parsed.Operands().front()));
  const bool valid = IsPackageSignatureValid(path);
  const bool maker = IsMakerSigned(path);
  std::string signer;
  const bool named = SignerDisplayName(path, &signer);
  std::printf("valid=%d maker=%d", valid ? 1 : 0, maker ? 1 : 0);
  if (named) std::printf(" signer=\"%s\"", signer.c_str());
  std::printf("\n");
  return XpFinishStandardOutput("setup-verify", valid && maker ? kAccepted : kRefused);
}
