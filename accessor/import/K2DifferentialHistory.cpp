#include "accessor/import/K2DifferentialHistory.h"

#include <memory>

#include "framework/suite/SfInitTool.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/value/XpIniDict.h"

namespace {

struct DictDestroyer {
  void operator()(XpIniDict* dict) const { XpIniDict::Destroy(dict); }
};
using DictPtr = std::unique_ptr<XpIniDict, DictDestroyer>;

// A name that cannot leave the folder or end the path early.
bool IsUsableName(const XpString& name) {
  if (name.IsEmpty()) return false;
  for (const char16_t ch : name.View()) {
    if (ch == kXpPathSeparator || ch == u'\0') return false;
  }
  return true;
}

}  // namespace

K2DifferentialHistory::K2DifferentialHistory() = default;

K2DifferentialHistory::K2DifferentialHistory(const XpString& name, const XpString& folder)
    : name_(name), folder_(folder) {}

bool K2DifferentialHistory::SetFolder(const XpString& folder) {
  if (!XpDirectoryExists(folder)) return false;
  folder_ = folder;
  return true;
}

XpString K2DifferentialHistory::GetFilePath() const {
  if (!IsUsableName(name_) || !XpDirectoryExists(folder_)) return XpString();
  return XpPathJoin(folder_, kFilePrefix + name_ + kFileExtension);
}

XpResult K2DifferentialHistory::UpdateMax(int64_t value) {
  if (value > max_) max_ = value;
  return kXpOk;
}

XpResult K2DifferentialHistory::Save() const {
  const XpString path = GetFilePath();
  if (path.IsEmpty()) return kXpErrWrongState;
  const DictPtr dict(XpIniDict::Create());
  if (!dict) return kXpErrOutOfMemory;
  // Without the key the file is still written; a later load keeps its value.
  if (dict->Add(kMaxKey, kXpIniTypeInt) == kXpOk) {
    XpIniElement* element = dict->Find(kMaxKey);
    if (element != nullptr) (void)element->SetInt64(max_);
  }
  const XpResult written = dict->SaveToFile(path);
  if (written == kXpOk) {
    (void)SfInitToolAddListEntry(kListProgram, kListSubkey, kListName, path);
  }
  return written;
}

XpResult K2DifferentialHistory::Load() {
  const XpString path = GetFilePath();
  if (path.IsEmpty()) return kXpErrWrongState;
  if (!XpPathExists(path)) (void)Save();
  const DictPtr dict(XpIniDict::Create());
  if (!dict) return kXpErrOutOfMemory;
  const XpResult read = dict->LoadFromFile(path);
  if (read != kXpOk) return read;
  const XpIniElement* element = dict->Find(kMaxKey);
  int64_t value = 0;
  if (element != nullptr && element->GetType() == kXpIniTypeInt &&
      element->GetInt64(&value) == kXpOk) {
    max_ = value;
  }
  return kXpOk;
}
