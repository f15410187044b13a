#include "accessor/app/K2RequiredFiles.h"

#include "platform/path/XpPath.h"
#include "platform/fs/XpPathQueries.h"

XpStringVector K2DefaultRequiredFiles() {
  XpStringVector names;
  for (const char16_t* name : kK2RequiredFiles) {
    names.emplace_back(name);
  }
  return names;
}

std::optional<XpString> K2FindMissingRequiredFile(const XpString& folder, const XpStringVector& names) {
  for (const XpString& name : names) {
    XpString path = XpPathJoin(folder, name);
    if (!XpFileExists(path)) {
      return path;
    }
  }
  return std::nullopt;
}
