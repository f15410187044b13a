#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/geometry/XpRect.h"
#include "imaging/io/IXpImageProgress.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "platform/fs/XpAbstractFile.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/text/XpStringA.h"
#include "platform/time/XpDateTime.h"

class XpGPSInfo;
class XpJpegDecompressor;
class XpTiffTagIFD;
class XpTiffTagManager;
class icc_profile;

// The JPEG reader and writer. The writer makes baseline 4:2:2 JPEG files
// that carry an Exif APP1 block rebuilt from the source's tags with a
// 160 x 120 thumbnail, and the source's colour profile in APP2 segments.
//
// Every write takes the pixmap (not owned), the source's tags (may be
// empty; never changed: the writer works on a clone), an observer (may be
// null), a region (all zero: the whole picture; clamped to the picture) and
// two flags: adobeRgb converts the pixels to Adobe RGB and tags them so,
// resetOrientation writes Orientation 1. The path forms write a numbered
// temporary file in the target's folder, flush it to the disk and rename it
// over the target: on any failure the target is left as it was and the
// temporary file is removed.
//
// Results: kXpErrImageNoWriterName without a name, kXpErrImageBadRegion for
// a region empty once clamped, kXpErrImageNotSupported for a profile beyond
// 255 segments, kXpErrOutOfMemory, kXpErrImaging for a library error,
// kXpErrImageStopped when the observer stops, kXpErrBadArgument for a
// missing pixmap or one of another kind, and the result of a failing file
// operation.
//
// Example: a BGR 24-bit pixmap written as a JPEG file, whole and upright,
// then its size and tags read back.
//
//   XpImageIoJpeg jpeg(XpImageIoJpeg::kDefaultQuality, u"Orvane");
//   XpResult result = jpeg.WriteToPath(pixmap, XpSharedPtr<XpTiffTagManager>(), path,
//                                      /*observer=*/nullptr, /*region=*/XpRect(),
//                                      /*adobeRgb=*/false, /*resetOrientation=*/true);
//   if (XpFailed(result)) return result;  // the old file at path, if any, stays
//   XpSize size;
//   result = jpeg.ReadImageSizeFlag0FromPath(path, &size);
//   const XpSharedPtr<XpTiffTagManager> tags = jpeg.ReadTagsFromPath(path);
class XpImageIoJpeg : public XpImageIo {
 public:
  static constexpr int32_t kDefaultQuality = 70;
  // Thumbnail files stay below this size.
  static constexpr int64_t kThumbnailFileLimit = 12284;
  static constexpr int32_t kMinThumbnailQuality = 10;
  static constexpr int32_t kMaxQuality = 100;
  static constexpr int32_t kThumbnailWidth = 160;
  static constexpr int32_t kThumbnailHeight = 120;
  // A picture written to a path goes first to the first free "<n>.temp"
  // beside it, an edited or transformed one to the first free
  // "<name>E-<n>" or "<name>-<n>"; n below this.
  static constexpr int32_t kTempNameAttempts = 1000;

  XpImageIoJpeg();
  // name is the product name: Exif Software, and Model when the source has
  // none.
  XpImageIoJpeg(int32_t quality, const XpString& name);
  ~XpImageIoJpeg() override;

  int32_t GetQuality() const { return quality_; }
  const XpStringA& GetName() const { return name_; }
  // Whether a picture written to a path is synced to its medium before it
  // is renamed into place (the default). A scratch file that is copied
  // elsewhere afterwards need not wait for the medium.
  void SetSyncOnWrite(bool sync) { syncOnWrite_ = sync; }

