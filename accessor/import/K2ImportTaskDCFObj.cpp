#include "accessor/import/K2ImportTaskDCFObj.h"

#include <sys/stat.h>

#include <new>
#include <string>

#include "camerastore/dcf/XpDCFObj.h"
#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "framework/notify/XfPointer.h"
#include "framework/suite/SfDCFImportHistory.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/sync/XpRetry.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr const char16_t* kPicturePrefix = u"QMVS";
constexpr const char16_t* kMoviePrefix = u"QMVM";

// The imported-name prefix for the extension (with its dot, any case);
// null for an extension that keeps its name.
const char16_t* PrefixFor(const XpString& extension) {
  if (extension.CompareNoCase(u".JPG") == 0) {
    return kPicturePrefix;
  }
  if (extension.CompareNoCase(u".MPG") == 0 || extension.CompareNoCase(u".THM") == 0) {
    return kMoviePrefix;
  }
  return nullptr;
}

// The imported name of the camera file at path: its folder, the prefix,
// the object's number as "%04d" and the extension as it was; empty when the
// file keeps its name.
XpString ImportedPath(const XpString& path, int32_t fileNumber) {
  XpString folder;
  XpString extension;
  XpPathSplit(path, &folder, nullptr, &extension);
  const char16_t* prefix = PrefixFor(extension);
  XpString imported;
  if (prefix == nullptr) {
    return imported;
  }
  if (imported.Format(u"%s%s%04d%s", folder.CStr(), prefix, fileNumber, extension.CStr()) !=
      kXpOk) {
    return XpString();
  }
  return imported;
}

// Both paths name one existing file: the same path, or the same file of
// one file system (a name that differs only in letter case on a card).
bool IsSameFile(const XpString& from, const XpString& to) {
  if (from == to) {
    return true;
  }
  const std::string fromBytes(from.ToMultiByte().View());
  const std::string toBytes(to.ToMultiByte().View());
  struct stat fromInfo {};
  struct stat toInfo {};
  XpSysCalls& calls = XpSysCalls::Current();
  return calls.Stat(fromBytes.c_str(), &fromInfo) == 0 && calls.Stat(toBytes.c_str(), &toInfo) == 0 &&
         fromInfo.st_dev == toInfo.st_dev && fromInfo.st_ino == toInfo.st_ino;
}

// The percentage truncated toward zero; 0 for values below 0 and for NaN,
// which a conversion to an unsigned number could not hold.
uint32_t TruncatedPercent(double percent) {
  constexpr double kMost = 100.0;
  if (!(percent > 0.0)) {
    return 0;
  }
  return static_cast<uint32_t>(percent < kMost ? percent : kMost);
}

}  // namespace

K2ImportTaskDCFObj::K2ImportTaskDCFObj() : K2ImportTaskDCFObj(XpWaitClock::Real()) {}

K2ImportTaskDCFObj::K2ImportTaskDCFObj(XpWaitClock& clock) : clock_(&clock) {}

K2ImportTaskDCFObj::~K2ImportTaskDCFObj() = default;

XpSharedPtr<XpDCFObj> K2ImportTaskDCFObj::SourceObject() const {
  return XpSharedPtr<XpDCFObj>(source_);
}

XpResult K2ImportTaskDCFObj::Execute(const std::atomic<bool>* stopFlag) {
  XpSharedPtr<XpDCFObj> object = SourceObject();
  stopFlag_ = stopFlag;
  XpResult result = kXpErrWrongState;
  if (object) {
    result = object->CopyTo(name_, this);
    fileList_ = object->GetWrittenPaths();
    if (renameSource_ && result == kXpOk) {
      result = RenameMembers(*object);
    }
  }
  PostExecuted();
  return result;
}

XpResult K2ImportTaskDCFObj::RenameMembers(XpDCFObj& object) {
  const int32_t fileNumber = object.GetFileNumber();
  XpResult result = object.BeginEnum(kXpEnumAll, XpString());
  if (result != kXpOk) {
    return result;
  }
  for (XpSharedPtr<XpAbstractFSObj> member = object.GetNext(); member && result == kXpOk;
       member = object.GetNext()) {
    const XpString path = member->GetPath();
    const XpString imported = ImportedPath(path, fileNumber);
    if (path.IsEmpty() || imported.IsEmpty()) {
      continue;
    }
    result = MoveWithRetries(path, imported);
    if (result == kXpOk) {
      result = member->SetPath(imported);
    }
  }
  (void)object.EndEnum();
  return result;
}

