#include <cstdio>
#include <string>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tools/XpImageCommands.h"
#include "platform/path/XpPath.h"
#include "platform/text/XpString.h"

namespace {

constexpr const char* kMakerNoteStays =
    "the maker note cannot stay at its place, so the file is not rewritten";

// Whether the file's maker note is one a rebuilt block would have to move.
bool MakerNoteMoves(const XpString& path) {
  XpImageIoJpeg reader;
  const XpSharedPtr<XpTiffTagManager> tags = reader.ReadTagsFromPath(path);
  return tags && tags->MakerNoteMoves();
}

// "xpimage: <what> failed: 0x<result>", then ": <reason>" when there is one.
std::string FailureLine(const char* what, XpResult result, const char* reason) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(result));
  std::string line = std::string("xpimage: ") + what + " failed: " + code;
  if (reason != nullptr) {
    line += std::string(": ") + reason;
  }
  return line;
}

}  // namespace

XpString XpImageToolPath(const std::string& argument) {
  return XpPathMakeAbsolute(XpString::FromUtf8(argument));
}

int XpImageToolFailure(const char* what, XpResult result) {
  std::fprintf(stderr, "%s\n", FailureLine(what, result, nullptr).c_str());
  return 1;
}

int XpImageToolRewriteFailure(const char* what, XpResult result, const XpString& source) {
  const char* reason =
      result == kXpErrImageNotSupported && MakerNoteMoves(source) ? kMakerNoteStays : nullptr;
  std::fprintf(stderr, "%s\n", FailureLine(what, result, reason).c_str());
  return 1;
}
