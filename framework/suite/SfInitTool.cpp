#include "framework/suite/SfInitTool.h"

#include <algorithm>
#include <limits>

#include "platform/fs/XpFileOperations.h"
#include "platform/path/XpPath.h"
#include "platform/registry/XpRegistry.h"
#include "platform/registry/XpRegistryStore.h"

namespace {

constexpr const char16_t* kMakerKeyName = u"Kavo Corporation";
constexpr const char16_t* kAppKeyFormat = u"Software\\%s\\%s";
constexpr const char16_t* kInitToolKeyName = u"InitTool";
constexpr const char16_t* kInitToolVersion = u"1.0";
constexpr const char16_t* kRenameList = u"Rename";
constexpr const char16_t* kDeleteList = u"Delete";
constexpr const char16_t* kMusicTransferKeyName = u"MusicTransfer";
constexpr const char16_t* kK1AccessorKeyName = u"K1Accessor";
constexpr const char16_t* kRegisteredFoldersPath = u"Browser\\1.0\\RegisteredFolders";
constexpr const char16_t* kImportDestDirPath = u"Importer\\DCF\\1.0\\DestDir";
constexpr char16_t kKeySeparator = u'\\';
constexpr char16_t kPathSeparator = u'/';
constexpr char16_t kNumberSeparator = u'_';
constexpr char16_t kDot = u'.';
constexpr int32_t kMinCharsBeforeNumber = 2;
constexpr int32_t kDecimalBase = 10;
constexpr uint32_t kUser = XpRegistry::kRootCurrentUser;
constexpr uint32_t kReadWrite = XpRegistry::kAccessRead | XpRegistry::kAccessWrite;

XpString JoinKey(const XpString& parent, const XpString& name) {
  XpString path = parent;
  path += kKeySeparator;
  path += name;
  return path;
}

XpString SubkeyPath(const XpString& programKeyName, const XpString& subkeyName) {
  return JoinKey(SfInitToolGetKeyPath(programKeyName), subkeyName);
}

XfRegistryKey OpenUserKey(const XpString& path, uint32_t access) {
  return XfRegistryKey(XpRegistry::OpenNew(path, kUser, access));
}

// Where the leaf name of path begins.
int32_t LeafStart(const XpString& path) { return path.ReverseFind(kPathSeparator) + 1; }

// The index of the last '.' of the leaf name; -1 when it has none.
int32_t LastDotOfLeaf(const XpString& path) {
  const int32_t dot = path.ReverseFind(kDot);
  return dot >= LeafStart(path) ? dot : -1;
}

bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }

bool IsAbsolutePath(const XpString& path) {
  return !path.IsEmpty() && path.CStr()[0] == kPathSeparator;
}

// The key path with '/' read as '\' and a trailing '\'.
XpString ComparableKeyPath(const XpString& path) {
  XpString result = path;
  result.Replace(u"/", u"\\");
  if (result.IsEmpty() || result.CStr()[result.GetLength() - 1] != kKeySeparator) {
    result += kKeySeparator;
  }
  return result;
}

bool IsKeyPathPrefixEitherWay(const XpString& a, const XpString& b) {
  const XpString first = ComparableKeyPath(a);
  const XpString second = ComparableKeyPath(b);
  const int32_t length = std::min(first.GetLength(), second.GetLength());
  return first.Left(length).CompareNoCase(second.Left(length).CStr()) == 0;
}

// Moves source to target; when that fails, deletes a file at target and
// tries once more. Failures are not reported.
void MoveReplacing(const XpString& source, const XpString& target) {
  if (XpSucceeded(XpMovePath(source, target, false, nullptr))) return;
  if (XpFailed(XpDeleteFile(target))) return;
  (void)XpMovePath(source, target, false, nullptr);
}

void RenameListed(const XpStringVector& entries) {
  for (size_t i = entries.size(); i-- > 0;) {
    const XpString& source = entries[i];
    if (!IsAbsolutePath(source)) continue;
    XpString target = source;
    SfInitToolSetNumber(&target, static_cast<int32_t>(i + 1));
    // A leaf such as ".jpg" keeps its name: moving it onto itself would
    // end in deleting it.
    if (target == source) continue;
    MoveReplacing(source, target);
  }
}

void DeleteListed(const XpStringVector& entries) {
  for (size_t i = entries.size(); i-- > 0;) {
    if (IsAbsolutePath(entries[i])) (void)XpDeleteFile(entries[i]);
  }
}

}  // namespace

XpString SfInitToolGetAppKeyPath(const XpString& programKeyName) {
  XpString path;
  if (XpFailed(path.Format(kAppKeyFormat, kMakerKeyName, programKeyName))) return XpString();
  return path;
}

XpString SfInitToolGetKeyPath(const XpString& programKeyName) {
  return JoinKey(JoinKey(SfInitToolGetAppKeyPath(programKeyName), kInitToolKeyName),
                 kInitToolVersion);
}

XfRegistryKey SfInitToolOpenKey(const XpString& programKeyName, const XpString& subkeyName) {
  return OpenUserKey(SubkeyPath(programKeyName, subkeyName), kReadWrite);
}

