#include "camerastore/dcf/XpDCFObj.h"

#include <algorithm>
#include <new>
#include <utility>

#include "camerastore/dcf/XpDCFNames.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileDataOperations.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"

namespace {

const std::vector<XpString> kPictureExtensions = {u".TIF", u".JPG", u".ZK2", u".ZKP", u".ZKW"};
const std::vector<XpString> kThumbnailExtensions = {u".THM"};

constexpr const char16_t* kMp4Extension = u".MP4";
constexpr const char16_t* kMpegExtension = u".MPG";
constexpr const char16_t* kAviExtension = u".AVI";

// The maker's companion files: ROOT/PREFIXnnn/DSC0nnnn.EXT on the volume.
constexpr const char16_t* kCompanionRootFolder = u"VELDRA";
constexpr const char16_t* kCompanionFilePrefix = u"DSC0";
struct CompanionLayout {
  const char16_t* subFolderPrefix;
  const char16_t* extension;
};
constexpr CompanionLayout kCompanionPicture = {u"IMCIF", u".TIF"};
constexpr CompanionLayout kCompanionMovie = {u"MOMLV", u".MPG"};

constexpr double kFullPercent = 100.0;

// The leaf name a member's target takes in a naming pass: its own name in
// pass 1, "base (pass-1).ext" after it.
XpString TargetNameForPass(const XpString& memberPath, int32_t pass) {
  const XpString leaf = XpPathGetLeafName(memberPath);
  if (pass <= 1) {
    return leaf;
  }
  XpString base;
  XpString extension;
  XpPathSplit(leaf, nullptr, &base, &extension);
  XpString name;
  if (name.Format(u"%s (%d)%s", base, pass - 1, extension) != kXpOk) {
    return XpString();
  }
  return name;
}

}  // namespace

XpDCFObj::XpDCFObj() = default;

XpDCFObj::~XpDCFObj() = default;

XpSharedPtr<XpDCFObj> XpDCFObj::Clone() const {
  XpSharedPtr<XpDCFObj> copy(new (std::nothrow) XpDCFObj());
  if (!copy) {
    return copy;
  }
  (void)copy->SetPath(GetPath());  // a plain assignment
  copy->members_ = members_;
  copy->cursor_ = cursor_;
  copy->cachedTags_ = cachedTags_;
  copy->writtenPaths_ = writtenPaths_;
  return copy;
}

XpResult XpDCFObj::AddFile(XpSharedPtr<XpAbstractFSObj> file) {
  members_.push_back(std::move(file));
  return kXpOk;
}

XpResult XpDCFObj::AddCompanionFiles() {
  XpResult first = kXpOk;
  for (const XpString& path : {GetCompanionMoviePath(), GetCompanionPicturePath()}) {
    if (path.IsEmpty()) {
      continue;
    }
    XpSharedPtr<XpAbstractFSObj> file(new (std::nothrow) XpFile(path));
    const XpResult result = file ? AddFile(file) : kXpErrOutOfMemory;
    if (first == kXpOk) {
      first = result;
    }
  }
  return first;
}

int32_t XpDCFObj::GetFileNumber() const {
  if (members_.empty() || !members_.front()) {
    return kXpDCFNoNumber;
  }
  return XpDCFGetFileNumber(XpPathGetBaseName(members_.front()->GetPath()));
}

int32_t XpDCFObj::GetFolderNumber() const {
  if (members_.empty() || !members_.front()) {
    return kXpDCFNoNumber;
  }
  const XpString folder = XpPathGetLeafName(XpPathGetDirectory(members_.front()->GetPath()));
  if (!XpDCFIsDirectoryName(folder)) {
    return kXpDCFNoNumber;
  }
  return XpDCFGetDirectoryNumber(folder);
}

XpString XpDCFObj::GetDisplayName() const {
  XpString name;
  if (members_.empty()) {
    return name;
  }
  if (name.Format(u"%3d-%04d", GetFolderNumber(), GetFileNumber()) != kXpOk) {
    return XpString();
  }
  return name;
}

XpString XpDCFObj::GetName() const { return GetDisplayName(); }

XpSharedPtr<XpAbstractFSObj> XpDCFObj::FindFileByExtension(const XpString& extension) const {
  for (const XpSharedPtr<XpAbstractFSObj>& member : members_) {
    if (member && XpPathGetExtension(member->GetPath()).CompareNoCase(extension.CStr()) == 0) {
      return member;
    }
  }
  return XpSharedPtr<XpAbstractFSObj>();
}

XpSharedPtr<XpAbstractFSObj> XpDCFObj::FindByExtensions(
    const std::vector<XpString>& extensions) const {
  for (const XpString& extension : extensions) {
    XpSharedPtr<XpAbstractFSObj> member = FindFileByExtension(extension);
    if (member) {
      return member;
    }
  }
  return XpSharedPtr<XpAbstractFSObj>();
}

XpString XpDCFObj::GetCompanionPicturePath() const {
  return CompanionPath(kCompanionPicture.subFolderPrefix, kCompanionPicture.extension);
}

