#pragma once

#include "platform/time/XpDateTime.h"

// The creation, modification and access times of a file kept in memory.
// Every time starts at the current local time.
class XpFileTime {
 public:
  XpFileTime();

  const XpDateTime& GetCreatedTime() const { return created_; }
  const XpDateTime& GetModifiedTime() const { return modified_; }
  const XpDateTime& GetAccessedTime() const { return accessed_; }

  // All three times become now.
  void TouchAll();
  // The modification and access times become now.
  void TouchModified();
  // The access time becomes now.
  void TouchAccessed();

 protected:
  ~XpFileTime() = default;

 private:
  XpDateTime created_;
  XpDateTime modified_;
  XpDateTime accessed_;
};
