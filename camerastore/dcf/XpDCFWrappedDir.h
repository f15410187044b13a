#pragma once

#include "platform/fs/XpAbstractDir.h"
#include "platform/memory/XpSharedPtr.h"

// A folder object over the real entry an enumeration handed out. It never
// touches the disk itself: every question goes to the wrapped entry, and
// enumeration goes to it when it is a folder. Without a wrapped folder the
// answers are empty, false, or kXpErrWrongState.
class XpDCFWrappedDir : public XpAbstractDir {
 public:
  explicit XpDCFWrappedDir(XpSharedPtr<XpAbstractFSObj> entry);
  ~XpDCFWrappedDir() override;

  XpString GetPath() const override;
  XpString GetName() const override;
  [[nodiscard]] XpResult GetTimes(XpDateTime* created, XpDateTime* modified,
                                  XpDateTime* accessed) const override;
  bool IsReadOnly() const override;
  bool IsHidden() const override;

  [[nodiscard]] XpResult BeginEnum(XpEnumFilter filter, const XpString& pattern) override;
  XpSharedPtr<XpAbstractFSObj> GetNext() override;
  [[nodiscard]] XpResult EndEnum() override;

  const XpSharedPtr<XpAbstractFSObj>& GetWrappedEntry() const { return entry_; }

 private:
  // The wrapped entry as a folder; null when there is none or it is not one.
  XpAbstractDir* WrappedDir() const;

  XpSharedPtr<XpAbstractFSObj> entry_;
};