XpString XpDCFObj::GetCompanionMoviePath() const {
  return CompanionPath(kCompanionMovie.subFolderPrefix, kCompanionMovie.extension);
}

XpString XpDCFObj::CompanionPath(const char16_t* subFolderPrefix,
                                 const char16_t* extension) const {
  const int32_t folderNumber = GetFolderNumber();
  const int32_t fileNumber = GetFileNumber();
  if (folderNumber == kXpDCFNoNumber || fileNumber == kXpDCFNoNumber ||
      !XpDCFIsFileName(XpPathGetBaseName(members_.front()->GetPath()))) {
    return XpString();
  }
  const XpString root = XpPathGetRoot(members_.front()->GetPath());
  if (root.IsEmpty()) {
    return XpString();
  }
  XpString relative;
  if (relative.Format(u"%s/%s%03d/%s%04d%s", kCompanionRootFolder, subFolderPrefix, folderNumber,
                      kCompanionFilePrefix, fileNumber, extension) != kXpOk) {
    return XpString();
  }
  const XpString path = XpPathJoin(root, relative);
  return XpFileExists(path) ? path : XpString();
}

XpSharedPtr<XpAbstractFSObj> XpDCFObj::GetPictureFile() const {
  return FindByExtensions(kPictureExtensions);
}

XpSharedPtr<XpAbstractFSObj> XpDCFObj::GetThumbnailFile() const {
  return FindByExtensions(kThumbnailExtensions);
}

XpFormatKind XpDCFObj::GetFormatKind() const {
  const XpSharedPtr<XpAbstractFSObj> picture = GetPictureFile();
  if (FindFileByExtension(kMp4Extension)) {
    // The MP4's content is not examined.
    return picture ? kXpKindJpegWithMovie : kXpKindMp4Type1;
  }
  if (const XpSharedPtr<XpAbstractFSObj> mpeg = FindFileByExtension(kMpegExtension)) {
    const XpFormatKind kind = XpFormatChecker::DetectFormatKind(mpeg->GetPath());
    if (!picture) {
      return kind;
    }
    return kind == kXpKindMpeg1 ? kXpKindJpegWithMovieMarked : kXpKindUnknown;
  }
  if (const XpSharedPtr<XpAbstractFSObj> avi = FindFileByExtension(kAviExtension)) {
    return XpFormatChecker::DetectFormatKind(avi->GetPath());
  }
  if (picture) {
    return XpFormatChecker::DetectFormatKind(picture->GetPath());
  }
  for (const XpSharedPtr<XpAbstractFSObj>& member : members_) {
    if (!member) {
      continue;
    }
    const XpFormatKind kind = XpFormatChecker::DetectFormatKind(member->GetPath());
    if (kind != kXpKindUnknown) {
      return kind;
    }
  }
  return kXpKindUnknown;
}

XpDateTime XpDCFObj::GetShootingDate() const {
  XpDateTime date;
  XpSharedPtr<XpAbstractFSObj> file = GetPictureFile();
  if (!file) {
    file = GetThumbnailFile();
  }
  if (file) {
    XpDateTime content;
    if (XpFormatChecker::GetShootingDate(file->GetPath(), content)) {
      date = content;
    }
  } else if (!members_.empty()) {
    // Without a picture or thumbnail there is no content date to ask for.
    file = members_.front();
  }
  if (date.IsValid() || !file) {
    return date;
  }
  XpFile onDisk(file->GetPath());
  XpDateTime modified;
  if (onDisk.GetTimes(nullptr, &modified, nullptr) == kXpOk) {
    date = modified;
  }
  return date;
}

void XpDCFObj::FillTagCache(const XpSharedPtr<XpAbstractFSObj>& file) {
  if (cachedTags_ || !file) {
    return;
  }
  XpSharedPtr<XpTiffTagManager> tags = XpImageIoReadTagsForPath(file->GetPath());
  if (tags && tags->HasIFDs()) {
    cachedTags_ = tags;
  }
}

XpSharedPtr<XpTiffTagManager> XpDCFObj::GetPictureTags() {
  FillTagCache(GetPictureFile());
  return cachedTags_;
}

XpSharedPtr<XpTiffTagManager> XpDCFObj::GetThumbnailTags() {
  FillTagCache(GetThumbnailFile());
  return cachedTags_;
}

XpSharedPtr<XpTiffTagManager> XpDCFObj::GetTags(bool allowThumbnail) {
  XpSharedPtr<XpTiffTagManager> tags = GetPictureTags();
  if (!tags && allowThumbnail) {
    tags = GetThumbnailTags();
  }
  return tags;
}

XpString XpDCFObj::TagText(uint16_t tag) {
  const XpSharedPtr<XpTiffTagManager> tags = GetTags(true);
  if (!tags) {
    return XpString();
  }
  const XpTiffTagDataBase* value = tags->FindTag(tag, true);
  return value != nullptr ? value->GetValueText(0) : XpString();
}

XpString XpDCFObj::GetMake() { return TagText(kTagMake); }

XpString XpDCFObj::GetModel() { return TagText(kTagModel); }

