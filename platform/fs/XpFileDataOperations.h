#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/fs/XpAbstractFSObj.h"
#include "platform/fs/XpAbstractFile.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Copying and joining the bytes of file objects.

// Copies an open source, from its current position, into a new file at
// destinationPath that replaces whatever is there, in blocks of 256 KiB.
// With an observer: source, destination, percent 0.0 and stopFlag 0 are set
// and 0.0 reported, then the percentage after each block; a true answer
// stops the copy with kXpErrStopped. The copy gets the source's creation
// and modification times and its read-only and hidden attributes. It is
// written beside the destination and renamed onto it when whole: on
// failure, stop or kill the destination stays as it was.
[[nodiscard]] XpResult XpCopyFileData(XpSharedPtr<XpAbstractFile> source,
                                      const XpString& destinationPath,
                                      IXpFileOpProgressObserver* observer);

// How the second form of XpCopyFileData publishes its copy.
struct XpCopyFileDataOptions {
  // False: no existing entry is ever replaced, also not one that appears
  // while the copy runs. A taken destination moves on to the path that
  // nextDestination gives; without one, kXpErrAlreadyExists.
  bool replace = true;
  // Without replace: stores the path to try after a taken one, in the same
  // folder as the destination; false when there is none. Optional.
  std::function<bool(XpString* path)> nextDestination;
  // Flushes the folder after the publish, so that the new name lasts
  // across a crash. When that fails without replace, the new file is
  // removed again.
  bool syncFolder = false;
};

// XpCopyFileData with options; publishedPath (optional) receives the path
// the copy took. On failure or stop nothing new stays, hidden or visible.
[[nodiscard]] XpResult XpCopyFileData(XpSharedPtr<XpAbstractFile> source,
                                      const XpString& destinationPath,
                                      IXpFileOpProgressObserver* observer,
                                      const XpCopyFileDataOptions& options,
                                      XpString* publishedPath);

// Copies source into folder under its own name; with makeUnique a taken name
// becomes "name (2).ext", "name (3).ext", ... until one is free, else
// kXpErrAlreadyExists. No existing file is ever replaced, also not one that
// appears while the copy runs. resultPath (optional) receives the new
// file's path.
[[nodiscard]] XpResult XpCopyFileIntoFolder(XpSharedPtr<XpAbstractFile> source,
                                            const XpString& folder, bool makeUnique,
                                            IXpFileOpProgressObserver* observer,
                                            XpString* resultPath);

// The sum of the sizes above 0.
int64_t XpSumFileSizes(const std::vector<XpSharedPtr<XpAbstractFSObj>>& objects);

// Writes the bytes of the sources, one after the other, into destination
// (opened for writing here, and closed). With an observer: totalCount the
// number of sources, doneCount raised as each source opens, percent over
// the bytes of all sources after each block; a true answer stops with
// kXpErrStopped. Empty elements are skipped. The destination stays on
// failure: it is the caller's.
[[nodiscard]] XpResult XpConcatenateFileData(const std::vector<XpSharedPtr<XpAbstractFSObj>>& sources,
                                             XpSharedPtr<XpAbstractFile> destination,
                                             IXpFileOpProgressObserver* observer);
// Joins the files named by sources into a temporary file beside destination
// and renames it onto destination when whole. The temporary file never
// stays.
[[nodiscard]] XpResult XpConcatenateFiles(const XpStringVector& sources,
                                          const XpString& destination,
                                          IXpFileOpProgressObserver* observer);
