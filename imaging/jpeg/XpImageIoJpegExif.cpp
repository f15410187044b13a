#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/jpeg/XpJpegCompressRun.h"
#include "imaging/pixelops/XpPixmapYCbCrToBGR.h"
#include "imaging/tags/XpTiffTagFormat.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"

namespace {

constexpr const char* kBlankDescription = "                               ";
constexpr const char* kMake = "KAVO";
constexpr uint8_t kExifVersion[] = {'0', '2', '2', '1'};
constexpr uint8_t kFlashpixVersion[] = {'0', '1', '0', '0'};
constexpr uint8_t kInteropVersion[] = {'0', '1', '0', '0'};
constexpr uint8_t kComponentsConfiguration[] = {1, 2, 3, 0};
constexpr const char* kInteropThumbnailFile = "THM";
constexpr const char* kInteropColourTagged = "R03";
constexpr const char* kInteropSRGB = "R98";
constexpr uint16_t kOrientationUpright = 1;
constexpr uint32_t kResolutionDpi = 72;
constexpr uint16_t kResolutionUnitInch = 2;
constexpr uint16_t kYCbCrCoSited = 2;
constexpr uint16_t kCompressionJpeg = 6;
constexpr uint16_t kColorSpaceSRGB = 1;
constexpr uint16_t kColorSpaceUncalibrated = 65535;
constexpr uint32_t kGammaNumerator = 22;
constexpr uint32_t kGammaDenominator = 10;
// The Adobe RGB (1998) colour tags: numerator, denominator pairs.
constexpr uint32_t kWhitePoint[] = {313, 1000, 329, 1000};
constexpr uint32_t kPrimaryChromaticities[] = {64, 100, 33, 100, 21, 100, 71, 100, 15, 100, 6, 100};
constexpr uint32_t kYCbCrCoefficients[] = {299, 1000, 587, 1000, 114, 1000};

constexpr uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};

// Tags a written picture does not carry over.
constexpr uint16_t kIfd0Dropped[] = {
    kTagNewSubfileType, kTagImageWidth, kTagImageLength, kTagBitsPerSample, kTagCompression,
    kTagPhotometricInterpretation, kTagStripOffsets, kTagSamplesPerPixel, kTagRowsPerStrip,
    kTagStripByteCounts, kTagPlanarConfiguration, kXpTiffTagSubIFDs, kTagJpegOffset,
    kTagJpegLength, kTagInterColorProfile, kTagDngPrivateData};
constexpr uint16_t kIfd0ColourTags[] = {kTagWhitePoint, kTagPrimaryChromaticities,
                                        kTagYCbCrCoefficients};
constexpr uint16_t kExifDropped[] = {kTagFileSource, kTagSceneType};
constexpr uint16_t kIfd1Dropped[] = {kTagNewSubfileType, kTagMake, kTagModel, kTagDateTime};
constexpr uint16_t kMakerNoteDropped[] = {kTagPreviewBytes,  kTagPreviewBytesAlternative,
                                         kTagPreviewOffset, kTagPreviewLength,
                                         kXpTiffTagMakerTag2001, kXpTiffTagB028IFD};
constexpr int32_t kKeptTopLevelIFDs = 2;

// What a block keeps when nothing else fits: the maker, the model, the
// orientation of the pixels and the dates.
constexpr uint16_t kIfd0Essential[] = {kTagMake, kTagModel, kTagOrientation, kTagDateTime,
                                       kXpTiffTagExifIFD};
constexpr uint16_t kExifEssential[] = {kTagDateTimeOriginal, kTagDateTimeDigitized};
// An essential value above this is no name or date and is left out, so
// that the essential block always fits one segment.
constexpr uint64_t kMaxEssentialValueBytes = 4096;
static_assert((std::size(kIfd0Essential) + std::size(kExifEssential)) * kMaxEssentialValueBytes <
                  XpJpegCompressRun::kMaxMarkerPayload / 2,
              "the essential block fits one segment");

template <size_t N>
bool Contains(const uint16_t (&tags)[N], uint16_t tag) {
  return std::find(tags, tags + N, tag) != tags + N;
}

template <size_t N>
void RemoveTags(XpTiffTagIFD* ifd, const uint16_t (&tags)[N]) {
  if (ifd == nullptr) {
    return;
  }
  for (int32_t index = ifd->GetCount() - 1; index >= 0; --index) {
    if (Contains(tags, ifd->GetAt(index)->GetTag())) {
      ifd->RemoveAt(index);
    }
  }
}

