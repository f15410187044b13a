#include "platform/registry/XpRegistry.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/registry/XpRegistryStore.h"

namespace {

constexpr uint32_t kAccessModeBits = XpRegistry::kAccessRead | XpRegistry::kAccessWrite;
constexpr char16_t kKeySeparator = u'\\';
constexpr const char16_t* kCountSuffix = u"Count";
constexpr size_t kDwordSize = sizeof(uint32_t);
constexpr int kBitsPerByte = 8;

XpRegistryStore& StoreFor(uint32_t root) {
  return XpRegistryStore::ForRoot(root == XpRegistry::kRootLocalMachine
                                      ? XpRegistryRoot::kLocalMachine
                                      : XpRegistryRoot::kCurrentUser);
}

// Callers may write '/' where the registry writes '\'.
XpString Backslashed(const XpString& text) {
  XpString result = text;
  result.Replace(u"/", u"\\");
  return result;
}

XpString ListEntryName(const XpString& prefix, size_t index) {
  XpString name;
  (void)name.Format(u"%s%d", prefix, static_cast<int32_t>(index));  // a constant format cannot fail
  return name;
}

XpString TextFromData(const std::vector<uint8_t>& data) {
  std::u16string text;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << kBitsPerByte));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return XpString(text);
}

std::vector<uint8_t> DataFromText(const XpString& text) {
  std::vector<uint8_t> data;
  for (char16_t unit : text.View()) {
    data.push_back(static_cast<uint8_t>(unit));
    data.push_back(static_cast<uint8_t>(unit >> kBitsPerByte));
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

}  // namespace

XpRegistry::~XpRegistry() {
  (void)Close();  // fails only for a key that is not open
}

XpResult XpRegistry::Open(const XpString& path, uint32_t root, uint32_t access) {
  if (open_) (void)Close();  // an open key always closes
  if ((access & kAccessModeBits) == 0) return kXpErrGeneric;
  const XpString keyPath = Backslashed(path);
  XpRegistryStore& store = StoreFor(root);
  const bool opened = (access & kAccessWrite) != 0 ? XpSucceeded(store.CreateKey(keyPath))
                                                   : store.KeyExists(keyPath);
  if (!opened) return kXpErrGeneric;
  open_ = true;
  path_ = keyPath;
  root_ = root;
  access_ = access;
  return kXpOk;
}

XpRegistry* XpRegistry::OpenNew(const XpString& path, uint32_t root, uint32_t access) {
  XpRegistry* key = new (std::nothrow) XpRegistry();
  if (key == nullptr) return nullptr;
  if (XpFailed(key->Open(path, root, access))) {
    delete key;
    return nullptr;
  }
  return key;
}

XpRegistry* XpRegistry::OpenSubKey(const XpRegistry* parent, const XpString& name,
                                   uint32_t access) {
  if (parent == nullptr || !parent->IsOpen()) return nullptr;
  XpString path = parent->GetPath();
  path += kKeySeparator;
  path += name;
  return OpenNew(path, parent->GetRoot(), access);
}

void XpRegistry::CloseAndDelete(XpRegistry* key) {
  if (key == nullptr) return;
  (void)key->Close();  // fails only for a key that is not open
  delete key;
}

XpResult XpRegistry::Close() {
  if (!open_) return kXpErrGeneric;
  open_ = false;
  return kXpOk;
}

bool XpRegistry::CanRead() const { return open_ && (access_ & kAccessRead) != 0; }

bool XpRegistry::HasValue(const XpString& name) const {
  if (!CanRead()) return false;
  std::vector<uint8_t> data;
  return XpSucceeded(StoreFor(root_).QueryValue(path_, Backslashed(name), nullptr, &data)) &&
         !data.empty();
}

bool XpRegistry::QueryBool(const XpString& name, bool defaultValue) const {
  return QueryDword(name, defaultValue ? 1 : 0) != 0;
}

uint32_t XpRegistry::QueryDword(const XpString& name, uint32_t defaultValue) const {
  if (!CanRead()) return defaultValue;
  uint32_t type = kXpRegNone;
  std::vector<uint8_t> data;
  if (XpFailed(StoreFor(root_).QueryValue(path_, Backslashed(name), &type, &data))) {
    return defaultValue;
  }
  if (type != kXpRegDword || data.empty() || data.size() > kDwordSize) return defaultValue;
  uint32_t value = 0;
  for (size_t i = 0; i < data.size(); ++i) value |= static_cast<uint32_t>(data[i]) << (i * kBitsPerByte);
  return value;
}

bool XpRegistry::QueryBinary(const XpString& name, void* buffer, uint32_t* size) const {
  if (!CanRead() || buffer == nullptr || size == nullptr) return false;
  uint32_t type = kXpRegNone;
  std::vector<uint8_t> data;
  if (XpFailed(StoreFor(root_).QueryValue(path_, Backslashed(name), &type, &data))) return false;
  if (type != kXpRegBinary || data.size() > *size) return false;
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  *size = static_cast<uint32_t>(data.size());
  return true;
}

XpString XpRegistry::QueryString(const XpString& name, const XpString& defaultValue) const {
  if (!CanRead()) return defaultValue;
  uint32_t type = kXpRegNone;
  std::vector<uint8_t> data;
  if (XpFailed(StoreFor(root_).QueryValue(path_, Backslashed(name), &type, &data)) ||
      type != kXpRegSz) {
    return defaultValue;
  }
  return TextFromData(data);
}

bool XpRegistry::QueryMultiString(const XpString& name, XpStringVector* list) const {
  if (!CanRead() || list == nullptr) return false;
  uint32_t type = kXpRegNone;
  std::vector<uint8_t> data;
  if (XpFailed(StoreFor(root_).QueryValue(path_, Backslashed(name), &type, &data)) ||
      type != kXpRegMultiSz) {
    return false;
  }
  XpStringVector entries;
  std::u16string entry;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << kBitsPerByte));
    if (unit != 0) {
      entry.push_back(unit);
      continue;
    }
    if (entry.empty()) break;
    entries.emplace_back(entry);
    entry.clear();
  }
  if (!entry.empty()) entries.emplace_back(entry);
  *list = std::move(entries);
  return true;
}

