#pragma once

#include <cstdint>

// Every TIFF, Exif and maker-note tag id the project reads or writes by
// name. Define a tag here, never again in a source file.

// Tags that the tag model itself treats specially.
inline constexpr uint16_t kXpTiffTagSubIFDs = 330;
inline constexpr uint16_t kXpTiffTagMakerTag2001 = 0x2001;
inline constexpr uint16_t kXpTiffTagExifIFD = 0x8769;
inline constexpr uint16_t kXpTiffTagGpsIFD = 0x8825;
inline constexpr uint16_t kXpTiffTagMakerNote = 37500;
inline constexpr uint16_t kXpTiffTagInteropIFD = 0xA005;
inline constexpr uint16_t kXpTiffTagB028IFD = 0xB028;

// IFD 0 and IFD 1.
inline constexpr uint16_t kTagNewSubfileType = 254;
inline constexpr uint16_t kTagImageWidth = 256;
inline constexpr uint16_t kTagImageLength = 257;
inline constexpr uint16_t kTagBitsPerSample = 258;
inline constexpr uint16_t kTagCompression = 259;
inline constexpr uint16_t kTagPhotometricInterpretation = 262;
inline constexpr uint16_t kTagImageDescription = 270;
inline constexpr uint16_t kTagMake = 271;
inline constexpr uint16_t kTagModel = 272;
inline constexpr uint16_t kTagStripOffsets = 273;
inline constexpr uint16_t kTagOrientation = 274;
inline constexpr uint16_t kTagSamplesPerPixel = 277;
inline constexpr uint16_t kTagRowsPerStrip = 278;
inline constexpr uint16_t kTagStripByteCounts = 279;
inline constexpr uint16_t kTagXResolution = 282;
inline constexpr uint16_t kTagYResolution = 283;
inline constexpr uint16_t kTagPlanarConfiguration = 284;
inline constexpr uint16_t kTagResolutionUnit = 296;
inline constexpr uint16_t kTagSoftware = 305;
inline constexpr uint16_t kTagDateTime = 306;
inline constexpr uint16_t kTagWhitePoint = 318;
inline constexpr uint16_t kTagPrimaryChromaticities = 319;
// JPEGInterchangeFormat and its length: the thumbnail of IFD 1, the
// preview of a raw file's IFD 0.
inline constexpr uint16_t kTagJpegOffset = 513;
inline constexpr uint16_t kTagJpegLength = 514;
inline constexpr uint16_t kTagYCbCrCoefficients = 529;
inline constexpr uint16_t kTagYCbCrPositioning = 531;
inline constexpr uint16_t kTagInterColorProfile = 34675;
inline constexpr uint16_t kTagDngPrivateData = 50740;

// Exif IFD.
inline constexpr uint16_t kTagExposureTime = 33434;
inline constexpr uint16_t kTagFNumber = 33437;
inline constexpr uint16_t kTagIsoSpeed = 34855;
inline constexpr uint16_t kTagExifVersion = 36864;
inline constexpr uint16_t kTagDateTimeOriginal = 36867;
inline constexpr uint16_t kTagDateTimeDigitized = 36868;
inline constexpr uint16_t kTagComponentsConfiguration = 37121;
inline constexpr uint16_t kTagShutterSpeedValue = 37377;
inline constexpr uint16_t kTagApertureValue = 37378;
inline constexpr uint16_t kTagFlash = 37385;
inline constexpr uint16_t kTagFocalLength = 37386;
inline constexpr uint16_t kTagFlashpixVersion = 40960;
inline constexpr uint16_t kTagColorSpace = 40961;
inline constexpr uint16_t kTagPixelXDimension = 40962;
inline constexpr uint16_t kTagPixelYDimension = 40963;
inline constexpr uint16_t kTagFileSource = 41728;
inline constexpr uint16_t kTagSceneType = 41729;
inline constexpr uint16_t kTagImageUniqueId = 42016;
inline constexpr uint16_t kTagGamma = 42240;

// Interoperability IFD.
inline constexpr uint16_t kTagInteropIndex = 1;
inline constexpr uint16_t kTagInteropVersion = 2;

// Maker note.
inline constexpr uint16_t kTagMakerNoteMark = 4096;
inline constexpr uint16_t kTagMakerLong = 0x2002;
inline constexpr uint16_t kTagModelCode = 0xB001;
inline constexpr uint16_t kTagFullSize = 0xB02B;

// The maker note and its 0xB028 IFD: the preview's offset and length, and
// the two tags that hold its bytes.
inline constexpr uint16_t kTagPreviewBytes = 0x0002;
inline constexpr uint16_t kTagPreviewBytesAlternative = 0x0080;
inline constexpr uint16_t kTagPreviewOffset = 0x0088;
inline constexpr uint16_t kTagPreviewLength = 0x0089;

// Whether a LONG value of the tag points at IFDs and is held as a sub-IFD
// value.
inline bool XpTiffIsPointerTag(uint16_t tag) {
  switch (tag) {
    case kXpTiffTagSubIFDs:
    case kXpTiffTagExifIFD:
    case kXpTiffTagGpsIFD:
    case kXpTiffTagMakerNote:
    case kXpTiffTagInteropIFD:
    case kXpTiffTagB028IFD:
      return true;
    default:
      return false;
  }
}

// The 12 bytes in front of a maker-note IFD: "KAVO DSC " and three zeros.
inline constexpr uint32_t kXpTiffMakerNoteMarkerSize = 12;
inline constexpr uint8_t kXpTiffMakerNoteMarker[kXpTiffMakerNoteMarkerSize] = {
    'K', 'A', 'V', 'O', ' ', 'D', 'S', 'C', ' ', 0, 0, 0};
