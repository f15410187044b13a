#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/io/XpImageIoTags.h"
#include "imaging/io/XpPixmapOrientation.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/jpeg/XpJpegCoefficientTransform.h"
#include "imaging/jpeg/XpJpegCompressRun.h"
#include "imaging/jpeg/XpJpegLosslessRun.h"
#include "imaging/tags/XpGPSInfo.h"
#include "imaging/tags/XpTiffInPlaceEdit.h"
#include "imaging/tags/XpTiffTagFormat.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileOpSupport.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/path/XpPath.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr uint16_t kCompressionJpeg = 6;
constexpr uint16_t kOrientationUpright = 1;
constexpr uint32_t kResolutionDpi = 72;
constexpr uint16_t kResolutionUnitInch = 2;
// Slack over the written size of IFD 0 when judging the block's size.
constexpr uint64_t kSizeEstimateSlack = 2064;
constexpr uint64_t kSizeEstimateLimit = 65535;
constexpr int32_t kKeptTopLevelIFDs = 2;
constexpr int32_t kThumbnailQuality = 80;

constexpr uint64_t kPreviewAlignment = 4096;
constexpr uint64_t kCopyChunk = 65536;
// SOI, APP1 marker, length, "Exif\0\0": the TIFF header of a rewritten
// file starts here.
constexpr int64_t kTiffHeaderInFile = 12;
constexpr uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint8_t kStartWithApp1[] = {0xFF, 0xD8, 0xFF, 0xE1};

constexpr const char16_t* kRewritePattern = u"E-%d";
constexpr const char16_t* kEditPattern = u"-%d";

// The old thumbnail of IFD 1, as the source's tags give it.
struct ThumbnailRef {
  uint32_t offset = 0;
  uint32_t length = 0;
  bool Present() const { return offset != 0 && length != 0; }
};

ThumbnailRef OldThumbnail(const XpTiffTagManager& tags) {
  ThumbnailRef thumbnail;
  if (XpImageIoGetShortOrLongTag(&tags, kTagJpegOffset, 1, &thumbnail.offset) != kXpOk ||
      XpImageIoGetShortOrLongTag(&tags, kTagJpegLength, 1, &thumbnail.length) != kXpOk) {
    return ThumbnailRef();
  }
  return thumbnail;
}

// Where the old thumbnail's bytes lie from the source's TIFF header: one
// piece for a JPEG thumbnail, one per strip for an uncompressed one.
struct ThumbnailPieces {
  std::vector<uint32_t> offsets;
  std::vector<uint32_t> lengths;
  bool Present() const { return !offsets.empty(); }
  uint64_t Length() const {
    uint64_t total = 0;
    for (const uint32_t length : lengths) {
      total += length;
    }
    return total;
  }
};

// The elements of a SHORT or LONG value; false for another type or none.
bool ReadShortsOrLongs(const XpTiffTagIFD& ifd, uint16_t tag, std::vector<uint32_t>& values) {
  const XpTiffTagDataBase* value = ifd.FindTag(tag, false);
  if (value == nullptr ||
      (value->GetType() != kXpTiffTypeShort && value->GetType() != kXpTiffTypeLong)) {
    return false;
  }
  const bool shorts = value->GetType() == kXpTiffTypeShort;
  values.resize(value->GetCount());
  for (uint32_t index = 0; index < value->GetCount(); ++index) {
    values[index] = shorts ? ifd.GetShort(tag, false, index) : ifd.GetLong(tag, false, index);
  }
  return true;
}

// The strips of an uncompressed thumbnail in IFD 1; none unless offsets
// and byte counts pair up.
ThumbnailPieces OldStripThumbnail(const XpTiffTagManager& tags) {
  ThumbnailPieces strips;
  const XpTiffTagIFD* ifd1 = tags.GetIFD(1);
  if (ifd1 == nullptr || !ReadShortsOrLongs(*ifd1, kTagStripOffsets, strips.offsets) ||
      !ReadShortsOrLongs(*ifd1, kTagStripByteCounts, strips.lengths) ||
      strips.offsets.size() != strips.lengths.size()) {
    return ThumbnailPieces();
  }
  return strips;
}