  // BGR 24-bit pixmaps.
  [[nodiscard]] XpResult WriteToPath(const XpPixmapBase* pixmap,
                                     XpSharedPtr<XpTiffTagManager> sourceTags, const XpString& path,
                                     IXpImageProgress* observer, const XpRect& region,
                                     bool adobeRgb, bool resetOrientation);
  [[nodiscard]] XpResult WriteToFile(const XpPixmapBase* pixmap,
                                     XpSharedPtr<XpTiffTagManager> sourceTags, XpAbstractFile& file,
                                     IXpImageProgress* observer, const XpRect& region,
                                     bool adobeRgb, bool resetOrientation);
  // YCbCr 4:4:4 pixmaps.
  [[nodiscard]] XpResult WriteYCbCrToPath(const XpPixmapYCbCr444* pixmap,
                                          XpSharedPtr<XpTiffTagManager> sourceTags,
                                          const XpString& path, IXpImageProgress* observer,
                                          const XpRect& region, bool adobeRgb,
                                          bool resetOrientation);
  [[nodiscard]] XpResult WriteYCbCrToFile(const XpPixmapYCbCr444* pixmap,
                                          XpSharedPtr<XpTiffTagManager> sourceTags,
                                          XpAbstractFile& file, IXpImageProgress* observer,
                                          const XpRect& region, bool adobeRgb,
                                          bool resetOrientation);
  // BGR 24-bit pixmaps converted to YCbCr first (kXpErrOutOfMemory when
  // that fails), then written as the YCbCr forms do.
  [[nodiscard]] XpResult WriteToPathAsYCbCr(const XpPixmapBase* pixmap,
                                            XpSharedPtr<XpTiffTagManager> sourceTags,
                                            const XpString& path, IXpImageProgress* observer,
                                            const XpRect& region, bool adobeRgb,
                                            bool resetOrientation);
  [[nodiscard]] XpResult WriteToFileAsYCbCr(const XpPixmapBase* pixmap,
                                            XpSharedPtr<XpTiffTagManager> sourceTags,
                                            XpAbstractFile& file, IXpImageProgress* observer,
                                            const XpRect& region, bool adobeRgb,
                                            bool resetOrientation);

  // Writes the JPEG stream at offset in source to path as WriteToPath
  // writes the stream's decoded picture (scale 1, stored orientation and
  // colours, whole region) with sourceTags, without holding the picture:
  // its rows are decoded and encoded one at a time, and the thumbnail is
  // made from the picture decoded at ScaleCovering of the thumbnail's
  // size. Any failure of the source's decode, a multi-scan stream beyond
  // the reader's pixel limit included, gives kXpErrImageNoTiffBlock; the
  // rest as WriteToPath.
  [[nodiscard]] XpResult ReencodeToPath(XpAbstractFile& source, int64_t offset,
                                        XpSharedPtr<XpTiffTagManager> sourceTags,
                                        const XpString& path);

  // A 160 x 120 thumbnail file of the BGR pixmap (stretched) below
  // kThumbnailFileLimit bytes: tried from startQuality (within 10-100)
  // down by step until it fits, then written to file. kXpErrImaging, and
  // nothing written, when quality 10 is not small enough (or, with a step
  // below 1, the first try is not). withExif adds an Exif block of its own
  // whose dates are date (now when null).
  [[nodiscard]] XpResult WriteWithinSizeLimit(const XpPixmapBase* pixmap, XpAbstractFile& file,
                                              int32_t startQuality, int32_t step, bool withExif,
                                              const XpDateTime* date);
  // A plain JPEG of the BGR pixmap without any APP marker, the library's
  // default sampling.
  [[nodiscard]] XpResult EncodePlain(const XpPixmapBase* pixmap, XpAbstractFile& file,
                                     int32_t quality);

  // Reading. Every operation takes the JPEG stream at offset in file. A
  // stream that does not begin with SOI, a broken APPn chain, an unreadable
  // header and any library error give kXpErrImageNoTiffBlock; failing reads
  // and seeks give their own result. The last result of a failed read stays
  // until the next one.

