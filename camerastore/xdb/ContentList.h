#pragma once

#include <cstdint>

#include "camerastore/xdb/ContentInfo.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/XdbObjectList.h"

namespace XdbAccessor {

// Contents in insertion order; the list owns them.
class ContentList : public IContentList {
 public:
  ContentList() = default;
  ~ContentList() override;

  int32_t GetCount() const override { return entries_.Count(); }
  IContentInfo* Item(int32_t index) const override { return GetAt(index); }
  IContentInfo* GetAt(int32_t index) const override { return entries_.At(index); }
  // Takes ownership of content; false (and content deleted) when it could not be
  // held.
  virtual bool Add(ContentInfo* content) { return entries_.Add(content); }

 private:
  XdbObjectList<ContentInfo> entries_;
};

}  // namespace XdbAccessor