template <size_t N>
void RemoveTags(XpTiffTagIFD& ifd, const uint16_t (&tags)[N]) {
  for (const uint16_t tag : tags) {
    for (int32_t index = ifd.GetCount() - 1; index >= 0; --index) {
      if (ifd.GetAt(index)->GetTag() == tag) {
        ifd.RemoveAt(index);
      }
    }
  }
}

void RemoveLaterIFDs(XpTiffTagManager& tags, int32_t kept) {
  XpTiffTagDataIFD* root = tags.GetRoot();
  if (root == nullptr) {
    return;
  }
  for (int32_t index = root->GetIFDCount() - 1; index >= kept; --index) {
    root->RemoveIFD(index);
  }
}

// The thumbnail tags of IFD 1 for a thumbnail of length bytes appended to
// the block; false when memory ran out.
bool SetThumbnailTags(XpTiffTagManager& tags, uint32_t length, bool resetOrientation) {
  XpTiffTagIFD* ifd0 = tags.GetIFD(0);
  XpTiffTagIFD* ifd1 = tags.GetIFD(1);
  if (ifd0 == nullptr || ifd1 == nullptr) {
    return false;
  }
  bool ok = ifd1->SetShort(kTagCompression, kCompressionJpeg) >= 0;
  if (resetOrientation) {
    ok = ok && ifd1->SetShort(kTagOrientation, kOrientationUpright) >= 0;
  }
  ok = ok && ifd1->SetRational(kTagXResolution, kResolutionDpi, 1) >= 0 &&
       ifd1->SetRational(kTagYResolution, kResolutionDpi, 1) >= 0 &&
       ifd1->SetShort(kTagResolutionUnit, kResolutionUnitInch) >= 0 &&
       ifd1->SetLong(kTagJpegLength, length) >= 0 && ifd1->SetLong(kTagJpegOffset, 0) >= 0;
  return ok && XpJpegSetThumbnailOffset(tags);
}

[[nodiscard]] XpResult SizeOf(XpAbstractFile& file, int64_t& size) {
  const XpResult result = file.Seek(0, kXpSeekEnd);
  if (result != kXpOk) {
    return result;
  }
  size = file.Tell();
  return size < 0 ? kXpErrSystem : kXpOk;
}

// Copies length bytes from source's position to destination's in pieces;
// a short read is kXpErrEndOfFile.
[[nodiscard]] XpResult CopyBytes(XpAbstractFile& source, XpAbstractFile& destination,
                                 uint64_t length) {
  const std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kCopyChunk]);
  if (buffer == nullptr) {
    return kXpErrOutOfMemory;
  }
  for (uint64_t left = length; left > 0;) {
    const uint64_t piece = left < kCopyChunk ? left : kCopyChunk;
    uint64_t done = 0;
    XpResult result = source.Read(buffer.get(), piece, &done);
    if (result == kXpOk && done != piece) {
      result = kXpErrEndOfFile;
    }
    if (result == kXpOk) {
      result = destination.Write(buffer.get(), piece, nullptr);
    }
    if (result != kXpOk) {
      return result;
    }
    left -= piece;
  }
  return kXpOk;
}

