#pragma once

#include <mutex>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The files that one export task made itself (converted and re-encoded
// pictures): exactly these are deleted when the task cleans up, wherever
// they lie. Every operation may be called from any thread.
class K2CreatedFileList {
 public:
  // Adds path once; an empty path is ignored.
  void Add(const XpString& path);
  // Unlists path; the file itself is left as it is.
  void Remove(const XpString& path);
  bool Contains(const XpString& path) const;
  XpStringVector Snapshot() const;
  // Deletes every listed file permanently and empties the list. A file that
  // is already gone counts as deleted; the last other failure is the result.
  [[nodiscard]] XpResult DeleteAll();

 private:
  mutable std::mutex lock_;
  XpStringVector paths_;
};
