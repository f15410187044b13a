#pragma once

#include <cstdint>

namespace XdbAccessor {

class IContentInfo;

// An ordered set of contents that owns them.
class IContentList {
 public:
  virtual ~IContentList() = 0;
  virtual int32_t GetCount() const = 0;
  // The same as GetAt.
  virtual IContentInfo* Item(int32_t index) const = 0;
  // The entry, still owned by the list; std::out_of_range when index is
  // not below GetCount.
  virtual IContentInfo* GetAt(int32_t index) const = 0;
};

}  // namespace XdbAccessor
