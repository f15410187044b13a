#pragma once

#include <set>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// What an export clears from the camera before it writes, and the flush of
// a folder's entries. The export holds the camera's mutexes, so no other
// writer of this program is at work on the card.

// Removes every hidden partial copy of a pending file (".<name>.kavotmp-"
// and six letters) in folder that no living writer holds, whatever its age.
void K2RemovePendingTemporaries(const XpString& folder);

// Removes the files of folder that an export writes ("QMVS" pictures,
// "QMVM" movies and their ".THM" thumbnails) whose DCF file number is
// not in recorded; the camera's own files are never touched. Returns the
// number of files removed.
size_t K2RemoveUnrecordedExports(const XpString& folder, const std::set<int32_t>& recorded);

