#include "installer-actions/tlvproc/TlvRegistryRemoval.h"

#include <algorithm>

#include "installer-actions/common/InstallerError.h"

namespace {

uint32_t CodeOf(XpResult result) { return InstallerErrorFromResult(result).code; }

}  // namespace

uint32_t TlvRegistryRemoval::DeleteRegistryTree(const XpString& subkey, const XpString& protectedText) {
  return DeleteTreeBelow(subkey, subkey, protectedText);
}

// path is the key's full path, name the name it was given by: the whole
// subkey at the top, a child's own name below.
uint32_t TlvRegistryRemoval::DeleteTreeBelow(const XpString& path, const XpString& name,
                                             const XpString& protectedText) {
  if (name.IsEmpty()) return kWin32BadKey;
  if (!protectedText.IsEmpty() && name.View().find(protectedText.View()) != std::u16string_view::npos) {
    return kWin32BadKey;
  }
  XpRegistryStore& store = XpRegistryStore::ForRoot(root_);
  XpStringVector children;
  const uint32_t opened = CodeOf(store.EnumSubkeys(path, &children));
  if (opened != kWin32Success) return opened;
  for (const XpString& child : children) {
    // A child that stays keeps this key too; the delete below then fails.
    (void)DeleteTreeBelow(path + u"\\" + child, child, protectedText);
  }
  return CodeOf(store.DeleteKey(path));
}

uint32_t TlvRegistryRemoval::DeleteValuesExcept(const XpString& subkey, const XpStringVector& kept) {
  if (subkey.IsEmpty()) return kWin32BadKey;
  XpRegistryStore& store = XpRegistryStore::ForRoot(root_);
  XpStringVector names;
  uint32_t result = CodeOf(store.EnumValues(subkey, &names));
  if (result != kWin32Success) return result;
  for (const XpString& value : names) {
    if (std::find(kept.begin(), kept.end(), value) != kept.end()) continue;
    result = CodeOf(store.DeleteValue(subkey, value));
  }
  return result;
}

uint32_t TlvRegistryRemoval::DeleteAllValues(const XpString& subkey) { return DeleteValuesExcept(subkey, {}); }

uint32_t TlvRegistryRemoval::DeleteTreeIfLeaf(const XpString& subkey) {
  if (common_.HasSubKey(root_, subkey)) return InstallerCommonFunction::kNotFound;
  return DeleteRegistryTree(subkey);
}
