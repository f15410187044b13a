#include "framework/suite/SfModdXML.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <system_error>

#include "platform/fs/XpFile.h"
#include "platform/memory/XpByteOrder.h"
#include "platform/text/XpStringA.h"
#include "platform/value/XpIniArray.h"
#include "platform/value/XpIniMemChunk.h"

namespace {

constexpr const char16_t* kFileTypeKey = u"XMLFileType";
constexpr const char16_t* kFileTypeValue = u"ModdXML";
constexpr const char16_t* kMetaDataListKey = u"MetaDataList";
constexpr const char16_t* kDateTimeKey = u"DateTimeOriginal";
constexpr const char16_t* kDurationKey = u"Duration";
constexpr const char16_t* kRatingKey = u"Rating";
constexpr const char16_t* kFileSizeKey = u"FileSize";
constexpr const char16_t* kCheckCodeKey = u"CheckCode";
constexpr const char16_t* kIsEditedKey = u"IsEdited";
constexpr const char16_t* kVTListKey = u"VTList";
constexpr const char16_t* kDivisionListKey = u"AVCHDDivisionInfoList";
constexpr const char16_t* kClipInfoKey = u"ClipInformationFile";
constexpr const char16_t* kGroupTypeKey = u"GroupType";
constexpr const char16_t* kGroupTypeDivision = u"Division";
constexpr const char16_t* kGroupFileListKey = u"GroupFileList";
constexpr const char16_t* kFilePathKey = u"FilePath";
constexpr const char16_t* kFavoriteListKey = u"FavoriteList";
constexpr const char16_t* kLabelListKey = u"LabelList";
constexpr const char16_t* kVTFormat = u"%d:%d:%.16f:%.16f:%.16f:%d";

constexpr int32_t kMinRating = 0;
constexpr int32_t kMaxRating = 5;
constexpr double kMissingDuration = -1.0;
constexpr double kUnparsedVTValue = -1.0;
constexpr int64_t kMissingFileSize = -1;
// Index in "MetaDataList" of the second dictionary that may hold group files.
constexpr int32_t kSecondMetaDataIndex = 1;

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

// The dictionary at index of list; null when there is none.
XpIniElement* DictAt(const XpIniElement* list, int32_t index) {
  if (list == nullptr || index < 0 || index >= list->GetCount()) return nullptr;
  XpIniElement* entry = list->GetAt(index);
  if (entry == nullptr || entry->GetType() != kXpIniTypeDict) return nullptr;
  return entry;
}

// Appends an empty dictionary to list and returns it in *entry.
[[nodiscard]] XpResult AppendDict(XpIniElement* list, XpIniElement** entry) {
  *entry = nullptr;
  const XpResult added = list->InsertAt(XpIniArray::kAppend, kXpIniTypeDict);
  if (added != kXpOk) return added;
  *entry = DictAt(list, list->GetCount() - 1);
  return *entry != nullptr ? kXpOk : kXpErrGeneric;
}

// Makes key of type ready for a setter in *out. An existing key gives
// kXpErrValueKeyExists without overwrite; with it, one of another type is
// replaced by a new element of type.
[[nodiscard]] XpResult PrepareKey(XpIniElement* dict, const char16_t* key, XpIniType type,
                                  bool overwrite, XpIniElement** out) {
  *out = nullptr;
  if (dict == nullptr) return kXpErrGeneric;
  const XpString name(key);
  XpIniElement* existing = dict->Find(name);
  if (existing != nullptr) {
    if (!overwrite) return kXpErrValueKeyExists;
    if (existing->GetType() == type) {
      *out = existing;
      return kXpOk;
    }
    const XpResult removed = dict->Remove(name);
    if (removed != kXpOk) return removed;
  }
  const XpResult added = dict->Add(name, type);
  if (added != kXpOk) return added;
  *out = dict->Find(name);
  return *out != nullptr ? kXpOk : kXpErrGeneric;
}

// Empties an array from the end.
[[nodiscard]] XpResult RemoveAllEntries(XpIniElement* list) {
  for (int32_t index = list->GetCount() - 1; index >= 0; --index) {
    const XpResult removed = list->RemoveAt(index);
    if (removed != kXpOk) return removed;
  }
  return kXpOk;
}

// The list array under key, emptied, for a list setter. kXpErrGeneric when
// it cannot be had, kXpErrValueKeyExists per the overwrite flag.
[[nodiscard]] XpResult PrepareList(XpIniElement* meta, const char16_t* key, bool overwrite,
                                   XpIniElement** list) {
  if (meta == nullptr) return kXpErrGeneric;
  const XpResult prepared = PrepareKey(meta, key, kXpIniTypeArray, overwrite, list);
  if (prepared == kXpErrValueKeyExists) return prepared;
  if (prepared != kXpOk) return kXpErrGeneric;
  return RemoveAllEntries(*list);
}

// Reads the fields of a VT entry in the C locale, as sscanf would read
// "%d:%d:%f:%f:%f:%d" into doubles: each conversion skips white space, a
// literal must match exactly, and the first failure ends the scan.
class VTScanner {
 public:
  explicit VTScanner(std::string_view text) : text_(text) {}

