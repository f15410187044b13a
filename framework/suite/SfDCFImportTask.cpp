#include "framework/suite/SfDCFImportTask.h"

#include "framework/suite/SfDCFEntryList.h"
#include "platform/fs/XpAbstractDir.h"

SfDCFImportTask::SfDCFImportTask() = default;

SfDCFImportTask::~SfDCFImportTask() = default;

void SfDCFImportTask::SetSource(const XpSharedPtr<XpAbstractFSObj>& source) { source_ = source; }

XpSharedPtr<XpAbstractFSObj> SfDCFImportTask::GetSource() const { return source_; }

void SfDCFImportTask::SetName(const XpString& name) { name_ = name; }

XpString SfDCFImportTask::GetName() const { return name_; }

uint64_t SfDCFImportTask::CountFiles() {
  if (!source_) return 0;
  if (source_->IsFile()) return 1;
  XpSharedPtr<XpAbstractDir> dir(source_);
  if (!dir) return 0;
  XpStringVector entries;
  (void)SfDCFListEntries(*dir, &entries);
  return entries.size();
}

XpStringVector& SfDCFImportTask::GetFileList() { return fileList_; }

XpResult SfDCFImportTask::CollectFiles(XpStringVector* files) {
  if (!source_) return kXpErrWrongState;
  if (files == nullptr) return kXpErrBadArgument;
  if (source_->IsFile()) {
    files->push_back(source_->GetPath());
    return kXpOk;
  }
  XpSharedPtr<XpAbstractDir> dir(source_);
  if (!dir) return kXpErrWrongState;
  return SfDCFListEntries(*dir, files);
}
