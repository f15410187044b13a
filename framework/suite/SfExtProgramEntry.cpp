#include "framework/suite/SfExtProgramEntry.h"

#include <sys/types.h>

#include <algorithm>
#include <charconv>
#include <string_view>

#include "framework/suite/SfSuiteRegistry.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/path/XpPath.h"
#include "platform/registry/XpRegistry.h"
#include "platform/value/XpIniDict.h"
#include "platform/value/XpPlistWriter.h"
#include "platform/xml/XpXmlDocument.h"

namespace {

constexpr const char16_t* kAppNameKey = u"AppName";
constexpr const char16_t* kDescriptionKey = u"Description";
constexpr const char16_t* kGroupAppKey = u"GroupApp";
constexpr const char16_t* kInstallSettingNameKey = u"InstallSettingName";
constexpr const char16_t* kInstalledLocationKey = u"InstalledLocation";
constexpr const char16_t* kExeNameKey = u"ExeName";
constexpr const char16_t* kIconNameKey = u"IconName";
constexpr const char16_t* kImageBitmapNameKey = u"ImageBitmapName";
constexpr const char16_t* kModalKey = u"Modal";
constexpr const char16_t* kOptionKey = u"Option";
constexpr const char16_t* kDisplayLevelKey = u"DisplayLevel";
constexpr const char16_t* kMultipleKey = u"Multiple";
constexpr const char16_t* kUiOrderKey = u"UIOrder";
constexpr const char16_t* kContentTypeMaskListKey = u"ContentTypeMaskList";
constexpr const char16_t* kMediaTypeMaskListKey = u"MediaTypeMaskList";
constexpr const char16_t* kXmlReceivableKey = u"XMLReceivable";
constexpr const char16_t* kSubFolderReceivableKey = u"SubFolderReceivable";
constexpr const char16_t* kEveryTimeEnableKey = u"EveryTimeEnable";
constexpr const char16_t* kSummaryStringKey = u"SummaryString";
constexpr const char16_t* kSettingDescriptionKey = u"SettingDescription";
constexpr const char16_t* kSupportedDeviceMaskKey = u"SupportedDeviceMask";
constexpr const char16_t* kIncludeNotSelectedKey = u"IncludeNotSelected";

constexpr const char16_t* kDefaultVersion = u"1.0";
constexpr const char16_t* kCurrentVersionValue = u"CurrentVersion";
constexpr const char16_t* kRegistryRefPrefix = u"HKEY_";
constexpr const char16_t* kLocalMachineRoot = u"HKEY_LOCAL_MACHINE";
constexpr const char16_t* kCurrentUserRoot = u"HKEY_CURRENT_USER";
constexpr char16_t kKeySeparator = u'\\';
constexpr int kHexBase = 16;
constexpr mode_t kNewFileMode = 0666;

// A hexadecimal mask as "%x" writes it; false for anything else.
bool ParseHexMask(const XpString& text, uint32_t* mask) {
  const std::string narrow = text.ToMultiByte().CStr();
  if (narrow.empty()) return false;
  const char* end = narrow.data() + narrow.size();
  const std::from_chars_result parsed = std::from_chars(narrow.data(), end, *mask, kHexBase);
  return parsed.ec == std::errc() && parsed.ptr == end;
}

XpString FormatHexMask(uint32_t mask) {
  char buffer[sizeof(uint32_t) * 2];
  const std::to_chars_result end = std::to_chars(buffer, buffer + sizeof(buffer), mask, kHexBase);
  return XpStringA(std::string_view(buffer, static_cast<size_t>(end.ptr - buffer))).ToWide();
}

XpIniElement* FindTyped(const XpIniDict& dict, const char16_t* key, XpIniType type) {
  XpIniElement* element = dict.Find(key);
  return element != nullptr && element->GetType() == type ? element : nullptr;
}

// Each Read* leaves *out as it is when the key is missing or of another
// type, and answers whether it read the key.
bool ReadString(const XpIniDict& dict, const char16_t* key, XpString* out) {
  const XpIniElement* element = FindTyped(dict, key, kXpIniTypeString);
  return element != nullptr && element->GetString(out) == kXpOk;
}

void ReadBool(const XpIniDict& dict, const char16_t* key, bool* out) {
  const XpIniElement* element = FindTyped(dict, key, kXpIniTypeBool);
  if (element != nullptr) (void)element->GetBool(out);
}

// A 32-bit integer; a stored value wider than that keeps its low 32 bits.
template <typename T>
void ReadInt32(const XpIniDict& dict, const char16_t* key, T* out) {
  const XpIniElement* element = FindTyped(dict, key, kXpIniTypeInt);
  int64_t value = 0;
  if (element != nullptr && element->GetInt64(&value) == kXpOk) {
    *out = static_cast<T>(static_cast<uint32_t>(value));
  }
}

void ReadMasks(const XpIniDict& dict, const char16_t* key, std::vector<uint32_t>* out) {
  const XpIniElement* array = FindTyped(dict, key, kXpIniTypeArray);
  if (array == nullptr) return;
  for (int32_t index = 0; index < array->GetCount(); ++index) {
    const XpIniElement* item = array->GetAt(index);
    XpString text;
    uint32_t mask = 0;
    if (item == nullptr || item->GetType() != kXpIniTypeString || item->GetString(&text) != kXpOk) {
      continue;
    }
    if (ParseHexMask(text, &mask)) out->push_back(mask);
  }
}

// The string value named by "HKEY_<root>\<key>\<value name>"; "" when the
// root is unknown or the key or value is missing.
XpString ReadRegistryReference(const XpString& reference) {
  const int32_t firstSeparator = reference.Find(kKeySeparator);
  const int32_t lastSeparator = reference.ReverseFind(kKeySeparator);
  if (firstSeparator < 0 || lastSeparator <= firstSeparator) return XpString();
  const XpString rootName = reference.Left(firstSeparator);
  uint32_t root = 0;
  if (rootName.Compare(kLocalMachineRoot) == 0) {
    root = XpRegistry::kRootLocalMachine;
  } else if (rootName.Compare(kCurrentUserRoot) == 0) {
    root = XpRegistry::kRootCurrentUser;
  } else {
    return XpString();
  }
  const XpString keyPath = reference.Mid(firstSeparator + 1, lastSeparator - firstSeparator - 1);
  const XpString valueName = reference.Mid(lastSeparator + 1);
  XpRegistry key;
  if (key.Open(keyPath, root, XpRegistry::kAccessRead) != kXpOk) return XpString();
  return key.QueryString(valueName, XpString());
}

bool StartsWith(const XpString& text, const char16_t* prefix) {
  return text.View().starts_with(std::u16string_view(prefix));
}

// The folder of path without its trailing '/', except for the root.
XpString FolderOf(const XpString& path) {
  XpString folder = XpPathGetDirectory(path);
  if (folder.GetLength() > 1) XpPathRemoveTrailingBackslash(folder);
  return folder;
}

// Appends the property-list elements of one key and its value to a
// dictionary node.
class OrderedDictWriter {
 public:
  explicit OrderedDictWriter(XpXmlNode dict) : dict_(dict) {}