  bool Literal(char expected) {
    if (position_ >= text_.size() || text_[position_] != expected) return false;
    ++position_;
    return true;
  }

  bool Integer(int32_t* out) {
    SkipSpace();
    const bool negative = TakeSign();
    if (position_ >= text_.size() || text_[position_] == '-' || text_[position_] == '+') {
      return false;
    }
    int64_t magnitude = 0;
    const char* begin = text_.data() + position_;
    const char* end = text_.data() + text_.size();
    const std::from_chars_result parsed = std::from_chars(begin, end, magnitude);
    if (parsed.ec != std::errc()) return false;
    const int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX) return false;
    position_ += static_cast<size_t>(parsed.ptr - begin);
    *out = static_cast<int32_t>(value);
    return true;
  }

  bool Real(double* out) {
    SkipSpace();
    const bool negative = TakeSign();
    if (position_ >= text_.size() || text_[position_] == '-' || text_[position_] == '+') {
      return false;
    }
    double value = 0.0;
    const char* begin = text_.data() + position_;
    const char* end = text_.data() + text_.size();
    const std::from_chars_result parsed = std::from_chars(begin, end, value);
    if (parsed.ec != std::errc()) return false;
    position_ += static_cast<size_t>(parsed.ptr - begin);
    *out = negative ? -value : value;
    return true;
  }

 private:
  void SkipSpace() {
    while (position_ < text_.size() && IsSpace(text_[position_])) ++position_;
  }
  static bool IsSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
  }
  // Takes one sign; true for '-'.
  bool TakeSign() {
    if (position_ >= text_.size()) return false;
    const char ch = text_[position_];
    if (ch != '-' && ch != '+') return false;
    ++position_;
    return ch == '-';
  }

  std::string_view text_;
  size_t position_ = 0;
};

void ParseVTEntry(std::string_view text, SfModdXML::VTEntry* entry) {
  entry->value1 = kUnparsedVTValue;
  entry->value2 = kUnparsedVTValue;
  entry->value3 = kUnparsedVTValue;
  VTScanner scanner(text);
  if (!scanner.Integer(&entry->first) || !scanner.Literal(':')) return;
  if (!scanner.Integer(&entry->second) || !scanner.Literal(':')) return;
  double value = 0.0;
  if (!scanner.Real(&value)) return;
  entry->value1 = value;
  if (!scanner.Literal(':') || !scanner.Real(&value)) return;
  entry->value2 = value;
  if (!scanner.Literal(':') || !scanner.Real(&value)) return;
  entry->value3 = value;
  if (!scanner.Literal(':')) return;
  (void)scanner.Integer(&entry->last);
}

}  // namespace

SfModdXML::SfModdXML() = default;

SfModdXML::~SfModdXML() = default;

XpResult SfModdXML::InitHeader() {
  XpResult result = Add(XpString(kFileTypeKey), kXpIniTypeString, kFileTypeValue);
  if (result != kXpOk) return result;
  result = Add(XpString(kMetaDataListKey), kXpIniTypeArray);
  if (result != kXpOk) return result;
  XpIniElement* list = FindArray(this, kMetaDataListKey);
  if (list == nullptr) return kXpErrGeneric;
  XpIniElement* meta = nullptr;
  result = AppendDict(list, &meta);
  if (result != kXpOk) return result;
  hasHeader_ = true;
  return kXpOk;
}

