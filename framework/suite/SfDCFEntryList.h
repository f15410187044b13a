#pragma once

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

class XpAbstractDir;

// Appends the paths of the direct entries of dir, files and folders, in the
// order of their names compared with case folded, then exactly, so that the
// order does not depend on the file system's. The error of BeginEnum when
// the enumeration cannot start (nothing appended), else that of EndEnum.
[[nodiscard]] XpResult SfDCFListEntries(XpAbstractDir& dir, XpStringVector* paths);
