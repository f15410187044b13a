#include "camerastore/dcf/XpDCFWrappedDir.h"

#include <utility>

XpDCFWrappedDir::XpDCFWrappedDir(XpSharedPtr<XpAbstractFSObj> entry) : entry_(std::move(entry)) {}

XpDCFWrappedDir::~XpDCFWrappedDir() = default;

XpString XpDCFWrappedDir::GetPath() const { return entry_ ? entry_->GetPath() : XpString(); }

XpString XpDCFWrappedDir::GetName() const { return entry_ ? entry_->GetName() : XpString(); }

XpResult XpDCFWrappedDir::GetTimes(XpDateTime* created, XpDateTime* modified,
                                   XpDateTime* accessed) const {
  return entry_ ? entry_->GetTimes(created, modified, accessed) : kXpErrWrongState;
}

bool XpDCFWrappedDir::IsReadOnly() const { return entry_ && entry_->IsReadOnly(); }

bool XpDCFWrappedDir::IsHidden() const { return entry_ && entry_->IsHidden(); }

XpResult XpDCFWrappedDir::BeginEnum(XpEnumFilter filter, const XpString& pattern) {
  XpAbstractDir* dir = WrappedDir();
  return dir != nullptr ? dir->BeginEnum(filter, pattern) : kXpErrWrongState;
}

XpSharedPtr<XpAbstractFSObj> XpDCFWrappedDir::GetNext() {
  XpAbstractDir* dir = WrappedDir();
  return dir != nullptr ? dir->GetNext() : XpSharedPtr<XpAbstractFSObj>();
}

XpResult XpDCFWrappedDir::EndEnum() {
  XpAbstractDir* dir = WrappedDir();
  return dir != nullptr ? dir->EndEnum() : kXpErrWrongState;
}

XpAbstractDir* XpDCFWrappedDir::WrappedDir() const {
  return dynamic_cast<XpAbstractDir*>(entry_.Get());
}
