#include <cstdio>
#include <cstdlib>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/jpeg/XpJpegCoefficientTransform.h"
#include "imaging/tools/XpImageCommands.h"

// transform SRC DST CODE [--apply-orientation]: a lossless copy turned by
// CODE (0 none, 1 flip horizontal, 2 flip vertical, 3 transpose,
// 4 transverse, 5 rotate 90, 6 rotate 180, 7 rotate 270).
int XpImageTransformCommand(const std::vector<std::string>& arguments) {
  const bool applyOrientation = arguments.size() == 4 && arguments[3] == "--apply-orientation";
  if (arguments.size() != 3 && !applyOrientation) {
    std::fprintf(stderr, "usage: xpimage transform SRC DST CODE [--apply-orientation]\n");
    return 2;
  }
  char* end = nullptr;
  const long code = std::strtol(arguments[2].c_str(), &end, 10);
  if (end == arguments[2].c_str() || *end != '\0' || code < 0 ||
      code >= XpJpegCoefficientTransform::kCodeCount) {
    std::fprintf(stderr, "xpimage: CODE must be 0 to 7\n");
    return 2;
  }
  XpImageIoJpeg io;
  const XpString source = XpImageToolPath(arguments[0]);
  const XpResult result = io.TransformLossless(source, XpImageToolPath(arguments[1]),
                                               static_cast<int32_t>(code), applyOrientation);
  return result == kXpOk ? 0 : XpImageToolRewriteFailure("transform", result, source);
}
