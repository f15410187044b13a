#pragma once

#include <cstdint>
#include <memory>

#include "platform/registry/XpRegistry.h"
#include "platform/text/XpString.h"

// The application's registry keys. Paths are relative to the registry base
// and root that the application object holds (XfApplication::
// SetRegistryRoot); without an application every open answers null.

// Closes and frees a key when it goes.
struct XfRegistryKeyCloser {
  void operator()(XpRegistry* key) const { XpRegistry::CloseAndDelete(key); }
};
using XfRegistryKey = std::unique_ptr<XpRegistry, XfRegistryKeyCloser>;

inline constexpr uint32_t kXfRegistryReadWrite =
    XpRegistry::kAccessRead | XpRegistry::kAccessWrite;

// The registry base path joined with subKey (when not empty). With
// useCurrentVersion, the "CurrentVersion" value of that key under the local
// machine, when set, is appended as one more level. The key is then opened
// under root with access; write access creates it when missing. Null when it
// cannot be opened.
XfRegistryKey XfOpenAppRegistryKey(const XpString& subKey, bool useCurrentVersion, uint32_t root,
                                   uint32_t access);
XfRegistryKey XfOpenAppRegistryKeyForWrite(const XpString& subKey, bool useCurrentVersion);
XfRegistryKey XfOpenAppRegistryKeyForRead(const XpString& subKey, bool useCurrentVersion);
XfRegistryKey XfOpenMachineRegistryKeyForRead(const XpString& subKey, bool useCurrentVersion);

// A subkey of the application's root key, for reading and writing (created
// when missing) or for reading; null without an open root key.
XfRegistryKey XfOpenAppRegistrySubKey(const XpString& name);
XfRegistryKey XfOpenAppRegistrySubKeyForRead(const XpString& name);

// When key is not null and holds the value name, store it in out and answer
// true; otherwise answer false and leave out as it was. A list is held as
// the values XpRegistry writes for it.
bool XfRegistryReadDword(const XpRegistry* key, const XpString& name, uint32_t& out);
bool XfRegistryReadBool(const XpRegistry* key, const XpString& name, bool& out);
bool XfRegistryReadString(const XpRegistry* key, const XpString& name, XpString& out);
bool XfRegistryReadStringList(const XpRegistry* key, const XpString& name, XpStringVector& out);