// The pieces' bytes one after the other, read from the source's TIFF
// header on; a piece beyond the file is kXpErrEndOfFile.
[[nodiscard]] XpResult ReadPieces(XpImageIo& reader, XpAbstractFile& source,
                                  const ThumbnailPieces& pieces,
                                  std::unique_ptr<uint8_t[]>& bytes) {
  int64_t sourceSize = 0;
  XpResult result = SizeOf(source, sourceSize);
  if (result == kXpOk) {
    result = reader.LocateTiffBlock(source, 0);
  }
  if (result != kXpOk) {
    return result;
  }
  const int64_t tiffStart = source.Tell();
  bytes.reset(new (std::nothrow) uint8_t[pieces.Length()]);
  if (bytes == nullptr) {
    return kXpErrOutOfMemory;
  }
  uint64_t filled = 0;
  for (size_t index = 0; index < pieces.offsets.size(); ++index) {
    const int64_t start = tiffStart + pieces.offsets[index];
    const uint32_t length = pieces.lengths[index];
    if (start + length > sourceSize) {
      return kXpErrEndOfFile;
    }
    uint64_t done = 0;
    result = source.Seek(start, kXpSeekBegin);
    if (result == kXpOk) {
      result = source.Read(bytes.get() + filled, length, &done);
    }
    if (result == kXpOk && done != length) {
      result = kXpErrEndOfFile;
    }
    if (result != kXpOk) {
      return result;
    }
    filled += length;
  }
  return kXpOk;
}

[[nodiscard]] XpResult WriteZeros(XpAbstractFile& file, uint64_t count) {
  static constexpr uint8_t kZeros[kPreviewAlignment] = {};
  for (uint64_t left = count; left > 0;) {
    const uint64_t piece = left < sizeof kZeros ? left : sizeof kZeros;
    const XpResult result = file.Write(kZeros, piece, nullptr);
    if (result != kXpOk) {
      return result;
    }
    left -= piece;
  }
  return kXpOk;
}

// Whether the file begins with SOI and an Exif APP1, so that its TIFF
// header lies at kTiffHeaderInFile.
bool StartsWithExifBlock(XpAbstractFile& file) {
  uint8_t head[kTiffHeaderInFile] = {};
  uint64_t done = 0;
  if (file.Seek(0, kXpSeekBegin) != kXpOk || file.Read(head, sizeof head, &done) != kXpOk ||
      done != sizeof head) {
    return false;
  }
  return std::memcmp(head, kStartWithApp1, sizeof kStartWithApp1) == 0 &&
         std::memcmp(head + sizeof kStartWithApp1 + 2, kExifHeader, sizeof kExifHeader) == 0;
}

// The path an edit works on: the file itself, or the target of a link.
// kXpErrFileNotFound unless that is a regular file. mode receives its
// permission bits.
[[nodiscard]] XpResult ResolveEditTarget(const XpString& path, XpString& target, mode_t& mode) {
  struct stat info {};
  if (!XpFsLstat(path, &info)) {
    return kXpErrFileNotFound;
  }
  target = path;
  if (S_ISLNK(info.st_mode)) {
    target = XpFsRealPath(path);
    if (target.IsEmpty() || !XpFsStat(target, &info)) {
      return kXpErrFileNotFound;
    }
  }
  if (!S_ISREG(info.st_mode)) {
    return kXpErrFileNotFound;
  }
  mode = info.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO | S_ISUID | S_ISGID | S_ISVTX);
  return kXpOk;
}

// Claims the first free "<leaf of path><pattern with n>" beside path for
// pending: a name taken by a file or a folder moves on to the next n.
[[nodiscard]] XpResult ClaimBeside(const XpString& path, const char16_t* pattern,
                                   XpPendingFile& pending) {
  const XpString leaf = XpPathGetFileName(path);
  XpPendingFile::Options options;
  for (int32_t n = 0; n < XpImageIoJpeg::kTempNameAttempts; ++n) {
    XpString suffix;
    if (suffix.Format(pattern, n) != kXpOk) {
      return kXpErrGeneric;
    }
    options.tempName = (leaf + suffix).ToMultiByte().CStr();
    const XpResult created = pending.Create(path, options);
    if (created != kXpErrAlreadyExists) {
      return created;
    }
  }
  return kXpErrAlreadyExists;
}

// Gives the temporary the permission bits of the file it replaces; set only
// once it is written, as they may forbid writing.
[[nodiscard]] XpResult SetPermissions(const XpPendingFile& pending, mode_t mode) {
  return XpSysCalls::Current().Fchmod(pending.Fd(), mode) == 0 ? kXpOk : XpResultFromErrno(errno);
}

