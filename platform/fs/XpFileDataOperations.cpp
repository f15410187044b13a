#include "platform/fs/XpFileDataOperations.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/path/XpPath.h"

namespace {

constexpr uint64_t kBlockBytes = 0x40000;
constexpr double kFullPercent = 100.0;
constexpr uint32_t kFirstCopyNumber = 2;
constexpr uint32_t kLastCopyNumber = 0x7FFFFFFF;

double PercentOf(uint64_t done, int64_t total) {
  if (total <= 0) {
    return kFullPercent;
  }
  return std::min(kFullPercent,
                  static_cast<double>(done) * kFullPercent / static_cast<double>(total));
}

bool SameFile(const XpString& a, const XpString& b) {
  struct stat first {};
  struct stat second {};
  return XpFsStat(a, &first) && XpFsStat(b, &second) && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

// Copies the blocks; *stopped tells a stop asked by the observer.
[[nodiscard]] XpResult CopyBlocks(XpAbstractFile& source, XpPendingFile& destination, char* buffer,
                                  int64_t size, IXpFileOpProgressObserver* observer,
                                  bool* stopped) {
  uint64_t written = 0;
  while (!*stopped) {
    uint64_t got = 0;
    const XpResult read = source.Read(buffer, kBlockBytes, &got);
    if (read != kXpOk && read != kXpErrEndOfFile) {
      return read;
    }
    if (got > 0) {
      const XpResult result = destination.Write(buffer, static_cast<size_t>(got));
      if (result != kXpOk) {
        return result;
      }
      written += got;
      if (observer != nullptr) {
        observer->percent = PercentOf(written, size);
        *stopped = observer->OnFileOpProgress(observer->percent);
      }
    }
    if (read == kXpErrEndOfFile || got < kBlockBytes) {
      return kXpOk;
    }
  }
  return kXpOk;
}

// Gives the pending copy the source's creation and modification times and
// its read-only and hidden attributes, before it takes its final name. Each
// is best effort, as on a file system that cannot hold it.
void CopyTimesAndAttributes(XpAbstractFile& source, const XpPendingFile& destination) {
  const XpString tempPath = destination.TempPath().ToWide();
  XpDateTime created;
  XpDateTime modified;
  if (source.GetTimes(&created, &modified, nullptr) == kXpOk) {
    XpFile temp(tempPath);
    (void)temp.SetTimes(&created, &modified, nullptr);
  }
  if (source.IsReadOnly()) {
    (void)XpFileSetReadOnly(tempPath, true);
  }
  if (source.IsHidden()) {
    (void)XpFileSetHidden(tempPath, true);
  }
}

// Copies the bytes of an open source into a pending file for
// destinationPath, with its times and attributes, flushed.
[[nodiscard]] XpResult CopyToPending(XpAbstractFile& source, const XpString& destinationPath,
                                     IXpFileOpProgressObserver* observer, XpPendingFile* pending) {
  XpResult result = pending->Create(destinationPath);
  if (result != kXpOk) {
    return result;
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlockBytes]);
  if (!buffer) {
    return kXpErrOutOfMemory;
  }
  const int64_t size = source.GetSize();
  bool stopped = false;
  if (observer != nullptr) {
    observer->source = source.GetPath();
    observer->destination = destinationPath;
    observer->percent = 0.0;
    observer->stopFlag = 0;
    stopped = observer->OnFileOpProgress(0.0);
  }
  result = CopyBlocks(source, *pending, buffer.get(), size, observer, &stopped);
  if (result == kXpOk && stopped) {
    result = kXpErrStopped;
  }
  if (result != kXpOk) {
    return result;
  }
  CopyTimesAndAttributes(source, *pending);
  return pending->Sync();
}

// Appends one source to destination.
[[nodiscard]] XpResult AppendSource(const XpSharedPtr<XpAbstractFSObj>& element,
                                    XpAbstractFile& destination, char* buffer, int64_t total,
                                    uint64_t* running, IXpFileOpProgressObserver* observer) {
  XpSharedPtr<XpAbstractFile> source(element);
  if (!source) {
    // A folder has no bytes to read.
    return kXpErrAccessDenied;
  }
  XpResult result = source->Open(kXpOpenRead);
  if (result != kXpOk) {
    return result;
  }
  const int64_t size = source->GetSize();
  if (observer != nullptr) {
    observer->source = source->GetPath();
    ++observer->doneCount;
  }
  uint64_t taken = 0;
  while (result == kXpOk && size > 0 && taken < static_cast<uint64_t>(size)) {
    uint64_t got = 0;
    const XpResult read = source->Read(buffer, kBlockBytes, &got);
    if (read != kXpOk && read != kXpErrEndOfFile) {
      result = read;
      break;
    }
    if (got == 0) {
      break;
    }
    result = destination.Write(buffer, got, nullptr);
    if (result != kXpOk) {
      break;
    }
    taken += got;
    if (observer != nullptr) {
      *running += got;
      observer->percent = PercentOf(*running, total);
      if (observer->OnFileOpProgress(observer->percent)) {
        result = kXpErrStopped;
      }
    }
    if (read == kXpErrEndOfFile) {
      break;
    }
  }
  // Only read: its close has nothing to lose.
  (void)source->Close();
  return result;
}

XpString CopyName(const XpString& name, uint32_t number, const XpString& extension) {
  const std::string digits = std::to_string(number);
  return name + u" (" + XpStringA(digits.c_str()).ToWide() + u")" + extension;
}

// The replacing form of the copy with options.
[[nodiscard]] XpResult CopyReplacing(XpAbstractFile& source, const XpString& destinationPath,
                                     IXpFileOpProgressObserver* observer, bool syncFolder,
                                     XpString* publishedPath) {
  // Replacing the source by its own copy would read a file being replaced.
  if (XpFsEntryExists(destinationPath) && SameFile(source.GetPath(), destinationPath)) {
    return kXpErrAccessDenied;
  }
  XpPendingFile pending;
  XpResult result = CopyToPending(source, destinationPath, observer, &pending);
  if (result == kXpOk) {
    result = pending.Publish(true);
  }
  if (result == kXpOk && syncFolder) {
    result = pending.SyncFolder();
  }
  if (result == kXpOk && publishedPath != nullptr) {
    *publishedPath = destinationPath;
  }
  return result;
}

// The no-replace form: target moves on through nextDestination while its
// name is taken, before the copy and at its publish.
[[nodiscard]] XpResult CopyWithoutReplace(XpAbstractFile& source, const XpString& destinationPath,
                                          IXpFileOpProgressObserver* observer,
                                          const XpCopyFileDataOptions& options,
                                          XpString* publishedPath) {
  XpString target = destinationPath;
  auto nextTarget = [&options, &target]() {
    return options.nextDestination && options.nextDestination(&target);
  };
  // Names taken before the copy begins are passed over at once; one taken
  // while it runs is found by the rename, which never replaces.
  while (XpFsEntryExists(target)) {
    if (!nextTarget()) {
      return kXpErrAlreadyExists;
    }
  }
  XpPendingFile pending;
  XpResult result = CopyToPending(source, target, observer, &pending);
  if (result != kXpOk) {
    return result;
  }
  result = pending.PublishAs(target, false);
  while (result == kXpErrAlreadyExists && nextTarget()) {
    result = pending.PublishAs(target, false);
  }
  if (result != kXpOk) {
    return result;
  }
  if (options.syncFolder) {
    result = pending.SyncFolder();
    if (result != kXpOk) {
      (void)XpFsUnlink(target);  // the failure is what the caller hears
      return result;
    }
  }
  if (publishedPath != nullptr) {
    *publishedPath = target;
  }
  return kXpOk;
}

}  // namespace

