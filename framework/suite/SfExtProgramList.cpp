#include "framework/suite/SfExtProgramList.h"

#include <algorithm>

#include "framework/suite/SfInitTool.h"
#include "framework/suite/SfSuiteRegistry.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/registry/XpRegistry.h"
#include "platform/shell/XpCompareNamesLogical.h"

namespace {

constexpr const char16_t* kFoldersKeyPath =
    u"Software\\Kavo Corporation\\Kavo Telvane\\Browser\\ExtProgramXML";
constexpr const char16_t* kIgnoreKeyPath =
    u"Software\\Kavo Corporation\\Kavo Telvane\\Browser\\ExtProgramXML\\Ignore";
constexpr const char16_t* kEntryExtension = u".xml";
constexpr const char16_t* kFileNameFormat = u"%u.xml";

constexpr const char16_t* kInitToolProgram = u"Kavo Telvane";
constexpr const char16_t* kInitToolSubkey = u"ExpAppData";
constexpr const char16_t* kInitToolList = u"Delete";

constexpr uint32_t kIgnoreNothing = 0xFFFFFFFF;

struct BuiltInRow {
  const char16_t* name;
  uint32_t level;
};
constexpr BuiltInRow kBuiltInSwitchOff[] = {
    {u"Uploader\\Grouper", 1},
    {u"GPSMatch", 0},
    {u"HaldenMobile", 1},
    {u"HaldenPC", 1},
};

constexpr uint32_t kLevelGroup0 = 0;
constexpr uint32_t kLevelUser = 1;
constexpr uint32_t kLevelGroup2 = 2;
constexpr uint32_t kLevelGroup3 = 3;
constexpr uint32_t kLevelGroup4 = 4;
constexpr uint32_t kLevelGroup5 = 5;
constexpr uint32_t kLevelGroup6 = 6;
constexpr uint32_t kLevel100 = 100;

constexpr size_t kUserIdIndex = 1;
constexpr size_t kList100IdIndex = 6;
constexpr size_t kLastCountedList = static_cast<size_t>(SfExtProgramListKind::kGroup5);

size_t IndexOf(SfExtProgramListKind kind) { return static_cast<size_t>(kind); }

// Read order: names compared with case folded, then exactly.
bool ComesFirst(const XpString& a, const XpString& b) {
  const XpString leafA = XpPathGetFileName(a);
  const XpString leafB = XpPathGetFileName(b);
  const int folded = leafA.CompareNoCase(leafB.CStr());
  return folded != 0 ? folded < 0 : leafA.Compare(leafB.CStr()) < 0;
}

bool IsEntryFileName(const XpString& path) {
  return XpPathGetExtension(path).CompareNoCase(kEntryExtension) == 0;
}

XpStringVector SortedChildren(const XpString& folder) {
  XpStringVector children;
  XpDir dir(folder);
  if (dir.BeginEnum(kXpEnumAll, XpString()) != kXpOk) return children;
  for (XpSharedPtr<XpAbstractFSObj> child = dir.GetNext(); child; child = dir.GetNext()) {
    children.push_back(child->GetPath());
  }
  (void)dir.EndEnum();
  std::sort(children.begin(), children.end(), ComesFirst);
  return children;
}

bool SortsBefore(const SfExtProgramEntry& a, const SfExtProgramEntry& b) {
  return a.uiOrder < b.uiOrder;
}

bool SortsBeforeIn100(const SfExtProgramEntry& a, const SfExtProgramEntry& b) {
  if (a.uiOrder != b.uiOrder) return a.uiOrder < b.uiOrder;
  return XpCompareNamesLogical(a.description, b.description) < 0;
}

}  // namespace

SfExtProgramList::SfExtProgramList() {
  ReadSwitchOffTable();
  extToolsFolder_ = SfGetExtToolsFolder();
  for (const XpString& folder : CollectFolders()) ReadFolder(folder);
  SortLists();
}

SfExtProgramList::~SfExtProgramList() { (void)SaveUserList(); }

SfExtProgramList::Entries& SfExtProgramList::GetList(SfExtProgramListKind kind) {
  return lists_[IndexOf(kind)];
}

const SfExtProgramList::Entries& SfExtProgramList::GetList(SfExtProgramListKind kind) const {
  return lists_[IndexOf(kind)];
}

void SfExtProgramList::ReadSwitchOffTable() {
  XpRegistry key;
  XpStringVector names;
  if (key.Open(kIgnoreKeyPath, XpRegistry::kRootCurrentUser, XpRegistry::kAccessRead) == kXpOk &&
      key.EnumValues(&names) == kXpOk) {
    for (const XpString& name : names) {
      const uint32_t level = key.QueryDword(name, 0);
      if (level != kIgnoreNothing) switchOff_.push_back({name, level});
    }
  }
  for (const BuiltInRow& row : kBuiltInSwitchOff) switchOff_.push_back({row.name, row.level});
}