XpStringVector XpRegistry::QueryStringList(const XpString& prefix,
                                           const XpStringVector& defaults) const {
  const XpString countName = prefix + kCountSuffix;
  if (!HasValue(countName)) return defaults;
  // A damaged count must not make us read billions of entries: a genuine
  // list cannot be longer than the values the key holds plus the defaults.
  XpStringVector stored;
  // A key that cannot be listed bounds the list by the defaults alone.
  (void)StoreFor(root_).EnumValues(path_, &stored);
  const size_t count = std::min<size_t>(QueryDword(countName, 0), stored.size() + defaults.size());
  XpStringVector list;
  for (size_t i = 0; i < count; ++i) {
    const XpString fallback = i < defaults.size() ? defaults[i] : XpString();
    list.push_back(QueryString(ListEntryName(prefix, i), fallback));
  }
  return list;
}

XpResult XpRegistry::EnumSubkeys(XpStringVector* names) const {
  if (names == nullptr) return kXpErrGeneric;
  names->clear();
  if (!CanRead()) return kXpErrGeneric;
  return XpSucceeded(StoreFor(root_).EnumSubkeys(path_, names)) ? kXpOk : kXpErrGeneric;
}

XpResult XpRegistry::EnumValues(XpStringVector* names) const {
  if (names == nullptr) return kXpErrGeneric;
  names->clear();
  if (!CanRead()) return kXpErrGeneric;
  return XpSucceeded(StoreFor(root_).EnumValues(path_, names)) ? kXpOk : kXpErrGeneric;
}

XpResult XpRegistry::SetMultiString(const XpString& name, const XpStringVector& list) {
  std::vector<uint8_t> data;
  for (const XpString& entry : list) {
    if (entry.IsEmpty()) break;
    const std::vector<uint8_t> bytes = DataFromText(entry);
    data.insert(data.end(), bytes.begin(), bytes.end());
  }
  data.push_back(0);
  data.push_back(0);
  return SetValue(name, kXpRegMultiSz, data.data(), data.size());
}

XpResult XpRegistry::SetValue(const XpString& name, uint32_t type, const void* data,
                              size_t size) {
  if (!open_ || (access_ & kAccessWrite) == 0) return kXpErrGeneric;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  const std::vector<uint8_t> value(bytes, bytes + size);
  const XpResult result = StoreFor(root_).SetValue(path_, Backslashed(name), type, value);
  return XpSucceeded(result) ? kXpOk : kXpErrGeneric;
}

XpResult XpRegistry::SetBool(const XpString& name, bool flag) {
  return SetDword(name, flag ? 1 : 0);
}

XpResult XpRegistry::SetDword(const XpString& name, uint32_t value) {
  uint8_t bytes[kDwordSize];
  for (size_t i = 0; i < kDwordSize; ++i) bytes[i] = static_cast<uint8_t>(value >> (i * kBitsPerByte));
  return SetValue(name, kXpRegDword, bytes, sizeof(bytes));
}

XpResult XpRegistry::SetString(const XpString& name, const XpString& text) {
  const std::vector<uint8_t> data = DataFromText(text);
  return SetValue(name, kXpRegSz, data.data(), data.size());
}

XpResult XpRegistry::SetStringList(const XpString& prefix, const XpStringVector& list) {
  if (!open_) return kXpErrGeneric;
  XpResult result = SetDword(prefix + kCountSuffix, static_cast<uint32_t>(list.size()));
  for (size_t i = 0; i < list.size() && XpSucceeded(result); ++i) {
    result = SetString(ListEntryName(prefix, i), list[i]);
  }
  return result;
}

XpResult XpRegistry::DeleteKeyTree(const XpString& path, uint32_t root) {
  return XpSucceeded(StoreFor(root).DeleteKeyTree(path)) ? kXpOk : kXpErrGeneric;
}

XpResult XpRegistry::DeleteValue(const XpString& fullPath, uint32_t root) {
  const int32_t separator = fullPath.ReverseFind(kKeySeparator);
  const XpString keyPath = separator < 0 ? XpString() : fullPath.Left(separator);
  const XpString name = separator < 0 ? fullPath : fullPath.Mid(separator + 1);
  return XpSucceeded(StoreFor(root).DeleteValue(keyPath, name)) ? kXpOk : kXpErrGeneric;
}
