#include "imaging/jpeg/XpImageIoJpeg.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "imaging/io/ConvertToAdobeRgb.h"
#include "imaging/io/XpPixmapOrientation.h"
#include "imaging/jpeg/XpJpegCompressRun.h"
#include "imaging/pixelops/XpPixmapYCbCrFromBGR.h"
#include "imaging/pixmap/XpYCbCrConversion.h"
#include "imaging/resample/XpPixmapCrop.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/path/XpPath.h"

namespace {

bool IsUsableBGR(const XpPixmapBase* pixmap) {
  return pixmap != nullptr && pixmap->IsAllocated() && XpPixmapIsBGR24(*pixmap);
}

bool IsUsableYCbCr(const XpPixmapYCbCr444* pixmap) {
  return pixmap != nullptr && pixmap->IsAllocated();
}

const uint8_t* PlaneRow(void* context, int32_t y) {
  return static_cast<const XpPlaneBase*>(context)->Row(y);
}

XpRect ClampToPixmap(const XpRect& region, const XpPixmapBase& pixmap) {
  return XpRect(std::max(region.left, 0), std::max(region.top, 0),
                std::min(region.right, pixmap.width), std::min(region.bottom, pixmap.height));
}


// Copies the profile held in IFD 0 into iccBytes (left empty without one).
[[nodiscard]] XpResult ExtractProfile(const XpTiffTagManager& tags, XpMemoryFile& iccBytes) {
  const XpTiffTagIFD* ifd0 = tags.GetIFD(0);
  const XpTiffTagDataBase* profile =
      ifd0 == nullptr ? nullptr : ifd0->FindTag(kTagInterColorProfile, false);
  if (profile == nullptr || profile->GetByteSize() == 0) {
    return kXpOk;
  }
  if (profile->GetByteSize() > XpJpegCompressRun::kMaxIccSize) {
    return kXpErrImageNotSupported;
  }
  if (XpFailed(iccBytes.Open(kXpOpenReadWrite)) ||
      XpFailed(iccBytes.Write(profile->GetData(), profile->GetByteSize(), nullptr))) {
    return kXpErrOutOfMemory;
  }
  return kXpOk;
}

// The pixels to encode when they cannot be the caller's: the region or a
// clone, converted to Adobe RGB when asked. Null when memory ran out.
XpPixmapBase* WorkingPixmap(const XpPixmapBase& pixmap, bool isYCbCr, bool whole,
                            const XpRect& region, bool adobeRgb) {
  XpPixmapBase* copy = nullptr;
  if (whole) {
    copy = pixmap.Clone();
  } else if (isYCbCr) {
    copy = XpPixmapCropCopy(static_cast<const XpPixmapYCbCr444&>(pixmap), region);
  } else {
    copy = XpPixmapCropCopy(pixmap, region);
  }
  if (copy == nullptr || !adobeRgb) {
    return copy;
  }
  const XpResult converted = isYCbCr ? ConvertYCbCrToAdobeRgb(*static_cast<XpPixmapYCbCr444*>(copy))
                                     : ConvertToAdobeRgb(*copy);
  if (XpFailed(converted)) {
    delete copy;
    return nullptr;
  }
  return copy;
}

// Claims the first free "<n>.temp" beside target for pending.
[[nodiscard]] XpResult ClaimTempFile(const XpString& target, XpPendingFile& pending) {
  XpPendingFile::Options options;
  for (int32_t n = 0; n < XpImageIoJpeg::kTempNameAttempts; ++n) {
    options.tempName = std::to_string(n) + ".temp";
    const XpResult created = pending.Create(target, options);
    if (created != kXpErrAlreadyExists) {
      return created;
    }
  }
  return kXpErrAlreadyExists;
}

// Closes the finished file, flushes it (when sync), renames it over the
// target in one step and then (when sync) flushes the folder, so that the
// rename lasts too.
[[nodiscard]] XpResult ReplaceTarget(XpFile& file, XpPendingFile& pending, bool sync) {
  XpResult result = file.Close();
  if (result == kXpOk && sync) {
    result = pending.Sync();
  }
  if (result == kXpOk) {
    result = pending.Publish(true);
  }
  if (result != kXpOk || !sync) {
    return result;
  }
  return pending.SyncFolder();
}

}  // namespace

XpImageIoJpeg::XpImageIoJpeg() = default;

XpImageIoJpeg::XpImageIoJpeg(int32_t quality, const XpString& name)
    : quality_(quality), name_(name.ToMultiByte()) {}

XpImageIoJpeg::~XpImageIoJpeg() = default;

