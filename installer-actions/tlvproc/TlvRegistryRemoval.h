#pragma once

#include <cstdint>

#include "installer-actions/common/InstallerCommonFunction.h"
#include "platform/registry/XpRegistryStore.h"
#include "platform/text/XpString.h"

// The removal's registry routines on one root; each returns a Win32 code.
class TlvRegistryRemoval {
 public:
  explicit TlvRegistryRemoval(InstallerCommonFunction& common, XpRegistryRoot root = XpRegistryRoot::kLocalMachine)
      : common_(common), root_(root) {}

  // Deletes the key and every key below it, except keys whose own name
  // holds the protected text (case-sensitive); a kept key keeps its
  // parents. 1010 for an empty name or a protected one.
  uint32_t DeleteRegistryTree(const XpString& subkey, const XpString& protectedText = XpString());
  // Deletes every value of the key whose name is not kept (case-sensitive);
  // the last result, 1010 for an empty name.
  uint32_t DeleteValuesExcept(const XpString& subkey, const XpStringVector& kept);
  uint32_t DeleteAllValues(const XpString& subkey);
  // DeleteRegistryTree when the key has no subkey, else kNotFound.
  uint32_t DeleteTreeIfLeaf(const XpString& subkey);

 private:
  uint32_t DeleteTreeBelow(const XpString& path, const XpString& name, const XpString& protectedText);

  InstallerCommonFunction& common_;
  XpRegistryRoot root_;
};