// Collects the setters' answers: any -1 means memory ran out.
class EntryWriter {
 public:
  explicit EntryWriter(XpTiffTagIFD& ifd) : ifd_(ifd) {}

  void Ascii(uint16_t tag, const char* text) { Check(ifd_.SetAscii(tag, text)); }
  void AsciiIfMissing(uint16_t tag, const char* text) {
    if (!ifd_.HasTag(tag)) {
      Ascii(tag, text);
    }
  }
  void Short(uint16_t tag, uint16_t value) { Check(ifd_.SetShort(tag, value)); }
  void Long(uint16_t tag, uint32_t value) { Check(ifd_.SetLong(tag, value)); }
  void Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
    Check(ifd_.SetRational(tag, numerator, denominator));
  }
  template <size_t N>
  void Rationals(uint16_t tag, const uint32_t (&pairs)[N]) {
    static_assert(N % 2 == 0, "numerator, denominator pairs");
    auto* value = XpTiffTagData<XpTiffTagTypeRational>::Create(tag, N / 2);
    if (value == nullptr) {
      ok_ = false;
      return;
    }
    std::memcpy(value->GetData(), pairs, sizeof pairs);
    Check(ifd_.SetEntry(value));
  }
  template <size_t N>
  void Undefined(uint16_t tag, const uint8_t (&bytes)[N]) {
    Check(ifd_.SetUndefined(tag, bytes, N));
  }
  bool Ok() const { return ok_; }

 private:
  void Check(int32_t index) { ok_ = ok_ && index >= 0; }

  XpTiffTagIFD& ifd_;
  bool ok_ = true;
};

// The first IFD of the sub-IFD value of tag in ifd, made when missing;
// null when memory ran out.
XpTiffTagIFD* SubIFD(XpTiffTagIFD& ifd, uint16_t tag) {
  XpTiffTagDataBase* value = ifd.FindTag(tag, false);
  if (value == nullptr || !value->IsSubIFD()) {
    value = XpTiffTagDataIFD::Create(tag, 0);
    if (value == nullptr || ifd.SetEntry(value) < 0) {
      return nullptr;
    }
  }
  auto& holder = *static_cast<XpTiffTagDataIFD*>(value);
  if (holder.GetIFDCount() == 0) {
    auto* created = new (std::nothrow) XpTiffTagIFD();
    if (created == nullptr) {
      return nullptr;
    }
    holder.AddIFD(created);
  }
  return holder.GetIFD(0);
}

// Top-level IFD index, appended while the root holds fewer.
XpTiffTagIFD* TopLevelIFD(XpTiffTagDataIFD& root, int32_t index) {
  while (root.GetIFDCount() <= index) {
    auto* created = new (std::nothrow) XpTiffTagIFD();
    if (created == nullptr) {
      return nullptr;
    }
    root.AddIFD(created);
  }
  return root.GetIFD(index);
}

// A version newer than "0221" stays; anything else becomes "0221".
void EnsureExifVersion(XpTiffTagIFD& exif, EntryWriter& writer) {
  const XpTiffTagDataBase* value = exif.FindTag(kTagExifVersion, false);
  if (value != nullptr) {
    const uint64_t size = value->GetByteSize();
    for (size_t index = 0; index < sizeof kExifVersion; ++index) {
      const uint8_t byte = index < size ? value->GetData()[index] : 0;
      if (byte != kExifVersion[index]) {
        if (byte > kExifVersion[index]) {
          return;
        }
        break;
      }
    }
  }
  writer.Undefined(kTagExifVersion, kExifVersion);
}

void FillIfd0(EntryWriter& writer, const char* name, const char* date,
              bool colourTagged, bool resetOrientation) {
  writer.AsciiIfMissing(kTagImageDescription, kBlankDescription);
  writer.AsciiIfMissing(kTagMake, kMake);
  writer.AsciiIfMissing(kTagModel, name);
  if (resetOrientation) {
    writer.Short(kTagOrientation, kOrientationUpright);
  }
  writer.Rational(kTagXResolution, kResolutionDpi, 1);
  writer.Rational(kTagYResolution, kResolutionDpi, 1);
  writer.Short(kTagResolutionUnit, kResolutionUnitInch);
  writer.Ascii(kTagSoftware, name);
  writer.Ascii(kTagDateTime, date);
  if (colourTagged) {
    writer.Rationals(kTagWhitePoint, kWhitePoint);
    writer.Rationals(kTagPrimaryChromaticities, kPrimaryChromaticities);
    writer.Rationals(kTagYCbCrCoefficients, kYCbCrCoefficients);
  }
  writer.Short(kTagYCbCrPositioning, kYCbCrCoSited);
}

