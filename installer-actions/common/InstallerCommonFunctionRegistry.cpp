#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/common/InstallerError.h"
#include "platform/registry/XpRegistryTree.h"

namespace {

constexpr const char16_t* kEveryone = u"EVERYONE";
constexpr uint32_t kFullAccess = 0x1F01FF;
constexpr uint32_t kBytesPerUnit = 2;
constexpr int kBitsPerByte = 8;

// Numbers the log shows for open keys, counted per process.
std::atomic<uint32_t> gNextKeyHandle{1};

XpRegistryStore& Store(XpRegistryRoot root) { return XpRegistryStore::ForRoot(root); }

uint32_t CodeOf(XpResult result) { return InstallerErrorFromResult(result).code; }

bool IsTextType(uint32_t type) { return type == kXpRegSz || type == kXpRegExpandSz || type == kXpRegMultiSz; }

size_t TrailingNulUnits(const std::vector<uint8_t>& bytes) {
  size_t count = 0;
  for (size_t end = bytes.size() - bytes.size() % kBytesPerUnit; end >= kBytesPerUnit; end -= kBytesPerUnit) {
    if (bytes[end - 2] != 0 || bytes[end - 1] != 0) break;
    ++count;
  }
  return count;
}

// The data as a reader gets it: a text ends with its terminator (a list of
// texts with two), added when the store holds it without.
std::vector<uint8_t> WithTerminator(uint32_t type, std::vector<uint8_t> bytes) {
  if (!IsTextType(type)) return bytes;
  if (bytes.size() % kBytesPerUnit != 0) bytes.push_back(0);
  const size_t wanted = type == kXpRegMultiSz ? 2 : 1;
  for (size_t have = TrailingNulUnits(bytes); have < wanted; ++have) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// The data as the log shows it: texts up to their first NUL, a DWORD in
// decimal, anything else in hex.
XpString DisplayData(uint32_t type, const uint8_t* bytes, size_t size) {
  XpString text;
  if (bytes == nullptr) return text;
  if (IsTextType(type)) {
    for (size_t i = 0; i + 1 < size; i += kBytesPerUnit) {
      const char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << kBitsPerByte));
      if (unit == u'\0') break;
      text += unit;
    }
    return text;
  }
  if (type == kXpRegDword && size == sizeof(uint32_t)) {
    uint32_t number = 0;
    for (size_t i = 0; i < size; ++i) number |= static_cast<uint32_t>(bytes[i]) << (i * kBitsPerByte);
    (void)text.Format(u"%u", number);
    return text;
  }
  for (size_t i = 0; i < size; ++i) (void)text.AppendFormat(u"%02x", bytes[i]);
  return text;
}

}  // namespace

uint32_t InstallerCommonFunction::OpenKey(XpRegistryRoot root, const XpString& subkey, uint32_t* handleNumber) {
  *handleNumber = 0;
  if (subkey.IsEmpty()) return kWin32BadKey;
  XpStringVector names;
  const uint32_t code = CodeOf(Store(root).EnumValues(subkey, &names));
  if (code == kWin32Success) *handleNumber = gNextKeyHandle++;
  return code;
}

uint32_t InstallerCommonFunction::SetRegistryValue(const XpString& subkey, const XpString& valueName,
                                                   uint32_t type, const void* data, uint32_t size) {
  XpRegistryStore& store = Store(XpRegistryRoot::kLocalMachine);
  uint32_t handle = 0;
  uint32_t result = subkey.IsEmpty() ? kWin32BadKey : CodeOf(store.CreateKey(subkey));
  if (result == kWin32Success) handle = gNextKeyHandle++;
  XpString message;
  (void)message.Format(u"RegCreateKeyEx Return: %d\nUse Path: %s\nKey Hundle: %d", result, subkey, handle);
  Log(message, u"Registry Open Result");
  if (result != kWin32Success) return result;

  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  if (bytes == nullptr && size > 0) {
    result = kWin32InvalidParameter;
  } else {
    result = CodeOf(store.SetValue(subkey, valueName, type, std::vector<uint8_t>(bytes, bytes + size)));
  }
  (void)message.Format(u"RegSetValueEx Return: %d\nSet Data: %s\nSet Data Size: %d", result,
                       DisplayData(type, bytes, size), size);
  Log(message, u"Registry Set Result");
  return result;
}

uint32_t InstallerCommonFunction::SetRegistryValueList(const std::vector<InstallerRegistryRow>& rows) {
  for (const InstallerRegistryRow& row : rows) {
    const uint32_t result = SetRegistryValue(row.subkey, row.valueName, row.type, row.data, row.size);
    if (result != kWin32Success) return result;
  }
  return kWin32Success;
}