  void String(const char16_t* key, const XpString& value) { Text(key, "string", value); }
  void Bool(const char16_t* key, bool value) {
    if (Key(key)) Check(dict_.AppendElement(value ? "true" : "false"));
  }
  void Int(const char16_t* key, int64_t value) {
    Text(key, "integer", XpPlistWriter::FormatInt(value));
  }
  void Masks(const char16_t* key, const std::vector<uint32_t>& masks) {
    XpXmlNode array;
    if (!Key(key) || !Check(dict_.AppendElement("array", &array))) return;
    for (uint32_t mask : masks) {
      XpXmlNode item;
      if (!Check(array.AppendElement("string", &item))) return;
      if (!Check(item.AppendText(FormatHexMask(mask)))) return;
    }
  }
  XpResult Result() const { return result_; }

 private:
  bool Check(XpResult result) {
    if (result_ == kXpOk && result != kXpOk) result_ = result;
    return result_ == kXpOk;
  }
  bool Key(const char16_t* key) {
    XpXmlNode node;
    return Check(result_) && Check(dict_.AppendElement("key", &node)) &&
           Check(node.AppendText(key));
  }
  void Text(const char16_t* key, const char* element, const XpString& value) {
    XpXmlNode node;
    if (Key(key) && Check(dict_.AppendElement(element, &node))) Check(node.AppendText(value));
  }