[[nodiscard]] XpResult SfInitToolAddListEntry(const XpString& programKeyName,
                                              const XpString& subkeyName, const XpString& listName,
                                              const XpString& value) {
  const XfRegistryKey key = SfInitToolOpenKey(programKeyName, subkeyName);
  if (key == nullptr) return kXpErrGeneric;
  XpStringVector list = key->QueryStringList(listName, {});
  if (std::find(list.begin(), list.end(), value) != list.end()) return kXpOk;
  list.push_back(value);
  return key->SetStringList(listName, list);
}

[[nodiscard]] XpResult SfInitToolGetList(const XpString& programKeyName, XpStringVector* list,
                                         const XpString& subkeyName, const XpString& listName) {
  if (list == nullptr) return kXpOk;
  const XfRegistryKey key = SfInitToolOpenKey(programKeyName, subkeyName);
  if (key == nullptr) return kXpOk;
  const XpStringVector entries = key->QueryStringList(listName, {});
  list->insert(list->end(), entries.begin(), entries.end());
  return kXpOk;
}

[[nodiscard]] XpResult SfInitToolRunRenameAndDelete(const XpString& programKeyName,
                                                    const XpString& subkeyName) {
  const XpString path = SubkeyPath(programKeyName, subkeyName);
  {
    // Read only: a missing subkey has nothing to do and is not made.
    const XfRegistryKey key = OpenUserKey(path, XpRegistry::kAccessRead);
    if (key != nullptr) {
      RenameListed(key->QueryStringList(kRenameList, {}));
      DeleteListed(key->QueryStringList(kDeleteList, {}));
    }
  }
  return XpRegistry::DeleteKeyTree(path, kUser);
}

int32_t SfInitToolGetNumber(const XpString& fileName) {
  const int32_t dot = LastDotOfLeaf(fileName);
  if (dot < 0) return 0;
  const int32_t leafStart = LeafStart(fileName);
  int32_t first = dot;
  while (first > leafStart && IsDigit(fileName.CStr()[first - 1])) --first;
  if (first == dot || first - leafStart < kMinCharsBeforeNumber) return 0;
  int64_t number = 0;
  for (int32_t i = first; i < dot; ++i) {
    number = number * kDecimalBase + (fileName.CStr()[i] - u'0');
    if (number > std::numeric_limits<int32_t>::max()) return 0;
  }
  return static_cast<int32_t>(number);
}

void SfInitToolSetNumber(XpString* fileName, int32_t number) {
  if (fileName == nullptr) return;
  const int32_t dot = LastDotOfLeaf(*fileName);
  if (dot >= 0 && dot == LeafStart(*fileName)) return;
  XpString digits;
  if (XpFailed(digits.Format(u"%d", number))) return;
  XpString suffix;
  suffix += kNumberSeparator;
  suffix += digits;
  if (dot < 0) {
    *fileName += suffix;
    return;
  }
  *fileName = fileName->Left(dot) + suffix + fileName->Mid(dot);
}

bool SfInitToolIsInList(const XpStringVector& keyPaths, const XpString& keyPath) {
  return std::any_of(keyPaths.begin(), keyPaths.end(), [&](const XpString& listed) {
    return IsKeyPathPrefixEitherWay(listed, keyPath);
  });
}

void SfInitToolCleanKeyTree(const XpString& keyPath, const XpStringVector& keep) {
  const XfRegistryKey key = OpenUserKey(keyPath, XpRegistry::kAccessRead);
  if (key == nullptr) return;

  XpStringVector subkeys;
  XpStringVector doomedSubkeys;
  if (XpSucceeded(key->EnumSubkeys(&subkeys))) {
    for (const XpString& name : subkeys) {
      const XpString path = JoinKey(keyPath, name);
      if (SfInitToolIsInList(keep, path)) {
        SfInitToolCleanKeyTree(path, keep);
      } else {
        doomedSubkeys.push_back(path);
      }
    }
  }
  for (const XpString& path : doomedSubkeys) (void)XpRegistry::DeleteKeyTree(path, kUser);

  XpStringVector values;
  if (XpFailed(key->EnumValues(&values))) return;
  XpRegistryStore& store = XpRegistryStore::ForRoot(XpRegistryRoot::kCurrentUser);
  for (const XpString& name : values) {
    if (SfInitToolIsInList(keep, JoinKey(keyPath, name))) continue;
    // By key and name: a value name may hold '\', which a full path would
    // read as one more key level.
    (void)store.DeleteValue(key->GetPath(), name);
  }
}

[[nodiscard]] XpResult SfInitToolResetSettings(const XpString& programKeyName, bool keepFolders) {
  const XpString appKey = SfInitToolGetAppKeyPath(programKeyName);
  XpStringVector keep = {
      JoinKey(appKey, kInitToolKeyName),
      JoinKey(appKey, kMusicTransferKeyName),
      JoinKey(appKey, kK1AccessorKeyName),
  };
  if (!keepFolders) {
    keep.push_back(JoinKey(appKey, kRegisteredFoldersPath));
    keep.push_back(JoinKey(appKey, kImportDestDirPath));
  }
  SfInitToolCleanKeyTree(appKey, keep);
  return kXpOk;
}