uint32_t InstallerCommonFunction::QueryRegistryValue(XpRegistryRoot root, const XpString& subkey,
                                                     const XpString& valueName, uint32_t* type, void* data,
                                                     uint32_t* size) {
  uint32_t handle = 0;
  uint32_t result = OpenKey(root, subkey, &handle);
  XpString message;
  (void)message.Format(u"RegOpenKeyEx Return: %d\nUse Path: %s\nKey Hundle: %d", result, subkey, handle);
  Log(message, u"Registry Open Result");
  if (result != kWin32Success) return result;

  uint32_t storedType = kXpRegNone;
  std::vector<uint8_t> bytes;
  bool insufficient = false;
  if (size == nullptr && data != nullptr) {
    result = kWin32InvalidParameter;
  } else {
    result = CodeOf(Store(root).QueryValue(subkey, valueName, &storedType, &bytes));
  }
  if (result == kWin32Success) {
    bytes = WithTerminator(storedType, std::move(bytes));
    if (type != nullptr) *type = storedType;
    const uint32_t needed = static_cast<uint32_t>(bytes.size());
    // A value that does not fit is never handed out in part.
    insufficient = data != nullptr && *size < needed;
    if (insufficient) {
      result = kWin32MoreData;
    } else if (data != nullptr) {
      std::memcpy(data, bytes.data(), bytes.size());
    }
    if (size != nullptr) *size = needed;
  }
  const bool shown = result == kWin32Success && data != nullptr;
  (void)message.Format(u"RegQueryValueEx Return: %d\nQuery Data: %s\nQuery Data Size: %d\nInsuffisient: %d",
                       result, DisplayData(storedType, shown ? bytes.data() : nullptr, bytes.size()),
                       size != nullptr ? *size : 0u, insufficient ? 1 : 0);
  Log(message, u"Registry Query Result");
  return result;
}

uint32_t InstallerCommonFunction::QueryLocalMachineValue(const XpString& subkey, const XpString& valueName,
                                                         uint32_t* type, void* data, uint32_t* size) {
  return QueryRegistryValue(XpRegistryRoot::kLocalMachine, subkey, valueName, type, data, size);
}

uint32_t InstallerCommonFunction::QueryClassesRootValue(const XpString& subkey, const XpString& valueName,
                                                        uint32_t* type, void* data, uint32_t* size) {
  return QueryRegistryValue(XpRegistryRoot::kClassesRoot, subkey, valueName, type, data, size);
}

uint32_t InstallerCommonFunction::DeleteRegistryKey(const XpString& subkey) {
  SetInstallerLastError(InstallerError{});
  const InstallerError error = subkey.IsEmpty()
                                   ? InstallerErrorWithoutErrno(kWin32BadKey)
                                   : InstallerErrorFromResult(Store(XpRegistryRoot::kLocalMachine).DeleteKey(subkey));
  SetInstallerLastError(error);
  Log(InstallerSystemMessage(GetInstallerLastError()), u"checkInvalidPathString");
  return error.code;
}

uint32_t InstallerCommonFunction::DeleteRegistryValueList(const std::vector<InstallerRegistryRow>& rows) {
  for (const InstallerRegistryRow& row : rows) {
    uint32_t handle = 0;
    uint32_t result = OpenKey(XpRegistryRoot::kLocalMachine, row.subkey, &handle);
    if (result == kWin32Success) {
      result = CodeOf(Store(XpRegistryRoot::kLocalMachine).DeleteValue(row.subkey, row.valueName));
    }
    XpString message;
    (void)message.Format(u"Return Code: %d\nReg Key: %s\nReg Name: %s", result, row.subkey, row.valueName);
    Log(message, u"DeleteRegistryValueList");
    if (result != kWin32Success) return result;
  }
  return kWin32Success;
}

uint32_t InstallerCommonFunction::DeleteRegistryValue(const XpString& subkey, const XpString& valueName) {
  if (subkey.IsEmpty()) return kWin32BadKey;
  return CodeOf(Store(XpRegistryRoot::kLocalMachine).DeleteValue(subkey, valueName));
}

uint32_t InstallerCommonFunction::ChangeRegistrySecurityEveryOne(XpRegistryRoot root, const XpString& subkey) {
  uint32_t handle = 0;
  uint32_t result = OpenKey(root, subkey, &handle);
  if (result != kWin32Success) {
    std::fprintf(stderr, "RegOpenKeyEx error! (rc=%lu)\n", static_cast<unsigned long>(result));
    return result;
  }
  std::vector<XpRegGrant> grants;
  result = CodeOf(Store(root).QueryGrants(subkey, &grants));
  if (result != kWin32Success) {
    std::fprintf(stderr, "RegGetKeySecurity error! (rc=%lu)\n", static_cast<unsigned long>(result));
    return result;
  }
  const XpRegGrant everyone{kEveryone, kFullAccess, kXpRegInheritObjects | kXpRegInheritContainers};
  return CodeOf(Store(root).SetGrant(subkey, everyone));
}

bool InstallerCommonFunction::HasSubKey(XpRegistryRoot root, const XpString& subkey) {
  if (subkey.IsEmpty()) return false;
  XpStringVector names;
  return XpSucceeded(Store(root).EnumSubkeys(subkey, &names)) && !names.empty();
}

bool InstallerCommonFunction::HasValue(XpRegistryRoot root, const XpString& subkey) {
  if (subkey.IsEmpty()) return false;
  XpStringVector names;
  return XpSucceeded(Store(root).EnumValues(subkey, &names)) && !names.empty();
}

uint32_t InstallerCommonFunction::OpenRegistryKey(XpRegistryRoot root, const XpString& subkey) {
  uint32_t handle = 0;
  const uint32_t result = OpenKey(root, subkey, &handle);
  XpString message;
  (void)message.Format(u"RegOpenKeyEx Return: %d\nUse Path: %s\nKey Hundle: %d", result, subkey, handle);
  Log(message, u"Registry Open Result");
  return result;
}