XpTiffTagManager* XpImageIoJpeg::NewTagTree() {
  std::unique_ptr<XpTiffTagManager> tags(new (std::nothrow) XpTiffTagManager());
  if (tags == nullptr || !tags->Reset()) {
    return nullptr;
  }
  tags->SetByteOrder(kXpByteOrderNotSet);
  return tags.release();
}

XpResult XpImageIoJpeg::WriteToPath(const XpPixmapBase* pixmap,
                                    XpSharedPtr<XpTiffTagManager> sourceTags, const XpString& path,
                                    IXpImageProgress* observer, const XpRect& region,
                                    bool adobeRgb, bool resetOrientation) {
  if (!IsUsableBGR(pixmap)) {
    return kXpErrBadArgument;
  }
  const Job job{pixmap, PixmapKind::kBGR, sourceTags.Get(), observer, region, adobeRgb,
                resetOrientation};
  return WriteViaTempFile(path,
                          [this, &job](XpAbstractFile& file) { return EncodeRegion(job, file); });
}

XpResult XpImageIoJpeg::WriteToFile(const XpPixmapBase* pixmap,
                                    XpSharedPtr<XpTiffTagManager> sourceTags,
                                    XpAbstractFile& file, IXpImageProgress* observer,
                                    const XpRect& region, bool adobeRgb, bool resetOrientation) {
  if (!IsUsableBGR(pixmap)) {
    return kXpErrBadArgument;
  }
  return EncodeRegion({pixmap, PixmapKind::kBGR, sourceTags.Get(), observer, region, adobeRgb,
                       resetOrientation},
                      file);
}

XpResult XpImageIoJpeg::WriteYCbCrToPath(const XpPixmapYCbCr444* pixmap,
                                         XpSharedPtr<XpTiffTagManager> sourceTags,
                                         const XpString& path, IXpImageProgress* observer,
                                         const XpRect& region, bool adobeRgb,
                                         bool resetOrientation) {
  if (!IsUsableYCbCr(pixmap)) {
    return kXpErrBadArgument;
  }
  const Job job{pixmap, PixmapKind::kYCbCr, sourceTags.Get(), observer, region, adobeRgb,
                resetOrientation};
  return WriteViaTempFile(path,
                          [this, &job](XpAbstractFile& file) { return EncodeRegion(job, file); });
}

XpResult XpImageIoJpeg::WriteYCbCrToFile(const XpPixmapYCbCr444* pixmap,
                                         XpSharedPtr<XpTiffTagManager> sourceTags,
                                         XpAbstractFile& file, IXpImageProgress* observer,
                                         const XpRect& region, bool adobeRgb,
                                         bool resetOrientation) {
  if (!IsUsableYCbCr(pixmap)) {
    return kXpErrBadArgument;
  }
  return EncodeRegion({pixmap, PixmapKind::kYCbCr, sourceTags.Get(), observer, region, adobeRgb,
                       resetOrientation},
                      file);
}

XpResult XpImageIoJpeg::WriteToPathAsYCbCr(const XpPixmapBase* pixmap,
                                           XpSharedPtr<XpTiffTagManager> sourceTags,
                                           const XpString& path, IXpImageProgress* observer,
                                           const XpRect& region, bool adobeRgb,
                                           bool resetOrientation) {
  if (!IsUsableBGR(pixmap)) {
    return kXpErrBadArgument;
  }
  const std::unique_ptr<XpPixmapYCbCr444> converted(XpPixmapYCbCrFromBGR(*pixmap));
  if (converted == nullptr) {
    return kXpErrOutOfMemory;
  }
  return WriteYCbCrToPath(converted.get(), sourceTags, path, observer, region, adobeRgb,
                          resetOrientation);
}

XpResult XpImageIoJpeg::WriteToFileAsYCbCr(const XpPixmapBase* pixmap,
                                           XpSharedPtr<XpTiffTagManager> sourceTags,
                                           XpAbstractFile& file, IXpImageProgress* observer,
                                           const XpRect& region, bool adobeRgb,
                                           bool resetOrientation) {
  if (!IsUsableBGR(pixmap)) {
    return kXpErrBadArgument;
  }
  const std::unique_ptr<XpPixmapYCbCr444> converted(XpPixmapYCbCrFromBGR(*pixmap));
  if (converted == nullptr) {
    return kXpErrOutOfMemory;
  }
  return WriteYCbCrToFile(converted.get(), sourceTags, file, observer, region, adobeRgb,
                          resetOrientation);
}

XpResult XpImageIoJpeg::ReencodeToPath(XpAbstractFile& source, int64_t offset,
                                       XpSharedPtr<XpTiffTagManager> sourceTags,
                                       const XpString& path) {
  XpTiffTagManager* tags = sourceTags.Get();
  return WriteViaTempFile(path, [this, &source, offset, tags](XpAbstractFile& file) {
    return EncodeStreamed(source, offset, tags, file);
  });
}

