#include "platform/shell/XpSystemFolders.h"

#include <iterator>

#include "platform/path/XpPath.h"

namespace {

constexpr const char16_t* kSystemFolders[] = {u"/bin", u"/boot", u"/dev", u"/etc",  u"/lib",
                                              u"/proc", u"/run", u"/sbin", u"/sys", u"/usr"};

}  // namespace

const std::vector<XpString>& XpSystemFolders() {
  static const std::vector<XpString> folders(std::begin(kSystemFolders), std::end(kSystemFolders));
  return folders;
}

bool XpIsSystemFolder(const XpString& path) {
  for (const XpString& folder : XpSystemFolders()) {
    const int relation = XpPathGetRelation(path, folder);
    if (relation == kXpPathSame || relation == kXpPathInside) return true;
  }
  return false;
}
