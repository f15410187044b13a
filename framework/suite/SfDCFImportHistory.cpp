#include "framework/suite/SfDCFImportHistory.h"

#include <algorithm>
#include <memory>

#include "framework/suite/SfDCFEntryList.h"
#include "framework/suite/SfInitTool.h"
#include "platform/fs/XpAbstractDir.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/value/XpIniArray.h"
#include "platform/value/XpIniDict.h"

namespace {

constexpr const char16_t* kCompany = u"Kavo Corporation";
constexpr const char16_t* kSuite = u"Kavo Telvane";
constexpr const char16_t* kFolder = u"Importer";
constexpr const char16_t* kExtension = u".xml";
constexpr const char16_t* kFilesKey = u"ImportedFiles";
constexpr const char16_t* kInitToolSubkey = u"ImportHistory";
constexpr const char16_t* kInitToolList = u"Delete";

struct DictDeleter {
  void operator()(XpIniDict* dict) const { XpIniDict::Destroy(dict); }
};
using DictHolder = std::unique_ptr<XpIniDict, DictDeleter>;

// Appends one dictionary per record to files.
void WriteRecords(const std::vector<SfDCFImportedFile>& records, XpIniElement& files) {
  for (const SfDCFImportedFile& record : records) {
    if (files.InsertAt(XpIniArray::kAppend, kXpIniTypeDict) != kXpOk) continue;
    XpIniElement* entry = files.GetAt(files.GetCount() - 1);
    if (entry == nullptr || entry->GetType() != kXpIniTypeDict) continue;
    (void)record.Write(static_cast<XpIniDict&>(*entry));
  }
}

}  // namespace

SfDCFImportHistory::SfDCFImportHistory(const XpString& name) : name_(name) {}

SfDCFImportHistory::~SfDCFImportHistory() = default;

bool SfDCFImportHistory::HasValidName() const {
  const std::u16string_view name = name_.View();
  if (name.empty() || name == u"." || name == u"..") return false;
  return name.find_first_of(std::u16string_view(u"/\0", 2)) == std::u16string_view::npos;
}

XpString SfDCFImportHistory::GetFilePath() const {
  if (!HasValidName()) return XpString();
  const XpString appData = XpGetAppDataPath(kCompany, kSuite, XpString(), true);
  if (appData.IsEmpty()) return XpString();
  const XpString folder = XpPathJoin(appData, kFolder);
  (void)XpCreateDirectoryTree(folder);
  return XpPathJoin(folder, name_ + kExtension);
}

XpResult SfDCFImportHistory::Load() {
  if (!HasValidName()) return kXpErrOpenForWriteFailed;
  DictHolder dict(XpIniDict::Create());
  if (!dict) return kXpErrOutOfMemory;
  const XpString path = GetFilePath();
  if (!XpFileExists(path)) return kXpErrFileNotFound;
  const XpResult loaded = dict->LoadFromFile(path);
  if (loaded != kXpOk) return loaded;
  const XpIniElement* files = dict->Find(kFilesKey);
  if (files == nullptr || files->GetType() != kXpIniTypeArray) return kXpOk;
  for (int32_t index = 0; index < files->GetCount(); ++index) {
    const XpIniElement* entry = files->GetAt(index);
    if (entry == nullptr || entry->GetType() != kXpIniTypeDict) continue;
    SfDCFImportedFile record;
    (void)record.Read(static_cast<const XpIniDict&>(*entry));
    records_.push_back(record);
  }
  return kXpOk;
}

XpResult SfDCFImportHistory::Save() {
  if (!HasValidName()) return kXpErrOpenForWriteFailed;
  DictHolder dict(XpIniDict::Create());
  if (!dict) return kXpErrOutOfMemory;
  if (dict->Add(kFilesKey, kXpIniTypeArray) == kXpOk) {
    WriteRecords(records_, *dict->Find(kFilesKey));
  }
  const XpString path = GetFilePath();
  const XpResult saved = dict->SaveToFile(path);
  dict.reset();
  if (saved == kXpOk) {
    (void)SfInitToolAddListEntry(kSuite, kInitToolSubkey, kInitToolList, path);
  }
  return saved;
}

void SfDCFImportHistory::AddImportedFile(const XpString& fullPath) {
  const SfDCFImportedFile record(fullPath);
  const auto same = std::find_if(records_.begin(), records_.end(), [&](const SfDCFImportedFile& held) {
    return held.GetPath().CompareNoCase(record.GetPath().CStr()) == 0;
  });
  if (same != records_.end()) {
    *same = record;
    return;
  }
  records_.push_back(record);
}

bool SfDCFImportHistory::Contains(const XpString& fullPath) const {
  const SfDCFImportedFile record(fullPath);
  return std::find(records_.begin(), records_.end(), record) != records_.end();
}

bool SfDCFImportHistory::Contains(const XpSharedPtr<XpAbstractFSObj>& object) const {
  if (!object) return false;
  if (object->IsFile()) return Contains(object->GetPath());
  XpSharedPtr<XpAbstractDir> dir(object);
  if (!dir) return false;
  XpStringVector entries;
  if (SfDCFListEntries(*dir, &entries) != kXpOk) return false;
  return std::all_of(entries.begin(), entries.end(),
                     [&](const XpString& entry) { return Contains(entry); });
}