XpResult K2ImportTaskDCFObj::MoveWithRetries(const XpString& from, const XpString& to) {
  // A file that already has its imported name (one this program exported)
  // has nothing to move.
  if (IsSameFile(from, to)) {
    return kXpOk;
  }
  return XpRetry(
      kMoveAttempts, [&] { return XpCopyOrMoveFileSimple(to, true, from); },
      [](XpResult result) { return result == kXpErrAlreadyExists; },
      [&](XpResult) { clock_->SleepFor(kMoveRetryDelay); });
}

template <typename Visit>
XpResult K2ImportTaskDCFObj::ForEachMember(Visit visit) {
  XpSharedPtr<XpDCFObj> object = SourceObject();
  if (!object) {
    return kXpErrWrongState;
  }
  const XpResult result = object->BeginEnum(kXpEnumAll, XpString());
  if (result != kXpOk) {
    return result;
  }
  for (XpSharedPtr<XpAbstractFSObj> member = object->GetNext(); member;
       member = object->GetNext()) {
    visit(*member);
  }
  return object->EndEnum();
}

XpResult K2ImportTaskDCFObj::CollectRemovableFiles(XpStringVector* files) {
  if (files == nullptr) {
    return kXpErrBadArgument;
  }
  XpSharedPtr<XpDCFObj> object = SourceObject();
  if (object && object->IsReadOnly()) {
    return kXpOk;
  }
  return ForEachMember([files](XpAbstractFSObj& member) { files->push_back(member.GetPath()); });
}

XpResult K2ImportTaskDCFObj::CollectAllFilesForRemoval(XpStringVector* files) {
  if (files == nullptr) {
    return kXpErrBadArgument;
  }
  return ForEachMember([files](XpAbstractFSObj& member) {
    const XpString path = member.GetPath();
    (void)XpFileSetReadOnly(path, false);
    files->push_back(path);
  });
}

XpResult K2ImportTaskDCFObj::AddToHistory(SfDCFImportHistory* history) {
  if (history == nullptr) {
    return kXpErrBadArgument;
  }
  return ForEachMember(
      [history](XpAbstractFSObj& member) { history->AddImportedFile(member.GetPath()); });
}

XpResult K2ImportTaskDCFObj::Run(const std::atomic<bool>* stopFlag,
                                 const std::atomic<bool>* pauseFlag) {
  pauseFlag_ = pauseFlag;
  return Execute(stopFlag);
}

XpResult K2ImportTaskDCFObj::Import() { return Execute(stopFlag_); }

XpResult K2ImportTaskDCFObj::BuildFileList() {
  XpSharedPtr<XpDCFObj> object = SourceObject();
  if (!object) {
    return kXpErrWrongState;
  }
  fileList_ = object->GetWrittenPaths();
  return kXpOk;
}

bool K2ImportTaskDCFObj::OnFileOpProgress(double percent) {
  XpSharedPtr<XfNotificationProgress> progress(new (std::nothrow) XfNotificationProgress(
      XpSharedPtr<XfObject>(), XfPointer::Borrow(this), 0, XpSharedPtr<XfObject>()));
  if (progress) {
    progress->SetValue(TruncatedPercent(percent));
    XfPostNotification(XpSharedPtr<XfNotification>(progress));
  }
  while (pauseFlag_ != nullptr && pauseFlag_->load()) {
    clock_->SleepFor(kPausePoll);
  }
  return stopFlag_ != nullptr && stopFlag_->load();
}

void K2ImportTaskDCFObj::PostExecuted() {
  XpSharedPtr<XfNotification> executed(new (std::nothrow) XfNotificationInternal(
      XpSharedPtr<XfObject>(), XfPointer::Borrow(this), kExecutedCode, XpSharedPtr<XfObject>(),
      false, true));
  if (executed) {
    XfPostNotification(executed);
  }
}
