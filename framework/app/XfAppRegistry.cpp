#include "framework/app/XfAppRegistry.h"

#include "framework/app/XfApplication.h"
#include "platform/path/XpPath.h"

namespace {

constexpr const char16_t* kCurrentVersionValue = u"CurrentVersion";
constexpr const char16_t* kListCountSuffix = u"Count";

XpString AppKeyPath(const XfApplication& application, const XpString& subKey,
                    bool useCurrentVersion) {
  XpString path = application.GetRegistryBasePath();
  if (!subKey.IsEmpty()) {
    path = XpPathJoin(path, subKey);
  }
  if (!useCurrentVersion) {
    return path;
  }
  const XfRegistryKey machine(
      XpRegistry::OpenNew(path, XpRegistry::kRootLocalMachine, XpRegistry::kAccessRead));
  XpString version;
  if (XfRegistryReadString(machine.get(), kCurrentVersionValue, version) && !version.IsEmpty()) {
    path += u"\\";
    path += version;
  }
  return path;
}

}  // namespace

XfRegistryKey XfOpenAppRegistryKey(const XpString& subKey, bool useCurrentVersion, uint32_t root,
                                   uint32_t access) {
  const XfApplication* application = XfGetApplication();
  if (application == nullptr) {
    return XfRegistryKey();
  }
  const XpString path = AppKeyPath(*application, subKey, useCurrentVersion);
  return XfRegistryKey(XpRegistry::OpenNew(path, root, access));
}

XfRegistryKey XfOpenAppRegistryKeyForWrite(const XpString& subKey, bool useCurrentVersion) {
  return XfOpenAppRegistryKey(subKey, useCurrentVersion, XpRegistry::kRootCurrentUser,
                              kXfRegistryReadWrite);
}

XfRegistryKey XfOpenAppRegistryKeyForRead(const XpString& subKey, bool useCurrentVersion) {
  return XfOpenAppRegistryKey(subKey, useCurrentVersion, XpRegistry::kRootCurrentUser,
                              XpRegistry::kAccessRead);
}

XfRegistryKey XfOpenMachineRegistryKeyForRead(const XpString& subKey, bool useCurrentVersion) {
  return XfOpenAppRegistryKey(subKey, useCurrentVersion, XpRegistry::kRootLocalMachine,
                              XpRegistry::kAccessRead);
}

XfRegistryKey XfOpenAppRegistrySubKey(const XpString& name) {
  const XfApplication* application = XfGetApplication();
  if (application == nullptr) {
    return XfRegistryKey();
  }
  return application->OpenRegistryRootSubKey(name, kXfRegistryReadWrite);
}

XfRegistryKey XfOpenAppRegistrySubKeyForRead(const XpString& name) {
  const XfApplication* application = XfGetApplication();
  if (application == nullptr) {
    return XfRegistryKey();
  }
  return application->OpenRegistryRootSubKey(name, XpRegistry::kAccessRead);
}

bool XfRegistryReadDword(const XpRegistry* key, const XpString& name, uint32_t& out) {
  if (key == nullptr || !key->HasValue(name)) {
    return false;
  }
  out = key->QueryDword(name, out);
  return true;
}

bool XfRegistryReadBool(const XpRegistry* key, const XpString& name, bool& out) {
  if (key == nullptr || !key->HasValue(name)) {
    return false;
  }
  out = key->QueryBool(name, out);
  return true;
}

bool XfRegistryReadString(const XpRegistry* key, const XpString& name, XpString& out) {
  if (key == nullptr || !key->HasValue(name)) {
    return false;
  }
  out = key->QueryString(name, out);
  return true;
}

bool XfRegistryReadStringList(const XpRegistry* key, const XpString& name, XpStringVector& out) {
  if (key == nullptr || !key->HasValue(name + kListCountSuffix)) {
    return false;
  }
  out = key->QueryStringList(name, out);
  return true;
}