XpResult SfModdXML::Load(const XpString& path) {
  hasHeader_ = false;
  if (path.IsEmpty()) return kXpErrPathNotFound;
  const XpResult loaded = LoadFromFile(path);
  if (loaded != kXpOk) return loaded;
  const XpIniElement* type = FindOfType(this, kFileTypeKey, kXpIniTypeString);
  XpString typeText;
  if (type == nullptr || type->GetString(&typeText) != kXpOk || typeText != kFileTypeValue) {
    return kXpErrGeneric;
  }
  if (DictAt(FindArray(this, kMetaDataListKey), 0) == nullptr) return kXpErrGeneric;
  hasHeader_ = true;
  return kXpOk;
}

XpIniElement* SfModdXML::GetMetaData() const {
  if (!hasHeader_) return nullptr;
  return DictAt(FindArray(this, kMetaDataListKey), 0);
}

XpResult SfModdXML::SetDateTimeOriginal(const XpDateTime& date, bool overwrite) {
  XpIniElement* element = nullptr;
  const XpResult prepared =
      PrepareKey(GetMetaData(), kDateTimeKey, kXpIniTypeReal, overwrite, &element);
  if (prepared != kXpOk) return prepared;
  return element->SetReal(date.GetValue());
}

XpResult SfModdXML::GetDateTimeOriginal(XpDateTime* date) const {
  if (date == nullptr) return kXpErrBadArgument;
  const XpIniElement* meta = GetMetaData();
  if (meta == nullptr) return kXpErrGeneric;
  const XpIniElement* element = meta->Find(XpString(kDateTimeKey));
  if (element == nullptr) return kXpErrValueNotFound;
  double days = 0.0;
  const XpResult read = element->GetReal(&days);
  if (read == kXpOk) *date = days;
  return read;
}

XpResult SfModdXML::SetDuration(double duration, bool overwrite) {
  XpIniElement* element = nullptr;
  const XpResult prepared =
      PrepareKey(GetMetaData(), kDurationKey, kXpIniTypeReal, overwrite, &element);
  if (prepared != kXpOk) return prepared;
  return element->SetReal(duration);
}

double SfModdXML::GetDuration() const {
  const XpIniElement* element = FindOfType(GetMetaData(), kDurationKey, kXpIniTypeReal);
  double duration = kMissingDuration;
  if (element == nullptr || element->GetReal(&duration) != kXpOk) return kMissingDuration;
  return duration;
}

XpResult SfModdXML::SetRating(int32_t rating, bool overwrite) {
  XpIniElement* element = nullptr;
  const XpResult prepared =
      PrepareKey(GetMetaData(), kRatingKey, kXpIniTypeInt, overwrite, &element);
  if (prepared != kXpOk) return prepared;
  return element->SetInt64(rating);
}

int32_t SfModdXML::GetRating() const {
  const XpIniElement* element = FindOfType(GetMetaData(), kRatingKey, kXpIniTypeInt);
  int64_t rating = kMinRating;
  if (element == nullptr || element->GetInt64(&rating) != kXpOk) return kMinRating;
  return static_cast<int32_t>(std::clamp<int64_t>(rating, kMinRating, kMaxRating));
}

XpResult SfModdXML::SetCheckCode(const XpString& code, bool overwrite) {
  XpIniElement* element = nullptr;
  const XpResult prepared =
      PrepareKey(GetMetaData(), kCheckCodeKey, kXpIniTypeString, overwrite, &element);
  if (prepared != kXpOk) return prepared;
  return element->SetString(code.CStr());
}

XpResult SfModdXML::GetCheckCode(XpString* code) const {
  if (code == nullptr) return kXpErrBadArgument;
  const XpIniElement* meta = GetMetaData();
  if (meta == nullptr) return kXpErrGeneric;
  const XpIniElement* element = meta->Find(XpString(kCheckCodeKey));
  if (element == nullptr) return kXpErrValueNotFound;
  return element->GetString(code);
}

