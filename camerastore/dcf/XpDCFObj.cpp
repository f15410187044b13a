#include "camerastore/dcf/XpDCFObj.h"

#include <utility>

#include "camerastore/dcf/XpDCFNames.h"
#include "platform/fs/XpFile.h"
#include "platform/path/XpPath.h"

namespace {

const std::vector<XpString> kPictureExtensions = {u".TIF", u".JPG", u".ZK2", u".ZKP", u".ZKW"};
const std::vector<XpString> kThumbnailExtensions = {u".THM"};

}  // namespace

XpDCFObj::XpDCFObj() = default;

XpDCFObj::~XpDCFObj() = default;

XpResult XpDCFObj::AddFile(XpSharedPtr<XpAbstractFSObj> file) {
  members_.push_back(std::move(file));
  return kXpOk;
}

int32_t XpDCFObj::GetFileNumber() const {
  if (members_.empty() || !members_.front()) {
    return kXpDCFNoNumber;
  }
  return XpDCFGetFileNumber(XpPathGetBaseName(members_.front()->GetPath()));
}

int32_t XpDCFObj::FirstMemberFolderNumber() const {
  if (members_.empty() || !members_.front()) {
    return kXpDCFNoNumber;
  }
  const XpString folder = XpPathGetDirectory(members_.front()->GetPath());
  return XpDCFGetDirectoryNumber(XpPathGetLeafName(folder));
}

XpString XpDCFObj::GetName() const {
  XpString name;
  if (members_.empty()) {
    return name;
  }
  if (name.Format(u"%3d-%04d", FirstMemberFolderNumber(), GetFileNumber()) != kXpOk) {
    return XpString();
  }
  return name;
}

XpSharedPtr<XpAbstractFSObj> XpDCFObj::FindByExtensions(
    const std::vector<XpString>& extensions) const {
  for (const XpString& extension : extensions) {
    for (const XpSharedPtr<XpAbstractFSObj>& member : members_) {
      if (member && XpPathGetExtension(member->GetPath()).CompareNoCase(extension.CStr()) == 0) {
        return member;
      }
    }
  }
  return XpSharedPtr<XpAbstractFSObj>();
}

XpResult XpDCFObj::GetTimes(XpDateTime* created, XpDateTime* modified,
                            XpDateTime* accessed) const {
  XpSharedPtr<XpAbstractFSObj> source = FindByExtensions(kPictureExtensions);
  if (!source) {
    source = FindByExtensions(kThumbnailExtensions);
  }
  if (!source && !members_.empty()) {
    source = members_.front();
  }
  if (!source) {
    return kXpErrWrongState;
  }
  return source->GetTimes(created, modified, accessed);
}

bool XpDCFObj::IsReadOnly() const {
  for (const XpSharedPtr<XpAbstractFSObj>& member : members_) {
    if (member && member->IsReadOnly()) {
      return true;
    }
  }
  return false;
}

XpResult XpDCFObj::BeginEnum(XpEnumFilter filter, const XpString& pattern) {
  SetFilter(filter, pattern);
  cursor_ = 0;
  return kXpOk;
}

XpSharedPtr<XpAbstractFSObj> XpDCFObj::GetNext() {
  if (cursor_ >= members_.size()) {
    return XpSharedPtr<XpAbstractFSObj>();
  }
  return members_[cursor_++];
}

XpResult XpDCFObj::EndEnum() { return kXpOk; }

bool XpDCFObj::OnFileOpProgress(double percent) {
  if (outsideObserver_ == nullptr) {
    return false;
  }
  const int64_t total = GetSize();
  double overall = 0.0;
  if (total > 0) {
    XpFile current(source);
    const double currentBytes = static_cast<double>(current.GetSize());
    overall = (currentBytes * percent * 0.01 + static_cast<double>(bytesDone_)) /
              static_cast<double>(total) * 100.0;
  }
  return outsideObserver_->OnFileOpProgress(overall);
}
