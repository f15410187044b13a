#pragma once

#include <string>

#include "platform/result/XpResult.h"
#include "platform/sync/XpNamedObjectKind.h"
#include "platform/text/XpString.h"

// Where the lock file of a named object lives. Names that begin "Global\"
// are shared by every user of the machine and live in /run/lock/kavo/
// (else /tmp/kavo-global/); other names belong to the user and live in
// $XDG_RUNTIME_DIR/kavo/ (else /tmp/kavo-UID/). KAVO_IPC_DIR moves both, to
// its "global" and "session" folders.
struct XpNamedObjectLocation {
  // The lock file, UTF-8.
  std::string path;
  bool global = false;
};

// The file name alone: the name without its "Global\" prefix, bytes other
// than ASCII letters, digits, '-', '_' and '.' percent-encoded, and the
// kind's suffix. A name that comes out longer than a file name may be keeps
// its beginning and ends with '~' and a 64-bit hash of the whole name.
std::string XpNamedObjectFileName(const XpString& name, XpNamedObjectKind kind);

// The lock file of a name, creating its folder when needed.
// kXpErrBadArgument for an empty name; kXpErrAccessDenied when the user's
// folder is not a folder of the user's own.
[[nodiscard]] XpResult XpNamedObjectLocate(const XpString& name, XpNamedObjectKind kind,
                                           XpNamedObjectLocation* location);