XpResult SfModdXML::SetFileSize(int64_t size, bool overwrite) {
  XpIniElement* element = nullptr;
  const XpResult prepared =
      PrepareKey(GetMetaData(), kFileSizeKey, kXpIniTypeInt, overwrite, &element);
  if (prepared != kXpOk) return prepared;
  return element->SetInt64(size);
}

int64_t SfModdXML::GetFileSize() const {
  const XpIniElement* element = FindOfType(GetMetaData(), kFileSizeKey, kXpIniTypeInt);
  int64_t size = kMissingFileSize;
  if (element == nullptr || element->GetInt64(&size) != kXpOk) return kMissingFileSize;
  return size;
}

bool SfModdXML::IsEdited() const {
  const XpIniElement* element = FindOfType(GetMetaData(), kIsEditedKey, kXpIniTypeBool);
  bool edited = false;
  if (element == nullptr || element->GetBool(&edited) != kXpOk) return false;
  return edited;
}

XpIniElement* SfModdXML::GetOrCreateVTList() {
  XpIniElement* meta = GetMetaData();
  if (meta == nullptr) return nullptr;
  const XpString name(kVTListKey);
  if (meta->Find(name) == nullptr && meta->Add(name, kXpIniTypeArray) != kXpOk) return nullptr;
  return FindArray(meta, kVTListKey);
}

XpResult SfModdXML::AddVTEntry(const VTEntry& entry) {
  XpIniElement* list = GetOrCreateVTList();
  if (list == nullptr) return kXpErrValueNotFound;
  XpString text;
  const XpResult formatted = text.Format(kVTFormat, entry.first, entry.second, entry.value1,
                                         entry.value2, entry.value3, entry.last);
  if (formatted != kXpOk) return formatted;
  return list->InsertAt(XpIniArray::kAppend, kXpIniTypeString, text);
}

XpResult SfModdXML::GetVTEntry(int32_t index, VTEntry* entry) {
  if (entry == nullptr) return kXpErrBadArgument;
  const XpIniElement* list = GetOrCreateVTList();
  if (list == nullptr || index < 0 || index >= list->GetCount()) return kXpErrValueNotFound;
  const XpIniElement* element = list->GetAt(index);
  XpString text;
  if (element == nullptr || element->GetString(&text) != kXpOk) return kXpErrValueNotFound;
  const XpStringA narrow = text.ToMultiByte();
  ParseVTEntry(std::string_view(narrow.CStr()), entry);
  return kXpOk;
}

int32_t SfModdXML::GetVTCount() {
  const XpIniElement* list = GetOrCreateVTList();
  return list == nullptr ? -1 : list->GetCount();
}

XpResult SfModdXML::RemoveVTList() {
  XpIniElement* meta = GetMetaData();
  if (meta == nullptr) return kXpErrGeneric;
  const XpString name(kVTListKey);
  if (meta->Find(name) == nullptr) return kXpOk;
  return meta->Remove(name);
}

XpResult SfModdXML::AddAVCHDDivisionInfo(int64_t fileSize, XpAbstractFile* clipFile) {
  XpIniElement* meta = GetMetaData();
  if (meta == nullptr) return kXpErrGeneric;
  if (clipFile == nullptr) return kXpErrBadArgument;
  const XpString listName(kDivisionListKey);
  XpIniElement* list = meta->Find(listName);
  if (list == nullptr) {
    const XpResult created = meta->Add(listName, kXpIniTypeArray);
    if (created != kXpOk) return created;
    list = meta->Find(listName);
  }
  if (list == nullptr || list->GetType() != kXpIniTypeArray) return kXpErrValueNoRoot;
  XpIniElement* entry = nullptr;
  XpResult result = AppendDict(list, &entry);
  if (result != kXpOk) return result;
  result = entry->Add(XpString(kFileSizeKey), kXpIniTypeInt, fileSize);
  if (result == kXpOk) result = entry->Add(XpString(kClipInfoKey), kXpIniTypeMemChunk);
  if (result == kXpOk) {
    XpIniElement* chunk = entry->Find(XpString(kClipInfoKey));
    result =
        chunk == nullptr ? kXpErrGeneric : chunk->SetMemChunk(clipFile, 0, XpIniMemChunk::kToEnd);
  }
  if (result != kXpOk) (void)list->RemoveAt(list->GetCount() - 1);
  return result;
}

