#pragma once

#include "framework/notify/XfObject.h"
#include "platform/text/XpString.h"

// The payload of the notification that names the file being copied: the
// picture to show, the album name and the leaf name of the content's first
// file.
class K2ObjectForNotification : public XfObject {
 public:
  K2ObjectForNotification(const XpString& pictureFile, const XpString& albumName,
                          const XpString& fileName)
      : pictureFile_(pictureFile), albumName_(albumName), fileName_(fileName) {}

  const XpString& GetPictureFile() const { return pictureFile_; }
  const XpString& GetAlbumName() const { return albumName_; }
  const XpString& GetFileName() const { return fileName_; }

 private:
  const XpString pictureFile_;
  const XpString albumName_;
  const XpString fileName_;
};
