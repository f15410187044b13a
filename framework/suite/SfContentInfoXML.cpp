#include "framework/suite/SfContentInfoXML.h"

#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/value/XpIniArray.h"

namespace {

constexpr const char16_t* kFileTypeKey = u"XMLFileType";
constexpr const char16_t* kFileTypeValue = u"ContentInfoXML";
constexpr const char16_t* kSourceAppKey = u"SourceApp";
constexpr const char16_t* kImportDirKey = u"ImportDirPath";
constexpr const char16_t* kGroupListKey = u"ContentsGroupList";
constexpr const char16_t* kGroupNameKey = u"GroupName";
constexpr const char16_t* kContentsListKey = u"ContentsList";
constexpr const char16_t* kFilesKey = u"Files";
constexpr const char16_t* kSelectedKey = u"Selected";
constexpr const char16_t* kDateTimeKey = u"DateTimeOriginal";

// The element under key when it has the expected type; null otherwise.
XpIniElement* FindOfType(const XpIniElement* parent, const char16_t* key, XpIniType type) {
  if (parent == nullptr) return nullptr;
  XpIniElement* element = parent->Find(XpString(key));
  if (element == nullptr || element->GetType() != type) return nullptr;
  return element;
}

XpIniElement* FindArray(const XpIniElement* parent, const char16_t* key) {
  return FindOfType(parent, key, kXpIniTypeArray);
}

// -1 when the list is missing.
int32_t CountOf(const XpIniElement* list) { return list == nullptr ? -1 : list->GetCount(); }

// The index-th entry of list when it is in range; null otherwise.
XpIniElement* EntryAt(const XpIniElement* list, uint32_t index) {
  if (list == nullptr || index >= static_cast<uint32_t>(list->GetCount())) return nullptr;
  return list->GetAt(static_cast<int32_t>(index));
}

// Groups and contents entries are dictionaries; anything else is no entry.
XpIniElement* DictAt(const XpIniElement* list, uint32_t index) {
  XpIniElement* entry = EntryAt(list, index);
  if (entry == nullptr || entry->GetType() != kXpIniTypeDict) return nullptr;
  return entry;
}

// Appends an empty dictionary to list and returns it; null on failure.
XpIniElement* AppendDict(XpIniElement* list) {
  if (list->InsertAt(XpIniArray::kAppend, kXpIniTypeDict) != kXpOk) return nullptr;
  return DictAt(list, static_cast<uint32_t>(list->GetCount() - 1));
}

// "<n>.xml" with the low 32 bits of n as a signed number.
XpString FileNameFor(uint64_t second) {
  XpString name;
  (void)name.Format(
      u"%d.xml", static_cast<int32_t>(static_cast<uint32_t>(second)));  // a number always formats
  return name;
}

}  // namespace

SfContentInfoXML::SfContentInfoXML() = default;

SfContentInfoXML::~SfContentInfoXML() = default;

XpResult SfContentInfoXML::InitHeader(const XpString& sourceApp, const char16_t* importDirPath) {
  XpResult result = Add(kFileTypeKey, kXpIniTypeString, kFileTypeValue);
  if (result != kXpOk) return result;
  result = Add(kSourceAppKey, kXpIniTypeString, sourceApp);
  if (result != kXpOk) return result;
  if (importDirPath != nullptr) {
    result = Add(kImportDirKey, kXpIniTypeString, importDirPath);
    if (result != kXpOk) return result;
  }
  return Add(kGroupListKey, kXpIniTypeArray);
}

XpString SfContentInfoXML::GetSourceApp() const {
  XpString sourceApp;
  const XpIniElement* element = FindOfType(this, kSourceAppKey, kXpIniTypeString);
  // FindOfType checked the type; sourceApp stays empty otherwise.
  if (element != nullptr) (void)element->GetString(&sourceApp);
  return sourceApp;
}

XpIniElement* SfContentInfoXML::AddContentsGroup(const XpString& groupName) {
  XpIniElement* list = FindArray(this, kGroupListKey);
  if (list == nullptr) return nullptr;
  XpIniElement* group = AppendDict(list);
  if (group == nullptr) return nullptr;
  if (group->Add(kGroupNameKey, kXpIniTypeString, groupName) != kXpOk ||
      group->Add(kContentsListKey, kXpIniTypeArray) != kXpOk) {
    // Takes back the half-made group; the failure reported is the add's.
    (void)list->RemoveAt(list->GetCount() - 1);
    return nullptr;
  }
  return group;
}

XpIniElement* SfContentInfoXML::AddContents(XpIniElement* group) {
  XpIniElement* list = FindArray(group, kContentsListKey);
  if (list == nullptr) return nullptr;
  XpIniElement* contents = AppendDict(list);
  if (contents == nullptr) return nullptr;
  // The entry stays even without its file list; AddFile then reports it.
  (void)contents->Add(kFilesKey, kXpIniTypeArray);
  return contents;
}