void FillExif(XpTiffTagIFD& exif, EntryWriter& writer, const XpSize& size, const char* date,
              bool colourTagged) {
  EnsureExifVersion(exif, writer);
  writer.AsciiIfMissing(kTagDateTimeOriginal, date);
  writer.AsciiIfMissing(kTagDateTimeDigitized, date);
  writer.Undefined(kTagComponentsConfiguration, kComponentsConfiguration);
  writer.Undefined(kTagFlashpixVersion, kFlashpixVersion);
  writer.Short(kTagColorSpace, colourTagged ? kColorSpaceUncalibrated : kColorSpaceSRGB);
  writer.Long(kTagPixelXDimension, static_cast<uint32_t>(size.cx));
  writer.Long(kTagPixelYDimension, static_cast<uint32_t>(size.cy));
  if (colourTagged) {
    writer.Rational(kTagGamma, kGammaNumerator, kGammaDenominator);
  }
}

const char* InteropIndex(bool thumbnailFile, bool colourTagged) {
  if (thumbnailFile) {
    return kInteropThumbnailFile;
  }
  return colourTagged ? kInteropColourTagged : kInteropSRGB;
}

// "Exif", two zeros, the TIFF block, then the thumbnail.
[[nodiscard]] XpResult WriteBlockOnce(XpMemoryFile& output, XpTiffTagManager& tags,
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

// The bytes tags write as a TIFF block; 0 when that fails.
uint64_t WrittenSize(XpTiffTagManager& tags) {
  XpMemoryFile scratch;
  if (scratch.Open(kXpOpenWrite) != kXpOk) {
    return 0;
  }
  const uint64_t size = tags.Write(scratch);
  static_cast<void>(scratch.Close());
  return size;
}

bool FitsOneSegment(const XpMemoryFile& block) {
  return block.GetDataSize() <= XpJpegCompressRun::kMaxMarkerPayload;
}

// One of tags, and a name or date of bounded size, or the Exif sub-IFD.
template <size_t N>
bool IsEssential(const XpTiffTagDataBase& value, const uint16_t (&tags)[N]) {
  if (!Contains(tags, value.GetTag())) {
    return false;
  }
  if (value.GetTag() == kXpTiffTagExifIFD) {
    return value.IsSubIFD();
  }
  return !value.IsSubIFD() && value.GetByteSize() <= kMaxEssentialValueBytes;
}

template <size_t N>
void KeepOnly(XpTiffTagIFD& ifd, const uint16_t (&tags)[N]) {
  for (int32_t index = ifd.GetCount() - 1; index >= 0; --index) {
    if (!IsEssential(*ifd.GetAt(index), tags)) {
      ifd.RemoveAt(index);
    }
  }
}

// Cuts tags down to IFD 0's and the Exif IFD's essential entries.
void KeepEssentialTags(XpTiffTagManager& tags) {
  XpTiffTagDataIFD* root = tags.GetRoot();
  for (int32_t index = root->GetIFDCount() - 1; index >= 1; --index) {
    root->RemoveIFD(index);
  }
  XpTiffTagIFD* ifd0 = tags.GetIFD(0);
  if (ifd0 == nullptr) {
    return;
  }
  KeepOnly(*ifd0, kIfd0Essential);
  XpTiffTagDataBase* exifValue = ifd0->FindTag(kXpTiffTagExifIFD, false);
  if (exifValue == nullptr) {
    return;
  }
  auto* exifHolder = static_cast<XpTiffTagDataIFD*>(exifValue);
  for (int32_t index = exifHolder->GetIFDCount() - 1; index >= 1; --index) {
    exifHolder->RemoveIFD(index);
  }
  if (XpTiffTagIFD* exif = tags.GetExifIFD()) {
    KeepOnly(*exif, kExifEssential);
  }
}

}  // namespace

