#include "camerastore/dcf/XpDCFDir.h"

#include <algorithm>
#include <utility>

#include "camerastore/dcf/XpDCFNames.h"
#include "platform/path/XpPath.h"

namespace {

int32_t FileNumberOf(const XpSharedPtr<XpAbstractFSObj>& entry) {
  return entry ? K2GetDCFFileNumber(*entry) : kXpDCFNoNumber;
}

}  // namespace

int32_t K2GetDCFFileNumber(const XpAbstractFSObj& entry) {
  return XpDCFGetFileNumber(XpPathGetBaseName(entry.GetPath()));
}

XpDCFDir::XpDCFDir(XpSharedPtr<XpAbstractFSObj> entry) : XpDCFWrappedDir(std::move(entry)) {}

XpDCFDir::~XpDCFDir() = default;

int32_t XpDCFDir::GetFolderNumber() const {
  return XpDCFGetDirectoryNumber(XpPathGetBaseName(GetPath()));
}

XpResult XpDCFDir::ScanFiles() {
  files_.clear();
  const XpResult result = BeginEnum(kXpEnumAll, XpString());
  if (result != kXpOk) {
    return result;
  }
  for (XpSharedPtr<XpAbstractFSObj> entry = GetNext(); entry; entry = GetNext()) {
    if (XpDCFIsFileName(XpPathGetBaseName(entry->GetPath()))) {
      files_.push_back(std::move(entry));
    }
  }
  (void)EndEnum();  // it ran: nothing to report
  std::sort(files_.begin(), files_.end(), LessByFileNumber);
  return kXpOk;
}

bool XpDCFDir::LessByFileNumber(XpSharedPtr<XpAbstractFSObj> a, XpSharedPtr<XpAbstractFSObj> b) {
  return FileNumberOf(a) < FileNumberOf(b);
}