XpStringVector SfExtProgramList::CollectFolders() const {
  XpStringVector folders;
  if (!extToolsFolder_.IsEmpty()) folders.push_back(extToolsFolder_);
  XpRegistry key;
  XpStringVector names;
  if (key.Open(kFoldersKeyPath, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead) != kXpOk ||
      key.EnumValues(&names) != kXpOk) {
    return folders;
  }
  for (const XpString& name : names) {
    const XpString folder = key.QueryString(name, XpString());
    if (folder.IsEmpty() || !XpDirectoryExists(folder)) continue;
    // Read twice, its user entries would be added twice and saved twice.
    if (!extToolsFolder_.IsEmpty() && XpPathGetRelation(folder, extToolsFolder_) == kXpPathSame) {
      continue;
    }
    folders.push_back(folder);
  }
  return folders;
}

void SfExtProgramList::ReadFolder(const XpString& folder) {
  const bool isExtToolsFolder = folder == extToolsFolder_;
  for (const XpString& path : SortedChildren(folder)) {
    if (!IsEntryFileName(path)) continue;
    SfExtProgramEntry entry;
    if (entry.Read(path) != kXpOk) continue;
    Place(entry, isExtToolsFolder);
  }
}

bool SfExtProgramList::IsSwitchedOff(const SfExtProgramEntry& entry) const {
  return std::any_of(switchOff_.begin(), switchOff_.end(), [&entry](const SwitchOffRow& row) {
    return row.level == entry.displayLevel && row.name == entry.installSettingName;
  });
}

void SfExtProgramList::Place(SfExtProgramEntry& entry, bool inExtToolsFolder) {
  if (IsSwitchedOff(entry)) return;
  const uint32_t level = entry.displayLevel;
  if (level == kLevelUser) {
    PlaceUserEntry(entry, inExtToolsFolder);
    return;
  }
  if (level == kLevel100) {
    GetList(SfExtProgramListKind::kList100).push_back(entry);
    return;
  }
  if (!entry.groupApp) return;
  switch (level) {
    case kLevelGroup0:
      GetList(SfExtProgramListKind::kGroup0).push_back(entry);
      break;
    case kLevelGroup2:
      GetList(SfExtProgramListKind::kGroup2).push_back(entry);
      break;
    case kLevelGroup3:
      GetList(SfExtProgramListKind::kGroup3).push_back(entry);
      break;
    case kLevelGroup4:
    case kLevelGroup5:
      GetList(SfExtProgramListKind::kGroup4).push_back(entry);
      GetList(SfExtProgramListKind::kGroup5).push_back(entry);
      break;
    case kLevelGroup6:
      GetList(SfExtProgramListKind::kGroup6).push_back(entry);
      break;
    default:
      break;
  }
}

void SfExtProgramList::PlaceUserEntry(SfExtProgramEntry& entry, bool inExtToolsFolder) {
  if (inExtToolsFolder) {
    if (entry.installSettingName.IsEmpty() || XpFileExists(entry.exePath)) {
      AddUserEntry(entry, entry.filePath);
    }
    return;
  }
  Entries& user = GetUserList();
  const auto same = std::find_if(user.begin(), user.end(), [&entry](const SfExtProgramEntry& e) {
    return e.IsSameProgram(entry);
  });
  if (same != user.end()) {
    same->TakeOverFrom(entry);
    return;
  }
  // A file of another folder is never retired.
  AddUserEntry(entry, XpString());
}

void SfExtProgramList::SortLists() {
  for (SfExtProgramListKind kind : {SfExtProgramListKind::kGroup0, SfExtProgramListKind::kUser,
                                    SfExtProgramListKind::kGroup2, SfExtProgramListKind::kGroup3}) {
    Entries& list = GetList(kind);
    std::stable_sort(list.begin(), list.end(), SortsBefore);
  }
  // Entries equal in both keys end in the reverse of their read order.
  Entries& list100 = GetList(SfExtProgramListKind::kList100);
  std::reverse(list100.begin(), list100.end());
  std::stable_sort(list100.begin(), list100.end(), SortsBeforeIn100);
}

void SfExtProgramList::AddUserEntry(const SfExtProgramEntry& entry, const XpString& source) {
  Entries& user = GetUserList();
  if (user.size() >= maxUserEntries_) return;
  SfExtProgramEntry added = entry;
  added.sourcePath = source;
  added.filePath = NextFileName(source);
  added.id = ++idCounters_[kUserIdIndex];
  user.push_back(std::move(added));
}

XpString SfExtProgramList::NextFileName(const XpString& source) {
  for (;;) {
    XpString name;
    (void)name.Format(kFileNameFormat, ++fileCounter_);
    const XpString path = XpPathJoin(extToolsFolder_, name);
    if (IsUserTarget(path, nullptr)) continue;
    if (!XpPathExists(path) || path == source || IsUserSource(path, nullptr)) return path;
  }
}

