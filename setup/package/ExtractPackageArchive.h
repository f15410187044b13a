#pragma once

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Unpacks every file entry of the zip archive at archive into folder.
// Names with '\' unpack into folders; folder entries are skipped. Each file
// is written under a temporary name and renamed into place, so a killed
// unpack leaves each file old or whole.
// Results: 0; kXpErrOpenFailed when the archive, an entry's data or a
// destination fails (a link at the destination included; a damaged entry's
// file is not left behind); kXpErrArchiveEntry when an entry cannot be
// opened or would land outside folder (absolute names, ".." components,
// folders that lead elsewhere); or the code of a folder that cannot be
// made. Files written before a failure stay.
[[nodiscard]] XpResult ExtractPackageArchive(const XpString& archive, const XpString& folder);
