#pragma once

#include "imaging/format/XpFormatKind.h"
#include "platform/text/XpString.h"

// Tells the format kind of a file. Every operation is static.
class XpFormatChecker {
 public:
  virtual ~XpFormatChecker() = default;

  // The kind judged by the name alone: kXpKindDirectory for an existing
  // folder or an empty path, else the kind of the last component's
  // extension, compared without case; kXpKindUnknown for any other
  // extension or none. Opens no file.
  static XpFormatKind KindFromExtension(const XpString& path);

  // True for ".jpg", ".jpeg", ".jpe" and ".thm", compared without case.
  static bool IsJpegExtension(const XpString& path);
};
