#pragma once

#include "platform/text/XpString.h"

// Network volumes, told by the type of the mount that holds a path.

// nfs, nfs4, cifs, smb3, smbfs, ceph, glusterfs, afs, fuse.sshfs,
// fuse.rclone, davfs, fuse.gvfsd-fuse.
bool XpIsNetworkFileSystemType(const XpString& type);

// The mount that holds path (links resolved where the path exists) has a
// network file-system type.
bool XpIsNetworkPath(const XpString& path);
