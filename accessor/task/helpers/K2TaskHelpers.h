#pragma once

#include <cstdint>
#include <string>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// Small stateless helpers that the export and import tasks share.

// The allocation unit that sizes are rounded up to when the drive cannot
// tell its own.
inline constexpr uint32_t kK2DefaultClusterSize = 32768;

// size rounded up to whole clusters; 0 for a size of 0 or below.
uint64_t K2RoundUpToClusters(int64_t size, uint32_t cluster);

// The block size of the file system that holds path; kK2DefaultClusterSize
// when it cannot be learned.
uint32_t K2GetVolumeClusterSize(const XpString& path);

// The accessor's folder under the user's data folder, created when missing;
// returned even when it could not be created.
XpString K2GetAppDataFolder();

// JPEG quality of a conversion: 70 for a small file, else 90.
int32_t K2ChooseJpegQuality(bool smallFile);

// Items taken by one pass of a task loop: 50 for a large batch, else 10.
uint32_t K2GetBatchSize(bool largeBatch);

// A local date and time as universal time; the offset is the one that holds
// at the date read as universal time. An invalid date is returned as it is.
XpDateTime K2LocalToUtc(const XpDateTime& local);

// The last component of the folder that holds filePath; "/" for a file
// directly in "/". kXpErrBadArgument for an empty path or a bare name.
[[nodiscard]] XpResult K2GetParentFolderName(const XpString& filePath, XpString* name);

// True when filePath lies directly in folder; one trailing '/' on either
// side does not matter, and case is ignored (camera paths).
bool K2IsFileInFolder(const XpString& folder, const XpString& filePath);

// The distinct folders (with their trailing '/') of the paths, in string
// order. kXpErrBadArgument for an empty input.
[[nodiscard]] XpResult K2CollectFolders(const XpStringVector& paths, XpStringVector* folders);

// The distinct parent-folder names of the paths, in string order.
// kXpErrBadArgument for an empty input or a path without a parent name
// (K2GetParentFolderName).
[[nodiscard]] XpResult K2CollectParentFolderNames(const XpStringVector& paths,
                                                  XpStringVector* names);

// What went wrong on this thread, as a failure line names it: the system
// call that failed last (XpSysFailure.h), or else path and reason
// ("/pc/a.JPG: not a readable JPEG picture").
std::string K2DescribeFailure(const XpString& path, const char* reason);

// True when root is an existing folder that is still a mount point of the
// live mount table; a folder left behind by an unplugged volume is gone.
bool K2IsDestinationPresent(const XpString& root);