int32_t SfModdXML::GetAVCHDDivisionInfoCount() const {
  const XpIniElement* list = FindArray(GetMetaData(), kDivisionListKey);
  return list == nullptr ? 0 : list->GetCount();
}

XpIniElement* SfModdXML::GetAVCHDDivisionInfo(int32_t index) const {
  return DictAt(FindArray(GetMetaData(), kDivisionListKey), index);
}

XpResult SfModdXML::GetAVCHDDivisionInfo(int32_t index, int64_t* fileSize,
                                         XpAbstractFile* destination) const {
  if (fileSize == nullptr || destination == nullptr) return kXpErrBadArgument;
  const XpIniElement* entry = GetAVCHDDivisionInfo(index);
  const XpIniElement* size = FindOfType(entry, kFileSizeKey, kXpIniTypeInt);
  const XpIniElement* chunk = FindOfType(entry, kClipInfoKey, kXpIniTypeMemChunk);
  if (size == nullptr || chunk == nullptr) return kXpErrValueNotFound;
  const XpResult read = size->GetInt64(fileSize);
  if (read != kXpOk) return read;
  return chunk->GetMemChunk(destination);
}

XpResult SfModdXML::SetGroupType(const XpString& type) {
  XpIniElement* meta = GetMetaData();
  if (meta == nullptr) return kXpErrGeneric;
  const XpString name(kGroupTypeKey);
  const XpIniElement* existing = meta->Find(name);
  if (existing == nullptr) return meta->Add(name, kXpIniTypeString, type);
  XpString stored;
  if (existing->GetType() != kXpIniTypeString || existing->GetString(&stored) != kXpOk) {
    return kXpErrValueNoRoot;
  }
  return stored == type ? kXpOk : kXpErrValueKeyExists;
}

XpResult SfModdXML::AddGroupFile(const XpString& path, const XpString& checkCode,
                                 int64_t fileSize) {
  XpIniElement* meta = GetMetaData();
  if (meta == nullptr) return kXpErrGeneric;
  if (path.IsEmpty()) return kXpErrValueUnknownType;
  XpResult result = SetGroupType(XpString(kGroupTypeDivision));
  if (result != kXpOk) return result;
  const XpString listName(kGroupFileListKey);
  XpIniElement* list = meta->Find(listName);
  if (list == nullptr) {
    result = meta->Add(listName, kXpIniTypeArray);
    if (result != kXpOk) return result;
    list = meta->Find(listName);
  }
  if (list == nullptr || list->GetType() != kXpIniTypeArray) return kXpErrValueNoRoot;
  XpIniElement* entry = nullptr;
  result = AppendDict(list, &entry);
  if (result != kXpOk) return result;
  result = entry->Add(XpString(kFilePathKey), kXpIniTypeString, path);
  if (result == kXpOk) result = entry->Add(XpString(kCheckCodeKey), kXpIniTypeString, checkCode);
  if (result == kXpOk) result = entry->Add(XpString(kFileSizeKey), kXpIniTypeInt, fileSize);
  if (result != kXpOk) (void)list->RemoveAt(list->GetCount() - 1);
  return result;
}

XpIniElement* SfModdXML::GetGroupFileList() const {
  const XpIniElement* meta = GetMetaData();
  if (meta == nullptr) return nullptr;
  const XpIniElement* holder = meta;
  if (meta->Find(XpString(kGroupFileListKey)) == nullptr) {
    holder = DictAt(FindArray(this, kMetaDataListKey), kSecondMetaDataIndex);
  }
  return FindArray(holder, kGroupFileListKey);
}

int32_t SfModdXML::GetGroupFileCount() const {
  const XpIniElement* list = GetGroupFileList();
  return list == nullptr ? 0 : list->GetCount();
}