  // The picture as a BGR 24-bit pixmap reduced by scale (1, 2, 4 or 8, else
  // kXpErrImageBadRegion), converted from Adobe RGB to sRGB when asked and
  // the source is Adobe RGB, turned by the stored orientation when asked.
  // The observer hears 0, then every 256th row, then 100; a stop gives null
  // and kXpErrImageStopped. kXpErrImageMalformed when the decoder does not
  // deliver three components.
  XpPixmapBase* ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                           IXpImageProgress* observer, bool convertToSRGB,
                           bool applyOrientation) override;
  // ReadPixmap at the largest scale whose picture still covers size in both
  // directions (the picture turned by its orientation when asked), then
  // resized to size.
  XpPixmapBase* ReadPixmapScaled(XpAbstractFile& file, int64_t offset, const XpSize& size,
                                 IXpImageProgress* observer, bool convertToSRGB,
                                 bool applyOrientation) override;
  // The largest of the scales 8, 4, 2 whose reduced picture (each side
  // rounded up) is at least wanted in both directions; else 1.
  static int32_t ScaleCovering(const XpSize& picture, const XpSize& wanted);
  // The Exif tags, with the ICC profile of the APP2 segments added to IFD 0
  // as InterColorProfile; empty without an Exif block.
  XpSharedPtr<XpTiffTagManager> ReadTags(XpAbstractFile& file, int64_t offset) override;
  // The profile of the APP2 segments, joined in file order;
  // kXpErrImageTagNotFound when there is none.
  XpSharedPtr<icc_profile> ReadIccProfile(XpAbstractFile& file, int64_t offset) override;
  // The embedded thumbnail (a Photoshop thumbnail resource, else the JPEG of
  // Exif IFD 1) without the black bars of a letterboxed 160 x 120 one,
  // turned by the orientation and converted to sRGB; null when there is
  // none. The main picture is not decoded.
  XpPixmapBase* ReadOrientedPixmap(XpAbstractFile& file, int64_t offset) override;
  // Positions the file at the TIFF header of the Exif APP1 block;
  // kXpErrImageTagNotFound when no Exif APP1 stands before the frame.
  [[nodiscard]] XpResult LocateTiffBlock(XpAbstractFile& file, int64_t offset) override;
  // The frame's size; unless keepStoredOrientation, swapped for an Exif
  // orientation of 5 to 8.
  [[nodiscard]] XpResult ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                       bool keepStoredOrientation) override;

  // Lossless edits of an existing JPEG file: the picture's coefficients are
  // copied, never decoded, and the Exif APP1 block is rebuilt from the
  // file's own tags with DateTime set to now. The new file is written
  // beside the edited one (its path with "E-<n>" or "-<n>" appended),
  // synced, given the original's permission bits and renamed over it in
  // one step: on any failure the original is left byte for byte and the
  // temporary file is removed. A symbolic link is edited at its target.
  // kXpErrFileNotFound when the path names no file.

  // Sets maker-note tag 0x2002 to value; kXpErrImageTagNotFound without a
  // maker note.
  [[nodiscard]] XpResult RewriteTagsInPlace(const XpString& path, uint32_t value) override;
  // Exif ImageUniqueID: both halves as 16 lower-case hex digits;
  // kXpErrImageTagNotFound without an Exif IFD.
  [[nodiscard]] XpResult WriteImageUniqueId(const XpString& path, uint64_t first, uint64_t second);
  // Puts the set's present tags into the GPS IFD, made when missing;
  // replace starts from an empty GPS IFD.
  [[nodiscard]] XpResult WriteGpsInfo(const XpString& path, const XpGPSInfo& info, bool replace);
  // kXpErrImageTagNotFound without tags or without the IFD.
  [[nodiscard]] XpResult ReadGpsInfo(XpAbstractFile& file, int64_t offset, XpGPSInfo& info);
  [[nodiscard]] XpResult ReadGpsInfoFromPath(const XpString& path, XpGPSInfo& info);
  [[nodiscard]] XpResult ReadImageUniqueId(XpAbstractFile& file, int64_t offset, uint64_t& first,
                                           uint64_t& second);
  [[nodiscard]] XpResult ReadImageUniqueIdFromPath(const XpString& path, uint64_t& first,
                                                   uint64_t& second);
  // Writes a copy of source turned by transform (a code of
  // XpJpegCoefficientTransform) to destination, which must not exist
  // (kXpErrAlreadyExists). With applyOrientation the stored orientation is
  // undone first and the copy's Orientation is 1. kXpErrImageNotSupported
  // for a picture with partial iMCUs. The copy is written to a temporary
  // file beside destination and renamed into place without replacing
  // anything; on failure neither file remains.
  [[nodiscard]] XpResult TransformLossless(const XpString& source, const XpString& destination,
                                           int32_t transform, bool applyOrientation);

  // The last decoded file's Exif orientation (0 without one), its frame
  // size (0 x 0 without IFD 0) and whether it is Adobe RGB.
  uint16_t GetOrientation() const { return orientation_; }
  uint32_t GetWidth() const { return width_; }
  uint32_t GetHeight() const { return height_; }
  bool IsAdobeRgbSource() const { return adobeRgbSource_; }

 private:
  enum class DecodeMode {
    // The main picture.
    kNormal,
    // The embedded thumbnail only.
    kThumbnail,
    // A thumbnail's own stream: the main picture, without reading tags.
    kEmbedded,
  };

  enum class PixmapKind { kBGR, kYCbCr };

  struct Job {
    const XpPixmapBase* pixmap;
    PixmapKind kind;
    XpTiffTagManager* sourceTags;
    IXpImageProgress* observer;
    XpRect region;
    bool adobeRgb;
    bool resetOrientation;
  };

  // What an encode writes: the picture's size, the pixels of kind its
  // thumbnail is made from (the picture itself, or the picture reduced),
  // and its rows in the colour space of kind.
  struct Picture {
    XpSize size;
    PixmapKind kind;
    const XpPixmapBase* thumbnailSource;
    const uint8_t* (*rows)(void* context, int32_t y);
    void* rowContext;
  };
  // Writes into an open file.
  using Encoder = std::function<XpResult(XpAbstractFile&)>;

  // A new empty tag tree in Intel order; null when memory ran out.
  static XpTiffTagManager* NewTagTree();

  // The temporary-file protocol around encode.
  [[nodiscard]] XpResult WriteViaTempFile(const XpString& path, const Encoder& encode);
  // Region, tag preparation, colour conversion and profile extraction.
  [[nodiscard]] XpResult EncodeRegion(const Job& job, XpAbstractFile& file);
  // The tag clone and preparation of every write, and the profile of IFD 0
  // in iccBytes; null tags when that failed, with the reason in result.
  std::unique_ptr<XpTiffTagManager> PrepareTags(XpTiffTagManager* sourceTags, bool adobeRgb,
                                                XpMemoryFile& iccBytes, XpResult& result);
  // ReencodeToPath into an open file.
  [[nodiscard]] XpResult EncodeStreamed(XpAbstractFile& source, int64_t offset,
                                        XpTiffTagManager* sourceTags, XpAbstractFile& file);
  // The libjpeg run with the Exif and ICC markers.
  [[nodiscard]] XpResult EncodeWithMarkers(const Picture& picture, XpTiffTagManager& tags,
                                           XpAbstractFile& file, IXpImageProgress* observer,
                                           bool colourTagged, bool resetOrientation,
                                           XpMemoryFile& iccBytes);
  // Fills tags and writes the APP1 payload into output.
  [[nodiscard]] XpResult BuildExifBlock(XpMemoryFile& output, const Picture& picture,
                                        XpTiffTagManager& tags, bool colourTagged,
                                        bool resetOrientation, bool thumbnailFile,
                                        const XpDateTime* date);
  // The thumbnail IFD and its JPEG.
  [[nodiscard]] XpResult BuildThumbnail(XpTiffTagManager& tags, const Picture& picture,
                                        bool resetOrientation, XpMemoryFile& thumbnail);
  // The 160 x 120 JPEG of a BGR pixmap; with keepAspect, the pixmap
  // fitted inside it at the aspect of a picture of size.
  [[nodiscard]] XpResult EncodeThumbnail(XpAbstractFile& output, const XpPixmapBase& pixmap,
                                         const XpSize& size, bool keepAspect, bool withExif,
                                         const XpDateTime* date, int32_t quality);

  // The reading decoder; the result is also the last result.
  XpPixmapBase* Decode(XpAbstractFile& file, int64_t offset, DecodeMode mode, int32_t scale,
                       IXpImageProgress* observer);
  // Notes orientation, size and colour space of a file with IFD 0.
  void RecordPicture(const XpTiffTagManager* tags, uint32_t width, uint32_t height);
  // The thumbnail of a thumbnail-mode decode, from the kept markers.
  XpPixmapBase* DecodeThumbnail(const XpJpegDecompressor& decompressor,
                                const XpTiffTagManager* tags);
  // Decodes a stream held in memory.
  XpPixmapBase* DecodeEmbedded(const uint8_t* bytes, size_t size);
  // The bytes of the APP2 profile segments in file order, in iccBytes
  // (opened here); kXpErrImageTagNotFound when there are none.
  [[nodiscard]] XpResult ReadIccBytes(XpAbstractFile& file, int64_t offset, XpMemoryFile& iccBytes);
  // The thumbnail cut to the main picture's aspect, turned and converted.
  XpPixmapBase* FinishThumbnail(XpPixmapBase* thumbnail);

  // A maker-note preview picture outside the Exif block: offset from the
  // TIFF header, length, and whether tags 0x88/0x89 of the 0xB028 IFD
  // hold it (else maker-note tag 0x2001).
  struct PreviewRef {
    uint32_t offset = 0;
    uint32_t length = 0;
    bool inSubIFD = false;
  };
  // One edit of a rewrite's tag tree.
  using TagEdit = std::function<XpResult(XpTiffTagManager&)>;

  // The claim, rewrite, sync and replace around RewriteFileTags; pattern
  // is the temporary name's suffix with one %d.
  [[nodiscard]] XpResult EditInPlace(const XpString& path, const char16_t* pattern,
                                     const TagEdit& edit);
  // Reads the source's tags, applies the edit, rebuilds the block and
  // copies the picture into destination.
  [[nodiscard]] XpResult RewriteFileTags(XpAbstractFile& source, XpAbstractFile& destination,
                                         const TagEdit& edit);
  // DateTime, ExifVersion, the emptied maker-note preview tags and the
  // pruned IFDs of every rewrite; the preview's place in preview. Nothing
  // changes without IFD 0. kXpErrOutOfMemory when a value cannot be made.
  [[nodiscard]] static XpResult PrepareTagsForRewrite(XpTiffTagManager& tags,
                                                      bool updateExifVersion, PreviewRef& preview);
  // The coefficient copy, then AppendPreview when there is a preview.
  [[nodiscard]] XpResult LosslessCopy(XpAbstractFile& source, XpAbstractFile& destination,
                                      const XpMemoryFile& block, int32_t transform,
                                      const PreviewRef& preview);
  // Pads destination to a multiple of 4096 bytes, appends the preview
  // bytes of source and patches their new offset into the block.
  [[nodiscard]] XpResult AppendPreview(XpAbstractFile& source, XpAbstractFile& destination,
                                       const PreviewRef& preview);
  // The transform's steps between the open files.
  [[nodiscard]] XpResult TransformFile(XpAbstractFile& source, XpAbstractFile& destination,
                                       int32_t transform, bool applyOrientation);
  // The source's thumbnail changed by the transform code like the picture's
  // pixels, encoded into thumbnail; false when there is none or it fails.
  bool TransformedThumbnail(XpAbstractFile& source, int32_t code, XpMemoryFile& thumbnail);

  int32_t quality_ = kDefaultQuality;
  XpStringA name_;
  uint16_t orientation_ = 0;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  bool adobeRgbSource_ = false;
  bool syncOnWrite_ = true;
};