XpGPSPosition XpDCFObj::GetGPSPosition() {
  XpGPSPosition position;
  const XpSharedPtr<XpTiffTagManager> tags = GetTags(true);
  if (tags) {
    (void)tags->GetGPSPosition(position);  // untouched when there is none
  }
  return position;
}

bool XpDCFObj::TargetsForPass(int32_t pass, const XpString& folder,
                              std::vector<XpString>* targets) const {
  targets->clear();
  bool free = true;
  for (const XpSharedPtr<XpAbstractFSObj>& member : members_) {
    const XpString target =
        member ? XpPathJoin(folder, TargetNameForPass(member->GetPath(), pass)) : XpString();
    if (member && XpPathExists(target)) {
      free = false;
    }
    targets->push_back(target);
  }
  return free;
}

XpResult XpDCFObj::MakeTargetPaths(std::vector<XpString>* targets, const XpString& folder) const {
  if (targets == nullptr) {
    return kXpErrBadArgument;
  }
  int32_t pass = 0;
  return FindFreePass(folder, targets, &pass);
}

XpResult XpDCFObj::FindFreePass(const XpString& folder, std::vector<XpString>* targets,
                                int32_t* pass) const {
  for (int32_t candidate = 1; candidate <= kMaxTargetPasses; ++candidate) {
    if (TargetsForPass(candidate, folder, targets)) {
      *pass = candidate;
      return kXpOk;
    }
  }
  targets->clear();
  return kXpErrAlreadyExists;
}

XpResult XpDCFObj::CopyMember(size_t index, const XpString& folder, const XpString& target,
                              int32_t pass, XpString* published) {
  XpSharedPtr<XpAbstractFile> file(members_[index]);
  if (!file) {
    // Only files have bytes to copy.
    return kXpOk;
  }
  XpResult result = file->Open(kXpOpenRead);
  if (result != kXpOk) {
    return result;
  }
  const XpString memberPath = file->GetPath();
  XpCopyFileDataOptions options;
  options.replace = false;
  options.syncFolder = true;
  // A name taken meanwhile moves this member on to its next free name.
  options.nextDestination = [&folder, &memberPath, pass](XpString* path) mutable {
    if (pass >= kMaxTargetPasses) {
      return false;
    }
    ++pass;
    *path = XpPathJoin(folder, TargetNameForPass(memberPath, pass));
    return true;
  };
  IXpFileOpProgressObserver* progress = outsideObserver_ != nullptr ? this : nullptr;
  result = XpCopyFileData(file, target, progress, options, published);
  // Only read: its close has nothing to lose.
  (void)file->Close();
  if (result == kXpOk) {
    bytesDone_ += std::max<int64_t>(0, file->GetSize());
  }
  return result;
}

int64_t XpDCFObj::FileBytes() const {
  int64_t total = 0;
  for (const XpSharedPtr<XpAbstractFSObj>& member : members_) {
    const XpSharedPtr<XpAbstractFile> file(member);
    if (file) {
      total += std::max<int64_t>(0, file->GetSize());
    }
  }
  return total;
}

XpResult XpDCFObj::CopyTo(const XpString& folder, IXpFileOpProgressObserver* observer) {
  writtenPaths_.clear();
  std::vector<XpString> targets;
  int32_t pass = 0;
  XpResult result = FindFreePass(folder, &targets, &pass);
  outsideObserver_ = observer;
  bytesDone_ = 0;
  totalBytes_ = result == kXpOk && observer != nullptr ? FileBytes() : 0;
  std::vector<XpString> published;
  for (size_t i = 0; i < members_.size() && result == kXpOk; ++i) {
    XpString path;
    result = CopyMember(i, folder, targets[i], pass, &path);
    if (result == kXpOk && !path.IsEmpty()) {
      published.push_back(path);
    }
  }
  if (result == kXpOk) {
    writtenPaths_ = std::move(published);
  } else {
    for (const XpString& path : published) {
      (void)XpDeleteFile(path, false);  // all or nothing: the failure is reported
    }
  }
  bytesDone_ = 0;
  totalBytes_ = 0;
  outsideObserver_ = nullptr;
  return result;
}

XpResult XpDCFObj::DeleteFiles() {
  for (const XpSharedPtr<XpAbstractFSObj>& member : members_) {
    if (!member) {
      continue;
    }
    const XpResult result = XpDeleteFile(member->GetPath(), false);
    if (result != kXpOk) {
      return result;
    }
  }
  return kXpOk;
}

XpResult XpDCFObj::GetTimes(XpDateTime* created, XpDateTime* modified,
                            XpDateTime* accessed) const {
  XpSharedPtr<XpAbstractFSObj> source = GetPictureFile();
  if (!source) {
    source = GetThumbnailFile();
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
  double overall = 0.0;
  if (totalBytes_ > 0) {
    XpFile current(source);
    // A source that cannot be read counts as empty.
    const double currentBytes = static_cast<double>(std::max<int64_t>(0, current.GetSize()));
    overall = (currentBytes * percent * 0.01 + static_cast<double>(bytesDone_)) /
              static_cast<double>(totalBytes_) * kFullPercent;
    overall = std::clamp(overall, 0.0, kFullPercent);
  }
  return outsideObserver_->OnFileOpProgress(overall);
}
