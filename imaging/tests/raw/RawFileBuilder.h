#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Raw files for the raw readers' tests, made from the tag writer and the
// JPEG writer.

// A plain JPEG (quality 90) of a width x height picture whose blue follows
// x and green follows y.
std::vector<uint8_t> BuildPreviewJpeg(int32_t width, int32_t height);

// Where a preview offset (tag 513) goes in a ZKP-family file.
enum class ZkpPreviewTag { kIfd0, kIfd1, kZero, kNone };

struct ZkpLayout {
  bool bigEndian = false;
  // IFD 0 size; 0 leaves the tag out.
  uint32_t width = 4000;
  uint32_t height = 3000;
  uint16_t orientation = 1;
  std::string model;
  std::string software;
  std::string dateTimeOriginal = "2009:03:03 10:20:30";
  std::string dateTime = "2009:03:03 10:20:30";
  uint16_t colorSpace = 1;
  // SubIFDs (330): how many IFDs, each of subWidth x subHeight (0: none).
  int32_t subIfdCount = 0;
  uint32_t subWidth = 0;
  uint32_t subHeight = 0;
  // Maker note: left out unless one of its tags is asked for.
  bool makerNoteMarked = false;
  int32_t modelCode = -1;
  uint32_t fullHeight = 0;
  uint32_t fullWidth = 0;
  ZkpPreviewTag previewTag = ZkpPreviewTag::kIfd0;
  int32_t previewWidth = 640;
  int32_t previewHeight = 480;
};

// A ZKP-family file: the written tag block, then the preview JPEG at the
// offset in tag 513.
std::vector<uint8_t> BuildZkp(const ZkpLayout& layout);

// Where the preview of an MRW file lies.
enum class MrwPreviewPlace { kOffsetTags, kTag2, kTag128, kTag2And128, kNone };

struct MrwLayout {
  bool bigEndian = true;
  // Bytes 0-3; empty takes "\0MRM" or "\0MRI" by the byte order.
  std::string magic;
  bool withPrd = true;
  uint32_t prdLength = 24;
  uint16_t prdWidth = 3016;
  uint16_t prdHeight = 2008;
  bool withFiller = true;
  bool withTtw = true;
  uint16_t orientation = 1;
  std::string dateTimeOriginal = "2009:03:03 10:20:30";
  uint16_t colorSpace = 1;
  MrwPreviewPlace previewPlace = MrwPreviewPlace::kOffsetTags;
  int32_t previewWidth = 1616;
  int32_t previewHeight = 1080;
  // The preview's first byte as stored (0xFF, or 0x00 as some cameras do).
  uint8_t previewFirstByte = 0xFF;
  // Bytes the preview holds instead of the JPEG when not empty.
  std::vector<uint8_t> previewBytes;
  // Replaces the length in tag 0x89 when not 0.
  uint32_t previewLengthOverride = 0;
};

// An MRW file: header, then "PRD", a filler block and "TTW" as asked; the
// TTW data is a tag block with a marked maker note, the preview behind it.
std::vector<uint8_t> BuildMrw(const MrwLayout& layout);
// The preview JPEG an MRW layout stores (first byte not forced).
std::vector<uint8_t> MrwPreviewOf(const MrwLayout& layout);
// Where the TTW data begins and ends in a built file.
struct MrwTtwSpan {
  size_t begin = 0;
  size_t end = 0;
};
MrwTtwSpan MrwTtwSpanOf(const std::vector<uint8_t>& file);