[[nodiscard]] XpResult XpCopyFileData(XpSharedPtr<XpAbstractFile> source,
                                      const XpString& destinationPath,
                                      IXpFileOpProgressObserver* observer) {
  return XpCopyFileData(std::move(source), destinationPath, observer, XpCopyFileDataOptions(),
                        nullptr);
}

[[nodiscard]] XpResult XpCopyFileData(XpSharedPtr<XpAbstractFile> source,
                                      const XpString& destinationPath,
                                      IXpFileOpProgressObserver* observer,
                                      const XpCopyFileDataOptions& options,
                                      XpString* publishedPath) {
  if (!source) {
    return kXpErrBadArgument;
  }
  if (options.replace) {
    return CopyReplacing(*source, destinationPath, observer, options.syncFolder, publishedPath);
  }
  return CopyWithoutReplace(*source, destinationPath, observer, options, publishedPath);
}

[[nodiscard]] XpResult XpCopyFileIntoFolder(XpSharedPtr<XpAbstractFile> source,
                                            const XpString& folder, bool makeUnique,
                                            IXpFileOpProgressObserver* observer,
                                            XpString* resultPath) {
  if (!source) {
    return kXpErrBadArgument;
  }
  const XpString sourcePath = source->GetPath();
  XpString name;
  XpString extension;
  XpPathSplit(sourcePath, nullptr, &name, &extension);
  uint32_t number = kFirstCopyNumber;
  XpCopyFileDataOptions options;
  options.replace = false;
  if (makeUnique) {
    options.nextDestination = [&](XpString* candidate) {
      if (number >= kLastCopyNumber) {
        return false;
      }
      *candidate = XpPathJoin(folder, CopyName(name, number++, extension));
      return true;
    };
  }
  return XpCopyFileData(source, XpPathJoin(folder, XpPathGetLeafName(sourcePath)), observer,
                        options, resultPath);
}