bool SfExtProgramList::IsUserSource(const XpString& path, const SfExtProgramEntry* except) const {
  const Entries& user = GetList(SfExtProgramListKind::kUser);
  return std::any_of(user.begin(), user.end(), [&](const SfExtProgramEntry& e) {
    return &e != except && !e.sourcePath.IsEmpty() && e.sourcePath == path;
  });
}

bool SfExtProgramList::IsUserTarget(const XpString& path, const SfExtProgramEntry* except) const {
  const Entries& user = GetList(SfExtProgramListKind::kUser);
  return std::any_of(user.begin(), user.end(), [&](const SfExtProgramEntry& e) {
    return &e != except && e.filePath == path;
  });
}

bool SfExtProgramList::IsRetiredSource(const SfExtProgramEntry& entry) const {
  const XpString& source = entry.sourcePath;
  return !source.IsEmpty() && source != entry.filePath &&
         XpPathGetRelation(source, extToolsFolder_) == kXpPathInside &&
         !IsUserTarget(source, &entry);
}

void SfExtProgramList::RetireSource(SfExtProgramEntry& entry) {
  if (IsRetiredSource(entry)) (void)XpDeleteFile(entry.sourcePath);
  entry.sourcePath = entry.filePath;
}

uint32_t SfExtProgramList::FindOrAdd(const SfExtProgramEntry& entry) {
  const Entries& user = GetUserList();
  for (const SfExtProgramEntry& existing : user) {
    if (existing.IsSameProgram(entry)) return existing.id;
  }
  AddUserEntry(entry, XpString());
  return user.empty() ? 0 : user.back().id;
}

void SfExtProgramList::ReplaceUserList(const Entries& entries) {
  Entries& user = GetUserList();
  for (const SfExtProgramEntry& entry : user) {
    (void)XpDeleteWithProgress(entry.filePath, false, false, nullptr);
    if (IsRetiredSource(entry)) {
      (void)XpDeleteWithProgress(entry.sourcePath, false, false, nullptr);
    }
  }
  user.clear();
  fileCounter_ = 0;
  idCounters_[kUserIdIndex] = idBases_[kUserIdIndex];
  for (const SfExtProgramEntry& entry : entries) AddUserEntry(entry, XpString());
}

bool SfExtProgramList::CollectByContentType(uint32_t contentType, Entries* out) const {
  bool found = false;
  for (const SfExtProgramEntry& entry : GetList(SfExtProgramListKind::kGroup2)) {
    if (!entry.HasContentType(contentType)) continue;
    out->push_back(entry);
    found = true;
  }
  return found;
}

void SfExtProgramList::Renumber() {
  for (size_t index = 0; index <= kLastCountedList; ++index) {
    uint32_t& counter = idCounters_[index];
    counter = idBases_[index];
    for (SfExtProgramEntry& entry : lists_[index]) entry.id = ++counter;
  }
  uint32_t next = idBases_[kList100IdIndex];
  for (SfExtProgramEntry& entry : GetList(SfExtProgramListKind::kList100)) entry.id = next++;
}

XpResult SfExtProgramList::SaveUserList() {
  XpResult firstFailure = kXpOk;
  int32_t order = 0;
  for (SfExtProgramEntry& entry : GetUserList()) {
    entry.uiOrder = ++order;
    const XpResult written = entry.Write();
    if (written != kXpOk) {
      if (firstFailure == kXpOk) firstFailure = written;
      continue;
    }
    (void)SfInitToolAddListEntry(kInitToolProgram, kInitToolSubkey, kInitToolList, entry.filePath);
    RetireSource(entry);
  }
  return firstFailure;
}

void SfExtProgramList::Remove(uint32_t id) {
  Entries& user = GetUserList();
  const auto found = std::find_if(user.begin(), user.end(),
                                  [id](const SfExtProgramEntry& e) { return e.id == id; });
  if (found == user.end()) return;
  if (!found->installSettingName.IsEmpty() &&
      found->displayLevel != SfExtProgramEntry::kNoDisplayLevel) {
    XpRegistry key;
    if (key.Open(kIgnoreKeyPath, XpRegistry::kRootCurrentUser,
                 XpRegistry::kAccessRead | XpRegistry::kAccessWrite) == kXpOk) {
      (void)key.SetDword(found->installSettingName, found->displayLevel);
    }
  }
  // A file that still holds another entry goes when that entry is saved.
  if (!IsUserSource(found->filePath, &*found)) (void)XpDeleteFile(found->filePath);
  if (IsRetiredSource(*found)) (void)XpDeleteFile(found->sourcePath);
  user.erase(found);
}

void SfExtProgramList::SetIdBases(const std::array<uint32_t, kIdListCount>& bases) {
  idBases_ = bases;
}

uint32_t SfExtProgramList::GetCount() const {
  return idCounters_[kUserIdIndex] - idBases_[kUserIdIndex];
}
