#include "platform/fs/XpNetworkPath.h"

#include "platform/fs/XpFileOpSupport.h"
#include "platform/system/XpMountTable.h"

namespace {

constexpr const char16_t* kNetworkTypes[] = {
    u"nfs",        u"nfs4", u"cifs",       u"smb3",        u"smbfs", u"ceph",
    u"glusterfs",  u"afs",  u"fuse.sshfs", u"fuse.rclone", u"davfs", u"fuse.gvfsd-fuse",
};

}  // namespace

bool XpIsNetworkFileSystemType(const XpString& type) {
  for (const char16_t* network : kNetworkTypes) {
    if (type == network) {
      return true;
    }
  }
  return false;
}

bool XpIsNetworkPath(const XpString& path) {
  XpString resolved = XpFsRealPath(path);
  if (resolved.IsEmpty()) {
    resolved = path;
  }
  XpMountTable table;
  // An unreadable mount table is empty and finds no mount: the path counts as local.
  (void)table.Load();
  const XpMountEntry* mount = table.FindContaining(resolved);
  return mount != nullptr && XpIsNetworkFileSystemType(mount->fileSystemType);
}