int64_t XpSumFileSizes(const std::vector<XpSharedPtr<XpAbstractFSObj>>& objects) {
  int64_t total = 0;
  for (const XpSharedPtr<XpAbstractFSObj>& object : objects) {
    if (!object) {
      continue;
    }
    const int64_t size = object->GetSize();
    if (size > 0) {
      total += size;
    }
  }
  return total;
}

[[nodiscard]] XpResult XpConcatenateFileData(
    const std::vector<XpSharedPtr<XpAbstractFSObj>>& sources,
    XpSharedPtr<XpAbstractFile> destination, IXpFileOpProgressObserver* observer) {
  if (!destination) {
    return kXpErrBadArgument;
  }
  XpResult result = destination->Open(kXpOpenWrite);
  if (result != kXpOk) {
    return result;
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlockBytes]);
  if (!buffer) {
    // Nothing was written yet; the failure to report is the memory.
    (void)destination->Close();
    return kXpErrOutOfMemory;
  }
  const int64_t total = XpSumFileSizes(sources);
  if (observer != nullptr) {
    observer->totalCount = static_cast<int64_t>(sources.size());
    observer->doneCount = 0;
  }
  uint64_t running = 0;
  for (const XpSharedPtr<XpAbstractFSObj>& element : sources) {
    if (result != kXpOk) {
      break;
    }
    if (element) {
      result = AppendSource(element, *destination, buffer.get(), total, &running, observer);
    }
  }
  buffer.reset();
  const XpResult closed = destination->Close();
  return result == kXpOk ? closed : result;
}

[[nodiscard]] XpResult XpConcatenateFiles(const XpStringVector& sources,
                                          const XpString& destination,
                                          IXpFileOpProgressObserver* observer) {
  XpPendingFile pending;
  XpResult result = pending.Create(destination);
  if (result != kXpOk) {
    return result;
  }
  std::vector<XpSharedPtr<XpAbstractFSObj>> files;
  files.reserve(sources.size());
  for (const XpString& path : sources) {
    files.emplace_back(new (std::nothrow) XpFile(path));
    if (!files.back()) {
      result = kXpErrOutOfMemory;
    }
  }
  XpSharedPtr<XpAbstractFile> target(new (std::nothrow) XpFile(pending.TempPath().ToWide()));
  if (result == kXpOk) {
    result = target ? XpConcatenateFileData(files, target, observer) : kXpErrOutOfMemory;
  }
  // The join wrote through a descriptor of its own; flushing the pending
  // file flushes the same file.
  if (result == kXpOk) {
    result = pending.Sync();
  }
  if (result == kXpOk) {
    result = pending.Publish(true);
  }
  return result;
}