// Removes from tags what a written picture must not carry over: the layout
// tags of IFD 0 (and its colour tags unless adobeRgb), FileSource and
// SceneType, the names and date of IFD 1, the maker note's private tags,
// and every top-level IFD after the second.
void XpJpegPrepareSourceTags(XpTiffTagManager& tags, bool adobeRgb);

// ExifVersion of the Exif IFD: a version newer than "0221" stays, anything
// else becomes "0221". False when memory ran out.
bool XpJpegEnsureExifVersion(XpTiffTagIFD& exif);
// Sets IFD 1's JPEGInterchangeFormat to where a thumbnail appended to the
// block written from tags starts; false without IFD 1 or memory.
bool XpJpegSetThumbnailOffset(XpTiffTagManager& tags);
// Sets IFD 1's StripOffsets, as LONG, to where strips of the given lengths
// appended one after the other to the block written from tags start;
// false without IFD 1, strips or memory.
bool XpJpegSetStripOffsets(XpTiffTagManager& tags, const std::vector<uint32_t>& stripLengths);
// The APP1 payload: "Exif", two zeros, the TIFF block of tags, then the
// thumbnail bytes while tags hold IFD 1. When that exceeds one marker
// segment, the maker note, then IFD 1 with the thumbnail, then all but
// Make, Model, Orientation, DateTime and the Exif IFD's DateTimeOriginal
// and DateTimeDigitized are left out of tags until it fits (an essential
// value above 4096 bytes goes too, so the last form always fits). The
// result is the memory file's.
[[nodiscard]] XpResult XpJpegWriteExifBlock(XpMemoryFile& output, XpTiffTagManager& tags,
                                            const uint8_t* thumbnail, uint64_t thumbnailSize);
