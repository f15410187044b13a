#include "platform/fs/XpCopyBatch.h"

#include <map>
#include <new>
#include <utility>

#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/path/XpPath.h"

XpCopyBatch::XpCopyBatch() = default;

XpCopyBatch::~XpCopyBatch() = default;

XpResult XpCopyBatch::Add(const XpString& source, const XpString& destination,
                          IXpFileOpProgressObserver* observer) {
  return AddCopy(source, destination, observer, false);
}

XpResult XpCopyBatch::AddRegularFile(const XpString& source, const XpString& destination,
                                     IXpFileOpProgressObserver* observer) {
  return AddCopy(source, destination, observer, true);
}

XpResult XpCopyBatch::AddCopy(const XpString& source, const XpString& destination,
                              IXpFileOpProgressObserver* observer, bool refuseLinkedSource) {
  std::unique_ptr<XpPendingFile> pending(new (std::nothrow) XpPendingFile());
  if (!pending) {
    return kXpErrOutOfMemory;
  }
  const XpResult result =
      XpCopyFileToPending(source, destination, observer, pending.get(), refuseLinkedSource);
  if (result != kXpOk) {
    return result;
  }
  pending_.push_back(std::move(pending));
  return kXpOk;
}

XpResult XpCopyBatch::Publish(std::vector<XpResult>* results, Durability durability) {
  const bool flushed = durability == Durability::kFlushed;
  std::vector<std::unique_ptr<XpPendingFile>> pending = std::move(pending_);
  pending_.clear();
  results->clear();
  XpResult first = kXpOk;
  // The first flush waits for the medium; the copies' writeback began as
  // they were written, so the others find little left.
  for (const std::unique_ptr<XpPendingFile>& file : pending) {
    XpResult result = flushed ? file->Sync() : kXpOk;
    if (result == kXpOk) {
      result = file->Publish(true);
    }
    // A copy that failed goes with its pending file at the end.
    if (result != kXpOk && first == kXpOk) {
      first = result;
    }
    results->push_back(result);
  }
  if (!flushed) {
    return first;
  }
  // One flush per folder makes the new names last.
  std::map<XpString, XpResult> folders;
  for (size_t index = 0; index < pending.size(); ++index) {
    if ((*results)[index] != kXpOk) {
      continue;
    }
    const XpString folder = XpPathGetDirectory(pending[index]->FinalPath());
    auto [entry, isNew] = folders.try_emplace(folder, kXpOk);
    if (isNew) {
      entry->second = pending[index]->SyncFolder();
    }
    (*results)[index] = entry->second;
    if (entry->second != kXpOk && first == kXpOk) {
      first = entry->second;
    }
  }
  return first;
}

// A pending file removes its unpublished copy when it goes.
void XpCopyBatch::Clear() { pending_.clear(); }
