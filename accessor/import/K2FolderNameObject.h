#pragma once

#include <cstdint>

#include "platform/text/XpString.h"

// One album met while an import queue is built: the destination folder
// chosen for it (full path with its trailing '/') and the album's id, so
// that the album's other contents go into the same folder.
class K2FolderNameObject {
 public:
  K2FolderNameObject(const XpString& folderPath, int32_t albumId)
      : folderPath_(folderPath), albumId_(albumId) {}

  const XpString& GetFolderPath() const { return folderPath_; }
  int32_t GetAlbumId() const { return albumId_; }

 private:
  XpString folderPath_;
  int32_t albumId_ = 0;
};