XpResult XpImageIoJpeg::BuildExifBlock(XpMemoryFile& output, const Picture& picture,
                                       XpTiffTagManager& tags, bool colourTagged,
                                       bool resetOrientation, bool thumbnailFile,
                                       const XpDateTime* date) {
  const XpStringA dateText = thumbnailFile && date != nullptr ? XpTiffTagFormatDateTime(*date)
                                                               : XpTiffTagFormatNow();
  if (tags.GetRoot() == nullptr && !tags.Reset()) {
    return kXpErrOutOfMemory;
  }
  XpTiffTagIFD* ifd0 = TopLevelIFD(*tags.GetRoot(), 0);
  if (ifd0 == nullptr) {
    return kXpErrOutOfMemory;
  }
  EntryWriter ifd0Writer(*ifd0);
  FillIfd0(ifd0Writer, name_.CStr(), dateText.CStr(), colourTagged, resetOrientation);
  XpTiffTagIFD* exif = SubIFD(*ifd0, kXpTiffTagExifIFD);
  if (exif == nullptr || !ifd0Writer.Ok()) {
    return kXpErrOutOfMemory;
  }
  // A copy leaves out a maker note it cannot keep in place; the source
  // keeps it.
  if (tags.MakerNoteMoves()) {
    tags.RemoveMakerNote();
  }
  EntryWriter exifWriter(*exif);
  FillExif(*exif, exifWriter, picture.size, dateText.CStr(), colourTagged);
  XpTiffTagIFD* interop = SubIFD(*exif, kXpTiffTagInteropIFD);
  if (interop == nullptr || !exifWriter.Ok()) {
    return kXpErrOutOfMemory;
  }
  EntryWriter interopWriter(*interop);
  interopWriter.Ascii(kTagInteropIndex, InteropIndex(thumbnailFile, colourTagged));
  interopWriter.Undefined(kTagInteropVersion, kInteropVersion);
  if (!interopWriter.Ok()) {
    return kXpErrOutOfMemory;
  }
  XpMemoryFile thumbnail;
  if (!thumbnailFile) {
    const XpResult built = BuildThumbnail(tags, picture, resetOrientation, thumbnail);
    if (built != kXpOk) {
      return built;
    }
  }
  return XpJpegWriteExifBlock(output, tags, static_cast<const uint8_t*>(thumbnail.GetBuffer()),
                              thumbnail.GetDataSize());
}

XpResult XpImageIoJpeg::BuildThumbnail(XpTiffTagManager& tags, const Picture& picture,
                                       bool resetOrientation, XpMemoryFile& thumbnail) {
  XpTiffTagIFD* ifd1 = TopLevelIFD(*tags.GetRoot(), 1);
  if (ifd1 == nullptr) {
    return kXpErrOutOfMemory;
  }
  // The source's thumbnail tags (strips, sizes, ...) described another
  // picture: only the new thumbnail's tags are written.
  while (ifd1->GetCount() > 0) {
    ifd1->RemoveAt(ifd1->GetCount() - 1);
  }
  EntryWriter writer(*ifd1);
  writer.Short(kTagCompression, kCompressionJpeg);
  // The thumbnail is made from the pixels, which IFD 0's Orientation
  // describes.
  const uint16_t orientation =
      resetOrientation ? kOrientationUpright : tags.GetIFD(0)->GetShort(kTagOrientation);
  if (orientation != 0) {
    writer.Short(kTagOrientation, orientation);
  }
  writer.Rational(kTagXResolution, kResolutionDpi, 1);
  writer.Rational(kTagYResolution, kResolutionDpi, 1);
  writer.Short(kTagResolutionUnit, kResolutionUnitInch);

  const XpPixmapBase& source = *picture.thumbnailSource;
  std::unique_ptr<XpPixmapBase> converted;
  if (picture.kind == PixmapKind::kYCbCr) {
    converted.reset(XpPixmapYCbCrToBGR(static_cast<const XpPixmapYCbCr444&>(source)));
    if (converted == nullptr) {
      return kXpErrOutOfMemory;
    }
  }
  const XpResult encoded = EncodeThumbnail(thumbnail, converted != nullptr ? *converted : source,
                                           picture.size, true, false, nullptr, 0);
  if (encoded != kXpOk) {
    return encoded;
  }
  writer.Long(kTagJpegLength, static_cast<uint32_t>(thumbnail.GetDataSize()));
  return writer.Ok() && XpJpegSetThumbnailOffset(tags) ? kXpOk : kXpErrOutOfMemory;
}