// Renames the flushed temporary onto its final path and flushes the folder
// so that the rename lasts.
[[nodiscard]] XpResult PublishDurably(XpPendingFile& pending, bool replace) {
  const XpResult published = pending.Publish(replace);
  return published != kXpOk ? published : pending.SyncFolder();
}

// The GPS IFD, new when missing or when replace asks for an empty one;
// null when memory ran out.
XpTiffTagIFD* GpsIFDFor(XpTiffTagIFD& ifd0, bool replace) {
  XpTiffTagDataBase* value = ifd0.FindTag(kXpTiffTagGpsIFD, false);
  if (!replace && value != nullptr && value->IsSubIFD()) {
    auto& holder = *static_cast<XpTiffTagDataIFD*>(value);
    if (holder.GetIFDCount() > 0) {
      return holder.GetIFD(0);
    }
  }
  XpTiffTagDataIFD* created = XpTiffTagDataIFD::Create(kXpTiffTagGpsIFD, 0);
  auto* gps = new (std::nothrow) XpTiffTagIFD();
  if (created == nullptr || gps == nullptr) {
    delete created;
    delete gps;
    return nullptr;
  }
  created->AddIFD(gps);
  return ifd0.SetEntry(created) < 0 ? nullptr : gps;
}

// The Exif block: "Exif", two zeros, the TIFF block, then the thumbnail.
[[nodiscard]] XpResult WriteBlock(XpMemoryFile& output, XpTiffTagManager& tags,
                                  const uint8_t* thumbnail, uint64_t thumbnailSize) {
  XpResult result = output.Open(kXpOpenWrite);
  if (result != kXpOk) {
    return result;
  }
  result = output.Write(kExifHeader, sizeof kExifHeader, nullptr);
  if (result == kXpOk) {
    tags.Write(output);
  }
  if (result == kXpOk && thumbnailSize > 0) {
    result = output.Write(thumbnail, thumbnailSize, nullptr);
  }
  const XpResult closed = output.Close();
  return result != kXpOk ? result : closed;
}

// Exchanges PixelXDimension and PixelYDimension, written as LONG, when
// both are there.
bool SwapPixelDimensions(XpTiffTagManager& tags) {
  XpTiffTagIFD* exif = tags.GetExifIFD();
  uint32_t width = 0;
  uint32_t height = 0;
  if (exif == nullptr ||
      XpImageIoGetShortOrLongTag(exif, kTagPixelXDimension, &width, false) != kXpOk ||
      XpImageIoGetShortOrLongTag(exif, kTagPixelYDimension, &height, false) != kXpOk) {
    return true;
  }
  return exif->SetLong(kTagPixelXDimension, height) >= 0 &&
         exif->SetLong(kTagPixelYDimension, width) >= 0;
}

}  // namespace

XpResult XpImageIoJpeg::RewriteTagsInPlace(const XpString& path, uint32_t value) {
  return EditInPlace(path, kRewritePattern, [value](XpTiffTagManager& tags) {
    XpTiffTagIFD* makerNote = tags.GetMakerNoteIFD();
    if (makerNote == nullptr) {
      return kXpErrImageTagNotFound;
    }
    return makerNote->SetLong(kTagMakerLong, value) < 0 ? kXpErrOutOfMemory : kXpOk;
  });
}

XpResult XpImageIoJpeg::WriteImageUniqueId(const XpString& path, uint64_t first,
                                           uint64_t second) {
  XpStringA text;
  {
    XpString wide;
    if (wide.Format(u"%016I64x%016I64x", first, second) != kXpOk) {
      return SetLastError(kXpErrGeneric);
    }
    text = wide.ToMultiByte();
  }
  return EditInPlace(path, kEditPattern, [&text](XpTiffTagManager& tags) {
    XpTiffTagIFD* exif = tags.GetExifIFD();
    if (exif == nullptr) {
      return kXpErrImageTagNotFound;
    }
    return exif->SetAscii(kTagImageUniqueId, text.CStr()) < 0 ? kXpErrOutOfMemory : kXpOk;
  });
}

