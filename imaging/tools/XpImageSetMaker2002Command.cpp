#include <cstdio>
#include <cstdlib>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tools/XpImageCommands.h"

// set-maker-2002 PATH VALUE: writes VALUE (decimal or 0x hex, 32 bits)
// into maker-note tag 0x2002 of a JPEG, rewriting the file losslessly.
int XpImageSetMaker2002Command(const std::vector<std::string>& arguments) {
  if (arguments.size() != 2) {
    std::fprintf(stderr, "usage: xpimage set-maker-2002 PATH VALUE\n");
    return 2;
  }
  char* end = nullptr;
  const unsigned long long value = std::strtoull(arguments[1].c_str(), &end, 0);
  if (end == arguments[1].c_str() || *end != '\0' || value > 0xFFFFFFFFull) {
    std::fprintf(stderr, "xpimage: VALUE must be a 32-bit number\n");
    return 2;
  }
  XpImageIoJpeg io;
  const XpString path = XpImageToolPath(arguments[0]);
  const XpResult result = io.RewriteTagsInPlace(path, static_cast<uint32_t>(value));
  return result == kXpOk ? 0 : XpImageToolRewriteFailure("set-maker-2002", result, path);
}