  XpXmlNode dict_;
  XpResult result_ = kXpOk;
};

}  // namespace

XpResult SfExtProgramEntry::Read(const XpString& path) {
  XpIniDict dict;
  const XpResult loaded = dict.LoadFromFile(path);
  if (loaded != kXpOk) return loaded;
  *this = SfExtProgramEntry();
  filePath = path;
  sourcePath = path;
  ReadFields(dict);
  ResolvePaths();
  TakeCreationTime();
  return kXpOk;
}

void SfExtProgramEntry::ReadFields(const XpIniDict& dict) {
  ReadString(dict, kAppNameKey, &appName);
  ReadString(dict, kDescriptionKey, &description);
  ReadBool(dict, kGroupAppKey, &groupApp);
  ReadString(dict, kInstallSettingNameKey, &installSettingName);
  hasInstalledLocation = ReadString(dict, kInstalledLocationKey, &installedLocation);
  hasExeName = ReadString(dict, kExeNameKey, &exeName);
  ReadString(dict, kIconNameKey, &iconName);
  ReadString(dict, kImageBitmapNameKey, &imageBitmapName);
  ReadBool(dict, kModalKey, &modal);
  ReadString(dict, kOptionKey, &option);
  ReadInt32(dict, kDisplayLevelKey, &displayLevel);
  ReadBool(dict, kMultipleKey, &multiple);
  ReadInt32(dict, kUiOrderKey, &uiOrder);
  ReadMasks(dict, kContentTypeMaskListKey, &contentTypeMasks);
  ReadMasks(dict, kMediaTypeMaskListKey, &mediaTypeMasks);
  ReadBool(dict, kXmlReceivableKey, &xmlReceivable);
  ReadBool(dict, kSubFolderReceivableKey, &subFolderReceivable);
  ReadBool(dict, kEveryTimeEnableKey, &everyTimeEnable);
  ReadString(dict, kSummaryStringKey, &summaryString);
  ReadString(dict, kSettingDescriptionKey, &settingDescription);
  ReadInt32(dict, kSupportedDeviceMaskKey, &supportedDeviceMask);
  ReadBool(dict, kIncludeNotSelectedKey, &includeNotSelected);
}

void SfExtProgramEntry::ResolvePaths() {
  if (!installSettingName.IsEmpty() && groupApp) ResolveSuiteProgram();
  if (exePath.IsEmpty() && hasInstalledLocation && hasExeName) {
    const XpString location = StartsWith(installedLocation, kRegistryRefPrefix)
                                  ? ReadRegistryReference(installedLocation)
                                  : installedLocation;
    exePath = XpPathJoin(location, exeName);
  }
  if (!iconName.IsEmpty()) iconPath = XpPathJoin(XpPathGetDirectory(exePath), iconName);
  if (!imageBitmapName.IsEmpty()) {
    bitmapPath = XpPathJoin(XpPathGetDirectory(filePath), imageBitmapName);
  }
}

void SfExtProgramEntry::ResolveSuiteProgram() {
  XpString programKey = installSettingName;
  programKey.Replace(u"/", u"\\");
  programKey = XpString(kSfSuiteKeyPath) + u"\\" + programKey;
  XpString version = kDefaultVersion;
  XpRegistry key;
  if (key.Open(programKey, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead) == kXpOk) {
    const XpString current = key.QueryString(kCurrentVersionValue, XpString());
    if (!current.IsEmpty()) version = current;
  }
  XpRegistry versionKey;
  if (versionKey.Open(programKey + u"\\" + version, XpRegistry::kRootLocalMachine,
                      XpRegistry::kAccessRead) != kXpOk) {
    return;
  }
  const XpString location = versionKey.QueryString(kInstalledLocationKey, XpString());
  const XpString name = hasExeName ? exeName : versionKey.QueryString(kExeNameKey, XpString());
  const XpString joined = XpPathJoin(location, name);
  if (XpFileExists(joined)) exePath = joined;
}