XpResult XpImageIoJpeg::WriteGpsInfo(const XpString& path, const XpGPSInfo& info, bool replace) {
  return EditInPlace(path, kEditPattern, [&info, replace](XpTiffTagManager& tags) {
    XpTiffTagIFD* gps = GpsIFDFor(*tags.GetIFD(0), replace);
    return gps == nullptr ? kXpErrOutOfMemory : info.WriteToIFD(*gps);
  });
}

XpResult XpImageIoJpeg::ReadGpsInfo(XpAbstractFile& file, int64_t offset, XpGPSInfo& info) {
  const XpSharedPtr<XpTiffTagManager> tags = ReadTags(file, offset);
  const XpTiffTagIFD* gps = tags ? tags->GetGPSIFD() : nullptr;
  if (gps == nullptr) {
    return SetLastError(kXpErrImageTagNotFound);
  }
  info.LoadFromIFD(*gps);
  return SetLastError(kXpOk);
}

XpResult XpImageIoJpeg::ReadGpsInfoFromPath(const XpString& path, XpGPSInfo& info) {
  XpFile file;
  const XpResult opened = file.OpenPath(path, kXpOpenRead);
  if (opened != kXpOk) {
    return SetLastError(opened);
  }
  return ReadGpsInfo(file, 0, info);
}

XpResult XpImageIoJpeg::ReadImageUniqueId(XpAbstractFile& file, int64_t offset, uint64_t& first,
                                          uint64_t& second) {
  const XpSharedPtr<XpTiffTagManager> tags = ReadTags(file, offset);
  if (!tags || tags->GetExifIFD() == nullptr) {
    return SetLastError(kXpErrImageTagNotFound);
  }
  return SetLastError(tags->GetImageUniqueID(first, second));
}

XpResult XpImageIoJpeg::ReadImageUniqueIdFromPath(const XpString& path, uint64_t& first,
                                                  uint64_t& second) {
  XpFile file;
  const XpResult opened = file.OpenPath(path, kXpOpenRead);
  if (opened != kXpOk) {
    return SetLastError(opened);
  }
  return ReadImageUniqueId(file, 0, first, second);
}

XpResult XpImageIoJpeg::EditInPlace(const XpString& path, const char16_t* pattern,
                                    const TagEdit& edit) {
  XpString target;
  mode_t mode = 0;
  XpResult result = ResolveEditTarget(path, target, mode);
  if (result != kXpOk) {
    return SetLastError(result);
  }
  XpPendingFile pending;
  result = ClaimBeside(target, pattern, pending);
  if (result != kXpOk) {
    return SetLastError(result);
  }
  XpFile source;
  XpFile output;
  result = source.OpenPath(target, kXpOpenRead);
  if (result == kXpOk) {
    result = output.OpenPath(pending.TempPath().ToWide(), kXpOpenReadWrite);
  }
  if (result == kXpOk) {
    result = RewriteFileTags(source, output, edit);
  }
  if (result == kXpOk) {
    result = output.Close();
  }
  if (result == kXpOk) {
    result = SetPermissions(pending, mode);
  }
  if (result == kXpOk) {
    result = pending.Sync();
  }
  if (source.IsOpen()) {
    // Only read: its close has nothing to lose.
    (void)source.Close();
  }
  if (result == kXpOk) {
    result = PublishDurably(pending, true);
  }
  if (result != kXpOk && output.IsOpen()) {
    // The temporary is dropped: what its close might lose goes anyway.
    (void)output.Close();
  }
  // An unpublished temporary is removed as pending goes.
  return SetLastError(result);
}