XpResult SfContentInfoXML::AddFile(XpIniElement* contents, const XpString& path) {
  XpIniElement* files = FindArray(contents, kFilesKey);
  if (files == nullptr) return kXpErrValueNotFound;
  return files->InsertAt(XpIniArray::kAppend, kXpIniTypeString, path);
}

int32_t SfContentInfoXML::GetContentsGroupCount() const {
  return CountOf(FindArray(this, kGroupListKey));
}

XpIniElement* SfContentInfoXML::GetContentsGroup(uint32_t index) const {
  return DictAt(FindArray(this, kGroupListKey), index);
}

XpIniElement* SfContentInfoXML::FindContentsGroup(const XpString& groupName) const {
  const XpIniElement* list = FindArray(this, kGroupListKey);
  const int32_t count = CountOf(list);
  for (int32_t index = 0; index < count; ++index) {
    XpIniElement* group = DictAt(list, static_cast<uint32_t>(index));
    const XpIniElement* name = FindOfType(group, kGroupNameKey, kXpIniTypeString);
    if (name == nullptr) continue;
    XpString text;
    if (name->GetString(&text) == kXpOk && text == groupName) return group;
  }
  return nullptr;
}

int32_t SfContentInfoXML::GetContentsCount(const XpIniElement* group) {
  return CountOf(FindArray(group, kContentsListKey));
}

XpIniElement* SfContentInfoXML::GetContents(const XpIniElement* group, uint32_t index) {
  return DictAt(FindArray(group, kContentsListKey), index);
}

int32_t SfContentInfoXML::GetFileCount(const XpIniElement* contents) {
  const XpIniElement* files = FindArray(contents, kFilesKey);
  return files == nullptr ? 0 : files->GetCount();
}

XpResult SfContentInfoXML::GetFile(const XpIniElement* contents, uint32_t index, XpString* path) {
  if (path == nullptr) return kXpErrBadArgument;
  const XpIniElement* entry = EntryAt(FindArray(contents, kFilesKey), index);
  if (entry == nullptr) return kXpErrValueNotFound;
  if (entry->GetType() != kXpIniTypeString) return kXpErrValueNotSupported;
  return entry->GetString(path);
}

bool SfContentInfoXML::IsSelected(const XpIniElement* contents) {
  const XpIniElement* selected = FindOfType(contents, kSelectedKey, kXpIniTypeBool);
  bool value = false;
  return selected != nullptr && selected->GetBool(&value) == kXpOk && value;
}

XpResult SfContentInfoXML::GetDateTimeOriginal(const XpIniElement* contents, XpDateTime* date) {
  if (date == nullptr) return kXpErrBadArgument;
  if (FindArray(contents, kFilesKey) == nullptr) return kXpErrValueNotFound;
  const XpIniElement* element = contents->Find(XpString(kDateTimeKey));
  if (element == nullptr) return kXpErrValueNotFound;
  double days = 0.0;
  const XpResult read = element->GetReal(&days);
  if (read != kXpOk) return read;
  const XpDateTime value(days);
  // NaN, infinities and days outside the calendar come from a broken writer.
  if (!value.IsValid()) return kXpErrValueParse;
  *date = value;
  return kXpOk;
}

XpIniElement* SfContentInfoXML::FindFirstSelectedContents() const {
  const int32_t groupCount = GetContentsGroupCount();
  for (int32_t groupIndex = 0; groupIndex < groupCount; ++groupIndex) {
    const XpIniElement* group = GetContentsGroup(static_cast<uint32_t>(groupIndex));
    const int32_t contentsCount = GetContentsCount(group);
    for (int32_t index = 0; index < contentsCount; ++index) {
      XpIniElement* contents = GetContents(group, static_cast<uint32_t>(index));
      if (IsSelected(contents)) return contents;
    }
  }
  return nullptr;
}

XpString SfContentInfoXML::MakeFilePath(const XpString& folder) {
  return MakeFilePath(folder, static_cast<int64_t>(XpDateTime::Now().ToTime64()));
}

XpString SfContentInfoXML::MakeFilePath(const XpString& folder, int64_t firstSecond) {
  // A bare name would land in whatever the current folder is.
  if (folder.IsEmpty()) return XpString();
  uint64_t second = static_cast<uint64_t>(firstSecond);
  for (int32_t attempt = 0; attempt < kMaxNameAttempts; ++attempt, ++second) {
    const XpString path = XpPathJoin(folder, FileNameFor(second));
    const XpResult created = XpCreateNewFile(path);
    if (created == kXpOk) return path;
    if (created != kXpErrAlreadyExists) return XpString();
  }
  return XpString();
}
