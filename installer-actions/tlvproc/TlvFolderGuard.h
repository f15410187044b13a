#pragma once

#include "platform/text/XpString.h"

// Decides whether a folder may be deleted as a whole. A folder passes only
// when it is absolute without "." or ".." components, an existing folder
// that is not a link, neither "/" nor a volume root, and neither the same
// as nor above one of the user's and the machine's own folders (home,
// desktop, documents, pictures, videos, music, temporary folder, common
// application data, program files and common programs), compared both as
// written and with links resolved.
class TlvFolderGuard {
 public:
  TlvFolderGuard();

  bool Accepts(const XpString& folder) const;
  // Accepts, and the folder is neither the same as nor above another.
  bool AcceptsBeside(const XpString& folder, const XpStringVector& others) const;

  // True when folder is the same as, or above, other (other may be "").
  static bool IsSameOrAbove(const XpString& folder, const XpString& other);

 private:
  XpStringVector protected_;
};
