#include "accessor/task/K2ExifTagHelper.h"

#include <new>

#include "imaging/io/XpImageIo.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tags/XpTiffTagFormat.h"
#include "imaging/tags/XpTiffTagIds.h"

namespace {

bool HasTree(const XpSharedPtr<XpTiffTagManager>& tags) {
  return tags && tags->GetRoot() != nullptr;
}

// IFD 0 of the tree, appended when the root has none.
XpTiffTagIFD* GetOrCreateIFD0(XpTiffTagManager& tags) {
  if (tags.GetIFDCount() > 0) {
    return tags.GetIFD(0);
  }
  auto* ifd = new (std::nothrow) XpTiffTagIFD();
  if (ifd != nullptr) {
    tags.GetRoot()->AddIFD(ifd);
  }
  return ifd;
}

}  // namespace

XpSharedPtr<XpTiffTagManager> NewTagManager() {
  auto* tags = new (std::nothrow) XpTiffTagManager();
  if (tags == nullptr) {
    return XpSharedPtr<XpTiffTagManager>();
  }
  XpSharedPtr<XpTiffTagManager> holder(tags);
  if (!tags->Reset()) {
    return XpSharedPtr<XpTiffTagManager>();
  }
  tags->SetByteOrder(kXpByteOrderLittleEndian);
  return holder;
}

XpTiffTagIFD* GetOrCreateExifIFD(XpSharedPtr<XpTiffTagManager>& tags) {
  if (!HasTree(tags)) {
    tags = NewTagManager();
    if (!HasTree(tags)) {
      return nullptr;
    }
  }
  XpTiffTagIFD* ifd0 = GetOrCreateIFD0(*tags);
  if (ifd0 == nullptr) {
    return nullptr;
  }
  XpTiffTagDataBase* found = ifd0->FindTag(kXpTiffTagExifIFD, false);
  auto* pointer =
      found != nullptr && found->IsSubIFD() ? static_cast<XpTiffTagDataIFD*>(found) : nullptr;
  if (pointer == nullptr) {
    pointer = XpTiffTagDataIFD::Create(kXpTiffTagExifIFD, 0);
    if (pointer == nullptr) {
      return nullptr;
    }
    ifd0->SetEntry(pointer);
  }
  if (pointer->GetIFDCount() == 0) {
    auto* exif = new (std::nothrow) XpTiffTagIFD();
    if (exif == nullptr) {
      return nullptr;
    }
    pointer->AddIFD(exif);
  }
  return pointer->GetIFD(0);
}

XpResult K2ExifTagHelper::EnsureDateTimeOriginal(const XpString& sourcePath, const XpDateTime& date,
                                                 XpSharedPtr<XpTiffTagManager>& tags) const {
  tags = XpImageIoReadTagsForPath(sourcePath);
  if (!date.IsValid()) {
    return kXpOk;
  }
  XpTiffTagIFD* exif = HasTree(tags) ? tags->GetExifIFD() : nullptr;
  if (exif == nullptr) {
    exif = GetOrCreateExifIFD(tags);
  }
  if (exif == nullptr) {
    return kXpErrOutOfMemory;
  }
  if (exif->FindTag(kTagDateTimeOriginal, false) != nullptr) {
    return kXpOk;
  }
  const XpStringA text = XpTiffTagFormatDateTime(date);
  if (exif->SetAscii(kTagDateTimeOriginal, text.CStr(), text.GetLength() + 1) < 0) {
    return kXpErrOutOfMemory;
  }
  return kXpOk;
}

bool TagsHaveIFD0(const XpTiffTagManager* tags) {
  return tags != nullptr && tags->GetIFD(0) != nullptr;
}

bool TagsHaveIFD1(const XpTiffTagManager* tags) {
  return tags != nullptr && tags->GetIFD(1) != nullptr;
}

bool TagsHaveExifIFD(const XpTiffTagManager* tags) {
  return tags != nullptr && tags->GetExifIFD() != nullptr;
}

bool FileHasIFD0(const XpString& path) {
  return TagsHaveIFD0(XpImageIoReadTagsForPath(path).Get());
}

bool FileHasThumbnailIFD(const XpString& path) {
  return TagsHaveIFD1(XpImageIoReadTagsForPath(path).Get());
}

bool JpegHasTags(const XpString& path) {
  XpImageIoJpeg reader;
  const XpSharedPtr<XpTiffTagManager> tags = reader.ReadTagsFromPath(path);
  return HasTree(tags) && tags->HasIFDs();
}