XpResult XpImageIoJpeg::RewriteFileTags(XpAbstractFile& source, XpAbstractFile& destination,
                                        const TagEdit& edit) {
  const XpSharedPtr<XpTiffTagManager> tags = XpImageIo::ReadTags(source, 0);
  if (!tags) {
    const XpResult located = LocateTiffBlock(source, 0);
    return located != kXpOk ? located : kXpErrImageTagNotFound;
  }
  if (tags->GetIFD(0) == nullptr) {
    return kXpErrImageTagNotFound;
  }
  // Makers store offsets from the TIFF header inside their maker note: one
  // that cannot stay in its place is not moved, the file stays as it is.
  if (tags->MakerNoteMoves()) {
    return kXpErrImageNotSupported;
  }
  const ThumbnailRef thumbnail = OldThumbnail(*tags);
  ThumbnailPieces pieces;
  bool strips = false;
  if (thumbnail.Present()) {
    pieces.offsets = {thumbnail.offset};
    pieces.lengths = {thumbnail.length};
  } else {
    // An uncompressed thumbnail is kept as it is, in its strips.
    pieces = OldStripThumbnail(*tags);
    strips = pieces.Present();
  }
  PreviewRef preview;
  XpResult result = PrepareTagsForRewrite(*tags, true, preview);
  if (result == kXpOk) {
    result = edit(*tags);
  }
  if (result != kXpOk) {
    return result;
  }
  if (!pieces.Present()) {
    RemoveLaterIFDs(*tags, 1);
  } else if (pieces.Length() > XpJpegCompressRun::kMaxMarkerPayload) {
    // It could never fit one segment, and is not read.
    return kXpErrImaging;
  } else if (strips ? !XpJpegSetStripOffsets(*tags, pieces.lengths)
                    : !SetThumbnailTags(*tags, thumbnail.length, false)) {
    return kXpErrOutOfMemory;
  }

  std::unique_ptr<uint8_t[]> bytes;
  if (pieces.Present()) {
    result = ReadPieces(*this, source, pieces, bytes);
    if (result != kXpOk) {
      return result;
    }
  }
  XpMemoryFile block;
  result = WriteBlock(block, *tags, bytes.get(), bytes != nullptr ? pieces.Length() : 0);
  if (result != kXpOk) {
    return result;
  }
  if (block.GetDataSize() > XpJpegCompressRun::kMaxMarkerPayload) {
    return kXpErrImaging;
  }
  return LosslessCopy(source, destination, block, XpJpegCoefficientTransform::kNone, preview);
}

XpResult XpImageIoJpeg::PrepareTagsForRewrite(XpTiffTagManager& tags, bool updateExifVersion,
                                              PreviewRef& preview) {
  preview = PreviewRef();
  XpTiffTagIFD* ifd0 = tags.GetIFD(0);
  if (ifd0 == nullptr) {
    return kXpOk;
  }
  const XpStringA now = XpTiffTagFormatNow();
  if (ifd0->SetAscii(kTagDateTime, now.CStr()) < 0) {
    return kXpErrOutOfMemory;
  }
  XpTiffTagIFD* exif = tags.GetExifIFD();
  if (updateExifVersion && exif != nullptr && !XpJpegEnsureExifVersion(*exif)) {
    return kXpErrOutOfMemory;
  }
  uint64_t estimate = ifd0->GetSize(true) + kSizeEstimateSlack;
  if (XpTiffTagIFD* ifd1 = tags.GetIFD(1)) {
    if (ifd1->HasTag(kTagDateTime) && ifd1->SetAscii(kTagDateTime, now.CStr()) < 0) {
      return kXpErrOutOfMemory;
    }
    estimate += ifd1->GetSize(true) + ifd1->GetLong(kTagJpegLength);
  }
  estimate += estimate % 2;

  preview.offset = tags.GetMakerTag2001Offset();
  preview.length = tags.GetMakerTag2001Count();
  XpTiffTagIFD* makerNote = tags.GetMakerNoteIFD();
  if (makerNote != nullptr && makerNote->HasTag(kXpTiffTagMakerTag2001) &&
      makerNote->SetUndefined(kXpTiffTagMakerTag2001, nullptr, 0) < 0) {
    return kXpErrOutOfMemory;
  }
  if (XpTiffTagIFD* sub = tags.GetMakerSubIFD()) {
    if (estimate > kSizeEstimateLimit) {
      static constexpr uint16_t kLargeTags[] = {kTagPreviewBytes, kTagPreviewBytesAlternative};
      RemoveTags(*sub, kLargeTags);
    }
    if (preview.offset == 0 && preview.length == 0) {
      preview.inSubIFD = true;
      preview.offset = sub->GetLong(kTagPreviewOffset);
      preview.length = sub->GetLong(kTagPreviewLength);
    }
  }
  RemoveLaterIFDs(tags, kKeptTopLevelIFDs);
  return kXpOk;
}

