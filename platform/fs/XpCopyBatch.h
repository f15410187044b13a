#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

class XpPendingFile;

// Copies of files that become durable together. Add writes each copy beside
// its destination, as XpCopyFileWithProgress does, with its writeback
// started; Publish flushes them all, renames each onto its destination and
// flushes their folders. A destination's name only ever holds the old file
// or the whole copy, as with a single copy, but the batch waits for the
// medium once instead of once per file. Copies not yet published are
// removed by Clear and when the batch goes.
class XpCopyBatch {
 public:
  XpCopyBatch();
  ~XpCopyBatch();
  XpCopyBatch(const XpCopyBatch&) = delete;
  XpCopyBatch& operator=(const XpCopyBatch&) = delete;

  // Copies source for destination, with the reports and results of
  // XpCopyFileWithProgress; a failed copy leaves nothing and is not part of
  // the batch.
  [[nodiscard]] XpResult Add(const XpString& source, const XpString& destination,
                             IXpFileOpProgressObserver* observer);
  // Add for a source that must be a regular file itself: a link, a folder
  // or a device gives kXpErrAccessDenied, and a link's target is never read.
  [[nodiscard]] XpResult AddRegularFile(const XpString& source, const XpString& destination,
                                        IXpFileOpProgressObserver* observer);

  // Whether Publish waits for the medium. Unflushed suits copies that a
  // later flush of their own makes durable before anything relies on them.
  enum class Durability { kFlushed, kUnflushed };

  // Flushes and publishes the copies in the order they were added, each
  // replacing a file at its destination, then flushes their folders.
  // results receives one result per copy: a copy that cannot be flushed or
  // published is removed and its destination is as it was; the copies of a
  // folder that cannot be flushed stay published and get that failure. The
  // batch is empty afterwards. Returns the first failure, else kXpOk.
  [[nodiscard]] XpResult Publish(std::vector<XpResult>* results,
                                 Durability durability = Durability::kFlushed);

  // The copies added and not yet published.
  size_t Size() const { return pending_.size(); }
  // Removes the copies not yet published.
  void Clear();

 private:
  [[nodiscard]] XpResult AddCopy(const XpString& source, const XpString& destination,
                                 IXpFileOpProgressObserver* observer, bool refuseLinkedSource);

  std::vector<std::unique_ptr<XpPendingFile>> pending_;
};
