#include "platform/fs/XpFileDataOperations.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpTempFiles.h"
#include "platform/path/XpPath.h"
#include "platform/path/XpPathQueries.h"

namespace {

constexpr uint64_t kBlockBytes = 0x40000;
constexpr double kFullPercent = 100.0;
constexpr uint32_t kFirstCopyNumber = 2;
constexpr uint32_t kLastCopyNumber = 0x7FFFFFFF;
constexpr uint32_t kTempDigits = 8;
constexpr const char16_t* kTempSuffix = u".tmp";

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
XpResult CopyBlocks(XpAbstractFile& source, XpFile& destination, char* buffer, int64_t size,
                    IXpFileOpProgressObserver* observer, bool* stopped) {
  uint64_t written = 0;
  while (!*stopped) {
    uint64_t got = 0;
    const XpResult read = source.Read(buffer, kBlockBytes, &got);
    if (read != kXpOk && read != kXpErrEndOfFile) {
      return read;
    }
    if (got > 0) {
      const XpResult result = destination.Write(buffer, got, nullptr);
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

void CopyTimesAndAttributes(XpAbstractFile& source, XpFile& destination) {
  XpDateTime created;
  XpDateTime modified;
  if (source.GetTimes(&created, &modified, nullptr) == kXpOk) {
    destination.SetTimes(&created, &modified, nullptr);
  }
  if (source.IsReadOnly()) {
    XpFileSetReadOnly(destination.GetPath(), true);
  }
  if (source.IsHidden()) {
    XpFileSetHidden(destination.GetPath(), true);
  }
}

// Appends one source to destination.
XpResult AppendSource(const XpSharedPtr<XpAbstractFSObj>& element, XpAbstractFile& destination,
                      char* buffer, int64_t total, uint64_t* running,
                      IXpFileOpProgressObserver* observer) {
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
  source->Close();
  return result;
}

XpString CopyName(const XpString& name, uint32_t number, const XpString& extension) {
  const std::string digits = std::to_string(number);
  return name + u" (" + XpStringA(digits.c_str()).ToWide() + u")" + extension;
}

}  // namespace

XpResult XpCopyFileData(XpSharedPtr<XpAbstractFile> source, const XpString& destinationPath,
                        IXpFileOpProgressObserver* observer) {
  if (!source) {
    return kXpErrBadArgument;
  }
  const bool existed = XpFsEntryExists(destinationPath);
  // Emptying the destination would empty the source.
  if (existed && SameFile(source->GetPath(), destinationPath)) {
    return kXpErrAccessDenied;
  }
  XpFile destination(destinationPath);
  XpResult result = destination.Open(kXpOpenWrite);
  if (result != kXpOk) {
    // Only a file the failed open itself left behind goes; an existing one
    // was never touched.
    if (!existed) {
      XpDeleteFile(destinationPath);
    }
    return result;
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlockBytes]);
  bool stopped = false;
  if (!buffer) {
    result = kXpErrOutOfMemory;
  } else {
    const int64_t size = source->GetSize();
    if (observer != nullptr) {
      observer->source = source->GetPath();
      observer->destination = destinationPath;
      observer->percent = 0.0;
      observer->stopFlag = 0;
      stopped = observer->OnFileOpProgress(0.0);
    }
    result = CopyBlocks(*source, destination, buffer.get(), size, observer, &stopped);
  }
  const XpResult closed = destination.Close();
  if (result == kXpOk) {
    result = stopped ? kXpErrStopped : closed;
  }
  if (result != kXpOk) {
    XpDeleteFile(destinationPath);
    return result;
  }
  CopyTimesAndAttributes(*source, destination);
  return kXpOk;
}

XpResult XpCopyFileIntoFolder(XpSharedPtr<XpAbstractFile> source, const XpString& folder,
                              bool makeUnique, IXpFileOpProgressObserver* observer,
                              XpString* resultPath) {
  if (!source) {
    return kXpErrBadArgument;
  }
  const XpString sourcePath = source->GetPath();
  XpString candidate = XpPathJoin(folder, XpPathGetLeafName(sourcePath));
  XpResult result = XpFsCreateNewFile(candidate);
  if (result == kXpErrAlreadyExists && makeUnique) {
    XpString name;
    XpString extension;
    XpPathSplit(sourcePath, nullptr, &name, &extension);
    for (uint32_t number = kFirstCopyNumber;
         result == kXpErrAlreadyExists && number < kLastCopyNumber; ++number) {
      candidate = XpPathJoin(folder, CopyName(name, number, extension));
      result = XpFsCreateNewFile(candidate);
    }
  }
  if (result != kXpOk) {
    return result;
  }
  result = XpCopyFileData(source, candidate, observer);
  if (result != kXpOk) {
    XpDeleteFile(candidate);
    return result;
  }
  if (resultPath != nullptr) {
    *resultPath = candidate;
  }
  return kXpOk;
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

XpResult XpConcatenateFileData(const std::vector<XpSharedPtr<XpAbstractFSObj>>& sources,
                               XpSharedPtr<XpAbstractFile> destination,
                               IXpFileOpProgressObserver* observer) {
  if (!destination) {
    return kXpErrBadArgument;
  }
  XpResult result = destination->Open(kXpOpenWrite);
  if (result != kXpOk) {
    return result;
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBlockBytes]);
  if (!buffer) {
    destination->Close();
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

XpResult XpConcatenateFiles(const XpStringVector& sources, const XpString& destination,
                            IXpFileOpProgressObserver* observer) {
  const XpString temp = XpCreateUniqueNumberedFile(XpPathGetDirectory(destination), XpString(),
                                                   kTempDigits, XpString(), kTempSuffix);
  if (temp.IsEmpty()) {
    return kXpErrSystem;
  }
  std::vector<XpSharedPtr<XpAbstractFSObj>> files;
  files.reserve(sources.size());
  XpResult result = kXpOk;
  for (const XpString& path : sources) {
    files.emplace_back(new (std::nothrow) XpFile(path));
    if (!files.back()) {
      result = kXpErrOutOfMemory;
    }
  }
  XpSharedPtr<XpAbstractFile> target(new (std::nothrow) XpFile(temp));
  if (result == kXpOk) {
    result = target ? XpConcatenateFileData(files, target, observer) : kXpErrOutOfMemory;
  }
  if (result == kXpOk) {
    result = XpMoveFileWithProgress(temp, destination, nullptr);
  }
  if (result != kXpOk) {
    XpDeleteFile(temp);
  }
  return result;
}