XpResult XpImageIoJpeg::LosslessCopy(XpAbstractFile& source, XpAbstractFile& destination,
                                     const XpMemoryFile& block, int32_t transform,
                                     const PreviewRef& preview) {
  XpJpegLosslessRun run;
  run.source = &source;
  run.destination = &destination;
  run.exif = static_cast<const uint8_t*>(block.GetBuffer());
  run.exifSize = block.GetDataSize();
  run.transform = transform;
  const XpResult result = run.Run();
  if (result != kXpOk || preview.offset == 0 || preview.length == 0) {
    return result;
  }
  return AppendPreview(source, destination, preview);
}

XpResult XpImageIoJpeg::AppendPreview(XpAbstractFile& source, XpAbstractFile& destination,
                                      const PreviewRef& preview) {
  // The patch below needs the TIFF header at byte 12.
  if (!StartsWithExifBlock(destination)) {
    return kXpErrImaging;
  }
  int64_t sourceSize = 0;
  XpResult result = SizeOf(source, sourceSize);
  if (result == kXpOk) {
    result = LocateTiffBlock(source, 0);
  }
  if (result != kXpOk) {
    return result;
  }
  const int64_t start = source.Tell() + preview.offset;
  if (start + preview.length > sourceSize) {
    return kXpErrEndOfFile;
  }
  int64_t size = 0;
  result = SizeOf(destination, size);
  if (result != kXpOk) {
    return result;
  }
  const uint64_t padded =
      (static_cast<uint64_t>(size) + kPreviewAlignment - 1) / kPreviewAlignment * kPreviewAlignment;
  result = WriteZeros(destination, padded - static_cast<uint64_t>(size));
  if (result == kXpOk) {
    result = source.Seek(start, kXpSeekBegin);
  }
  if (result == kXpOk) {
    result = CopyBytes(source, destination, preview.length);
  }
  if (result != kXpOk) {
    return result;
  }
  const auto offset = static_cast<uint32_t>(padded - kTiffHeaderInFile);
  return preview.inSubIFD
             ? XpTiffSetMakerSubValueInFile(destination, kTiffHeaderInFile, offset)
             : XpTiffSetMakerTag2001InFile(destination, kTiffHeaderInFile, offset,
                                           preview.length);
}

XpResult XpImageIoJpeg::TransformLossless(const XpString& source, const XpString& destination,
                                          int32_t transform, bool applyOrientation) {
  if (XpFsEntryExists(destination)) {
    return SetLastError(kXpErrAlreadyExists);
  }
  XpFile input;
  XpResult result = input.OpenPath(source, kXpOpenRead);
  if (result != kXpOk) {
    return SetLastError(result);
  }
  XpPendingFile pending;
  result = ClaimBeside(destination, kEditPattern, pending);
  if (result != kXpOk) {
    return SetLastError(result);
  }
  XpFile output;
  result = output.OpenPath(pending.TempPath().ToWide(), kXpOpenReadWrite);
  if (result == kXpOk) {
    result = TransformFile(input, output, transform, applyOrientation);
  }
  if (result == kXpOk) {
    result = output.Close();
  }
  if (result == kXpOk) {
    result = pending.Sync();
  }
  // Only read: its close has nothing to lose.
  (void)input.Close();
  if (result == kXpOk) {
    result = PublishDurably(pending, false);
  }
  if (result != kXpOk && output.IsOpen()) {
    // The temporary is dropped: what its close might lose goes anyway.
    (void)output.Close();
  }
  // An unpublished temporary is removed as pending goes.
  return SetLastError(result);
}