void SfExtProgramEntry::TakeCreationTime() {
  XpDateTime created;
  if (XpFile(filePath).GetTimes(&created, nullptr, nullptr) == kXpOk) creationTime = created;
}

bool SfExtProgramEntry::IsSameProgram(const SfExtProgramEntry& other) const {
  return appName.Compare(other.appName.CStr()) == 0 &&
         exePath.Compare(other.exePath.CStr()) == 0 && option.Compare(other.option.CStr()) == 0;
}

void SfExtProgramEntry::TakeOverFrom(const SfExtProgramEntry& other) {
  appName = other.appName;
  description = other.description;
  displayLevel = other.displayLevel;
  modal = other.modal;
  option = other.option;
  multiple = other.multiple;
  xmlReceivable = other.xmlReceivable;
  contentTypeMasks = other.contentTypeMasks;
  mediaTypeMasks = other.mediaTypeMasks;
}

bool SfExtProgramEntry::HasContentType(uint32_t mask) const {
  return std::find(contentTypeMasks.begin(), contentTypeMasks.end(), mask) !=
         contentTypeMasks.end();
}

XpResult SfExtProgramEntry::Write() {
  if (!filePath.View().starts_with(u'/')) return kXpErrPathNotFound;
  std::string bytes;
  const XpResult built = WriteDocument(&bytes);
  if (built != kXpOk) return built;
  const XpResult replaced = XpReplaceFileAtomically(filePath, bytes, kNewFileMode);
  if (replaced != kXpOk) return replaced;
  TakeCreationTime();
  return kXpOk;
}

XpResult SfExtProgramEntry::WriteDocument(std::string* bytes) const {
  XpXmlDocument document;
  const XpIniDict empty;
  const XpResult started = XpPlistWriter::Write(empty, &document);
  if (started != kXpOk) return started;
  OrderedDictWriter dict(document.GetRoot().GetFirstChild());
  dict.String(kAppNameKey, appName);
  dict.String(kDescriptionKey, description);
  dict.Bool(kGroupAppKey, groupApp);
  dict.String(kInstallSettingNameKey, installSettingName);
  dict.String(kInstalledLocationKey, FolderOf(exePath));
  dict.String(kExeNameKey, XpPathGetFileName(exePath));
  dict.String(kIconNameKey, XpPathGetFileName(iconPath));
  dict.Bool(kModalKey, modal);
  dict.String(kOptionKey, option);
  dict.Int(kDisplayLevelKey, static_cast<int32_t>(displayLevel));
  dict.Bool(kMultipleKey, multiple);
  dict.Int(kUiOrderKey, uiOrder);
  dict.Masks(kContentTypeMaskListKey, contentTypeMasks);
  dict.Bool(kXmlReceivableKey, xmlReceivable);
  dict.Bool(kEveryTimeEnableKey, everyTimeEnable);
  dict.Bool(kIncludeNotSelectedKey, includeNotSelected);
  // What the list above leaves out, so that nothing read is lost.
  if (!imageBitmapName.IsEmpty()) dict.String(kImageBitmapNameKey, imageBitmapName);
  if (!mediaTypeMasks.empty()) dict.Masks(kMediaTypeMaskListKey, mediaTypeMasks);
  if (subFolderReceivable) dict.Bool(kSubFolderReceivableKey, subFolderReceivable);
  if (!summaryString.IsEmpty()) dict.String(kSummaryStringKey, summaryString);
  if (!settingDescription.IsEmpty()) dict.String(kSettingDescriptionKey, settingDescription);
  if (supportedDeviceMask != 0) {
    dict.Int(kSupportedDeviceMaskKey, static_cast<int32_t>(supportedDeviceMask));
  }
  if (dict.Result() != kXpOk) return dict.Result();
  XpStringA serialized;
  const XpResult written = document.Serialize(&serialized);
  if (written != kXpOk) return written;
  bytes->assign(serialized.View());
  return kXpOk;
}