XpResult XpImageIoJpeg::WriteViaTempFile(const XpString& path, const Encoder& encode) {
  const XpString folder = XpPathGetDirectory(path);
  // A relative candidate would land wherever the process stands.
  if (folder.IsEmpty() || folder.CStr()[0] != u'/') {
    return kXpErrPathNotFound;
  }
  XpPendingFile pending;
  const XpResult claimed = ClaimTempFile(path, pending);
  if (claimed != kXpOk) {
    return claimed;
  }
  XpFile file;
  XpResult result = file.OpenPath(pending.TempPath().ToWide(), kXpOpenWrite);
  if (result == kXpOk) {
    result = encode(file);
  }
  if (result == kXpOk) {
    result = ReplaceTarget(file, pending, syncOnWrite_);
  }
  if (result != kXpOk && file.IsOpen()) {
    // The file is dropped: what its close might lose goes anyway.
    (void)file.Close();
  }
  // An unpublished temporary is removed as pending goes.
  return result;
}

XpResult XpImageIoJpeg::EncodeRegion(const Job& job, XpAbstractFile& file) {
  const XpPixmapBase& pixmap = *job.pixmap;
  const bool allZero = job.region == XpRect();
  const XpRect region = ClampToPixmap(job.region, pixmap);
  if (name_.IsEmpty()) {
    return kXpErrImageNoWriterName;
  }
  if (!allZero && region.IsEmpty()) {
    return kXpErrImageBadRegion;
  }
  XpMemoryFile iccBytes;
  XpResult prepared = kXpOk;
  const std::unique_ptr<XpTiffTagManager> tags =
      PrepareTags(job.sourceTags, job.adobeRgb, iccBytes, prepared);
  if (tags == nullptr) {
    return prepared;
  }

  const bool whole = allZero || region == XpRect(0, 0, pixmap.width, pixmap.height);
  std::unique_ptr<XpPixmapBase> working;
  if (!whole || job.adobeRgb) {
    working.reset(WorkingPixmap(pixmap, job.kind == PixmapKind::kYCbCr, whole, region,
                                job.adobeRgb));
    if (working == nullptr) {
      return kXpErrOutOfMemory;
    }
  }
  const bool colourTagged = job.adobeRgb || iccBytes.GetDataSize() > 0;
  const XpPixmapBase& pixels = working != nullptr ? *working : pixmap;
  const Picture picture{XpSize(pixels.width, pixels.height), job.kind, &pixels, PlaneRow,
                        const_cast<XpPlaneBase*>(pixels.GetPlane(0))};
  return EncodeWithMarkers(picture, *tags, file, job.observer, colourTagged, job.resetOrientation,
                           iccBytes);
}

std::unique_ptr<XpTiffTagManager> XpImageIoJpeg::PrepareTags(XpTiffTagManager* sourceTags,
                                                             bool adobeRgb,
                                                             XpMemoryFile& iccBytes,
                                                             XpResult& result) {
  // The caller's tags are never changed: the write works on a clone.
  std::unique_ptr<XpTiffTagManager> tags(sourceTags != nullptr ? sourceTags->Clone()
                                                               : NewTagTree());
  if (tags == nullptr) {
    result = kXpErrOutOfMemory;
    return nullptr;
  }
  result = ExtractProfile(*tags, iccBytes);
  if (result != kXpOk) {
    return nullptr;
  }
  XpJpegPrepareSourceTags(*tags, adobeRgb);
  return tags;
}

XpResult XpImageIoJpeg::WriteWithinSizeLimit(const XpPixmapBase* pixmap, XpAbstractFile& file,
                                             int32_t startQuality, int32_t step, bool withExif,
                                             const XpDateTime* date) {
  if (!IsUsableBGR(pixmap)) {
    return kXpErrBadArgument;
  }
  for (int32_t quality = std::clamp(startQuality, kMinThumbnailQuality, kMaxQuality);;
       quality -= step) {
    XpMemoryFile encoded;
    const XpResult result =
        EncodeThumbnail(encoded, *pixmap, XpSize(pixmap->width, pixmap->height), false, withExif,
                        date, quality);
    if (result == kXpOk && encoded.GetSize() < kThumbnailFileLimit) {
      return file.Write(encoded.GetBuffer(), encoded.GetDataSize(), nullptr);
    }
    // A step below 1 would never reach the lowest quality.
    if (step < 1 || quality - step < kMinThumbnailQuality) {
      return kXpErrImaging;
    }
  }
}