XpResult XpImageIoJpeg::TransformFile(XpAbstractFile& source, XpAbstractFile& destination,
                                      int32_t transform, bool applyOrientation) {
  int32_t code = transform;
  PreviewRef preview;
  XpMemoryFile block;
  const XpSharedPtr<XpTiffTagManager> tags = XpImageIo::ReadTags(source, 0);
  XpTiffTagIFD* ifd0 = tags ? tags->GetIFD(0) : nullptr;
  if (ifd0 != nullptr && applyOrientation) {
    code = XpJpegCoefficientTransform::ComposeWithOrientation(transform,
                                                              ifd0->GetShort(kTagOrientation));
  }
  XpMemoryFile thumbnail;
  const bool hasThumbnail = TransformedThumbnail(source, code, thumbnail);
  if (ifd0 != nullptr) {
    XpResult result = PrepareTagsForRewrite(*tags, true, preview);
    if (result != kXpOk) {
      return result;
    }
    if (applyOrientation && ifd0->SetShort(kTagOrientation, kOrientationUpright) < 0) {
      return kXpErrOutOfMemory;
    }
    if (XpJpegCoefficientTransform::SwapsAxes(code) && !SwapPixelDimensions(*tags)) {
      return kXpErrOutOfMemory;
    }
    if (tags->GetIFD(1) != nullptr && !hasThumbnail) {
      RemoveLaterIFDs(*tags, 1);
    } else if (tags->GetIFD(1) != nullptr &&
               !SetThumbnailTags(*tags, static_cast<uint32_t>(thumbnail.GetDataSize()), true)) {
      return kXpErrOutOfMemory;
    }
    if (tags->MakerNoteMoves()) {
      return kXpErrImageNotSupported;
    }
    const auto* thumbnailBytes = static_cast<const uint8_t*>(thumbnail.GetBuffer());
    const bool withThumbnail = tags->GetIFD(1) != nullptr;
    // The old block would describe pixels the copy has turned: too big for
    // one segment, the maker note, then the thumbnail give way.
    result = applyOrientation
                 ? XpJpegWriteExifBlock(block, *tags, thumbnailBytes, thumbnail.GetDataSize())
                 : WriteBlock(block, *tags, thumbnailBytes,
                              withThumbnail ? thumbnail.GetDataSize() : 0);
    if (result != kXpOk) {
      return result;
    }
    if (block.GetDataSize() > XpJpegCompressRun::kMaxMarkerPayload && applyOrientation) {
      return kXpErrImaging;
    }
    if (block.GetDataSize() > XpJpegCompressRun::kMaxMarkerPayload) {
      // Too big for one segment: the source's own markers, its old Exif
      // block included, are copied as they are.
      block.Attach(nullptr, 0, false);
    }
  }
  return LosslessCopy(source, destination, block, code, preview);
}

bool XpImageIoJpeg::TransformedThumbnail(XpAbstractFile& source, int32_t code,
                                         XpMemoryFile& thumbnail) {
  XpPixmapBase* read = ReadOrientedPixmap(source, 0);
  if (read == nullptr) {
    return false;
  }
  // The reader shows the thumbnail upright: undo that to get it as stored,
  // then change it like the picture's pixels.
  const int32_t shownWith = orientation_;
  SetLastError(kXpOk);
  XpPixmapBase* stored = ApplyExifOrientation(read, XpOrientationInverse(shownWith));
  const std::unique_ptr<XpPixmapBase> changed(
      ApplyExifOrientation(stored, XpJpegCoefficientTransform::OrientationOf(code)));
  return changed != nullptr && GetLastError() == kXpOk &&
         EncodeThumbnail(thumbnail, *changed, XpSize(changed->width, changed->height), true, false,
                         nullptr, kThumbnailQuality) == kXpOk;
}