bool XpJpegSetThumbnailOffset(XpTiffTagManager& tags) {
  XpTiffTagIFD* ifd1 = tags.GetIFD(1);
  if (ifd1 == nullptr || ifd1->SetLong(kTagJpegOffset, 0) < 0) {
    return false;
  }
  // The thumbnail appended to the block starts where the block ends; the
  // inline offset does not change the layout.
  const uint64_t size = WrittenSize(tags);
  return size > 0 && ifd1->SetLong(kTagJpegOffset, static_cast<uint32_t>(size)) >= 0;
}

bool XpJpegSetStripOffsets(XpTiffTagManager& tags, const std::vector<uint32_t>& stripLengths) {
  XpTiffTagIFD* ifd1 = tags.GetIFD(1);
  if (ifd1 == nullptr || stripLengths.empty()) {
    return false;
  }
  const auto count = static_cast<uint32_t>(stripLengths.size());
  auto* offsets = XpTiffTagData<XpTiffTagTypeLong>::Create(kTagStripOffsets, count);
  if (offsets == nullptr) {
    return false;
  }
  ifd1->SetEntry(offsets);
  // The strips appended to the block follow one another from where it
  // ends; the offsets take the same room whatever their values.
  uint64_t at = WrittenSize(tags);
  if (at == 0) {
    return false;
  }
  for (uint32_t index = 0; index < count; ++index) {
    if (at > std::numeric_limits<uint32_t>::max()) {
      return false;
    }
    const auto offset = static_cast<uint32_t>(at);
    std::memcpy(offsets->GetData() + sizeof offset * index, &offset, sizeof offset);
    at += stripLengths[index];
  }
  return true;
}

[[nodiscard]] XpResult XpJpegWriteExifBlock(XpMemoryFile& output, XpTiffTagManager& tags,
                                            const uint8_t* thumbnail, uint64_t thumbnailSize) {
  const auto thumbnailBytes = [&tags, thumbnailSize] {
    return tags.GetIFD(1) != nullptr ? thumbnailSize : 0;
  };
  XpResult result = WriteBlockOnce(output, tags, thumbnail, thumbnailBytes());
  if (result != kXpOk || FitsOneSegment(output)) {
    return result;
  }
  if (tags.RemoveMakerNote()) {
    if (tags.GetIFD(1) != nullptr && !XpJpegSetThumbnailOffset(tags)) {
      return kXpErrOutOfMemory;
    }
    result = WriteBlockOnce(output, tags, thumbnail, thumbnailBytes());
    if (result != kXpOk || FitsOneSegment(output)) {
      return result;
    }
  }
  if (tags.GetIFD(1) != nullptr) {
    for (int32_t index = tags.GetIFDCount() - 1; index >= 1; --index) {
      tags.GetRoot()->RemoveIFD(index);
    }
    result = WriteBlockOnce(output, tags, nullptr, 0);
    if (result != kXpOk || FitsOneSegment(output)) {
      return result;
    }
  }
  if (tags.GetRoot() == nullptr) {
    return kXpOk;
  }
  KeepEssentialTags(tags);
  return WriteBlockOnce(output, tags, nullptr, 0);
}

bool XpJpegEnsureExifVersion(XpTiffTagIFD& exif) {
  EntryWriter writer(exif);
  EnsureExifVersion(exif, writer);
  return writer.Ok();
}

void XpJpegPrepareSourceTags(XpTiffTagManager& tags, bool adobeRgb) {
  XpTiffTagIFD* ifd0 = tags.GetIFD(0);
  RemoveTags(ifd0, kIfd0Dropped);
  if (!adobeRgb) {
    RemoveTags(ifd0, kIfd0ColourTags);
  }
  RemoveTags(tags.GetExifIFD(), kExifDropped);
  RemoveTags(tags.GetIFD(1), kIfd1Dropped);
  RemoveTags(tags.GetMakerNoteIFD(), kMakerNoteDropped);
  XpTiffTagDataIFD* root = tags.GetRoot();
  if (root == nullptr) {
    return;
  }
  for (int32_t index = root->GetIFDCount() - 1; index >= kKeptTopLevelIFDs; --index) {
    root->RemoveIFD(index);
  }
}
