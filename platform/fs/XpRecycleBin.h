#pragma once

#include <ctime>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The recycle bin is the freedesktop trash. An entry in a trash folder lies
// in files/NAME, described by info/NAME.trashinfo ("[Trash Info]", "Path=",
// "DeletionDate="); NAME is the entry's name, made unique as
// "name.2.ext", "name.3.ext", ... where it is taken.

// Moves path (a file, a link itself, or a folder with its contents) to the
// recycle bin:
// - on a removable or network volume it is deleted permanently, as Windows
//   does;
// - on the device of $XDG_DATA_HOME (default ~/.local/share) it goes to
//   $XDG_DATA_HOME/Trash;
// - elsewhere to $topdir/.Trash-$uid (mode 0700) at the top of its volume,
//   or, when that cannot be made, it is deleted permanently.
[[nodiscard]] XpResult XpMoveToRecycleBin(const XpString& path);

// The text of a .trashinfo file for the entry that was at path: Path=
// percent-encoded, DeletionDate= the local time "YYYY-MM-DDThh:mm:ss".
XpStringA XpTrashInfoText(const XpString& path, time_t deletionTime);