XpIniElement* SfModdXML::GetGroupFile(int32_t index) const {
  return DictAt(GetGroupFileList(), index);
}

XpResult SfModdXML::GetGroupFile(int32_t index, XpString* path, XpString* checkCode,
                                 int64_t* fileSize) const {
  if (path == nullptr || checkCode == nullptr || fileSize == nullptr) return kXpErrBadArgument;
  const XpIniElement* entry = GetGroupFile(index);
  const XpIniElement* pathElement = FindOfType(entry, kFilePathKey, kXpIniTypeString);
  const XpIniElement* codeElement = FindOfType(entry, kCheckCodeKey, kXpIniTypeString);
  const XpIniElement* sizeElement = FindOfType(entry, kFileSizeKey, kXpIniTypeInt);
  if (pathElement == nullptr || codeElement == nullptr || sizeElement == nullptr) {
    return kXpErrValueNotFound;
  }
  XpResult result = pathElement->GetString(path);
  if (result != kXpOk) return result;
  result = codeElement->GetString(checkCode);
  if (result != kXpOk) return result;
  return sizeElement->GetInt64(fileSize);
}

XpResult SfModdXML::SetFavoriteList(const std::vector<int32_t>& favorites, bool overwrite) {
  XpIniElement* list = nullptr;
  const XpResult prepared = PrepareList(GetMetaData(), kFavoriteListKey, overwrite, &list);
  if (prepared != kXpOk) return prepared;
  for (const int32_t favorite : favorites) {
    const XpResult added = list->InsertAt(XpIniArray::kAppend, kXpIniTypeInt, favorite);
    if (added != kXpOk) return added;
  }
  return kXpOk;
}

std::vector<int32_t> SfModdXML::GetFavoriteList() const {
  std::vector<int32_t> favorites;
  const XpIniElement* list = FindArray(GetMetaData(), kFavoriteListKey);
  if (list == nullptr) return favorites;
  for (int32_t index = 0; index < list->GetCount(); ++index) {
    const XpIniElement* element = list->GetAt(index);
    int32_t value = 0;
    if (element != nullptr && element->GetInt32(&value) == kXpOk) favorites.push_back(value);
  }
  return favorites;
}

XpResult SfModdXML::SetLabelList(const XpStringVector& labels, bool overwrite) {
  XpIniElement* list = nullptr;
  const XpResult prepared = PrepareList(GetMetaData(), kLabelListKey, overwrite, &list);
  if (prepared != kXpOk) return prepared;
  for (const XpString& label : labels) {
    const XpResult added = list->InsertAt(XpIniArray::kAppend, kXpIniTypeString, label);
    if (added != kXpOk) return added;
  }
  return kXpOk;
}

XpStringVector SfModdXML::GetLabelList() const {
  XpStringVector labels;
  const XpIniElement* list = FindArray(GetMetaData(), kLabelListKey);
  if (list == nullptr) return labels;
  for (int32_t index = 0; index < list->GetCount(); ++index) {
    const XpIniElement* element = list->GetAt(index);
    XpString label;
    if (element != nullptr && element->GetString(&label) == kXpOk) labels.push_back(label);
  }
  return labels;
}

XpResult SfModdXML::CalcCheckCode(const XpString& path, XpString* code) {
  if (code == nullptr) return kXpErrBadArgument;
  if (XpGetFileSize(path.CStr()) <= 0) return kXpErrGeneric;
  XpFile file(path);
  const XpResult opened = file.Open(kXpOpenRead);
  if (opened != kXpOk) return opened;
  // Bytes past the end of a shorter file stay zero.
  uint8_t bytes[kCheckCodeBytes] = {};
  uint64_t done = 0;
  const XpResult read = file.Read(bytes, sizeof(bytes), &done);
  (void)file.Close();
  if (read != kXpOk && read != kXpErrEndOfFile) return read;
  uint32_t folded = 0;
  for (size_t offset = 0; offset < sizeof(bytes); offset += sizeof(uint32_t)) {
    folded ^= XpLoadLittle32(bytes + offset);
  }
  return code->Format(u"%08X", folded);
}
