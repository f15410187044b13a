#pragma once

#include <cstdint>
#include <memory>

#include "imaging/tags/XpGPSPosition.h"
#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "platform/fs/XpAbstractFile.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// How Parse treats the maker note (tag 37500).
enum class XpTiffMakerNoteMode : int32_t {
  // Parsed as an IFD only when it begins with the maker-note marker.
  MakerNoteWhenMarked = 0,
  // Kept as UNDEFINED bytes.
  MakerNoteRaw = 1,
  // Always parsed as an IFD.
  MakerNoteAlways = 2,
};

// The TIFF/Exif/GPS tag tree of one picture. The root lists the top-level
// IFDs in file order (IFD 0, IFD 1 for the thumbnail, ...); IFDs own their
// values, sub-IFD values own their IFDs.
class XpTiffTagManager {
 public:
  // What one Parse may read and allocate: sub-IFD levels below a top-level
  // IFD, IFDs in all, and value bytes in all, each value also counting for
  // its bookkeeping. An IFD or value beyond a limit ends the IFD being read.
  static constexpr int32_t kMaxSubIFDDepth = 16;
  static constexpr int32_t kMaxIFDs = 1024;
  static constexpr uint64_t kMaxValueBytes = uint64_t{64} * 1024 * 1024;
  static constexpr uint64_t kValueBookkeepingBytes = 64;
  // A maker note kept as bytes is written back at its offset only when it
  // ends within this: a block beyond cannot travel in one JPEG segment.
  static constexpr uint64_t kMaxKeptMakerNoteEnd = 0x10000;

  XpTiffTagManager();
  XpTiffTagManager(const XpTiffTagManager&) = delete;
  XpTiffTagManager& operator=(const XpTiffTagManager&) = delete;
  virtual ~XpTiffTagManager();

  // Clear, then an empty root to which code adds top-level IFDs. False when
  // memory ran out.
  virtual bool Reset();
  // Builds the tree from the TIFF block at the file's current position;
  // every offset in the block is relative to that position. False, and no
  // root, when the header is not valid; otherwise true with whatever could
  // be read: a bad entry ends its IFD, and what was read before stays.
  virtual bool Parse(XpAbstractFile& file, XpTiffMakerNoteMode mode);
  // Writes the whole block at the file's current position: header, then
  // each top-level IFD with everything below it. Sorts the tree and resets
  // its sub-IFD counts on the way, so callers that must keep a tree write a
  // clone. A maker note kept as bytes (KeptMakerNote) lies at the offset
  // Parse found it at, everything else around it. Returns the bytes written
  // by the file position; 0 without root.
  virtual uint64_t Write(XpAbstractFile& file);
  virtual void Clear();
  // A deep copy; null when memory ran out.
  virtual XpTiffTagManager* Clone() const;
  virtual bool HasIFDs() const;

  XpTiffTagDataIFD* GetRoot() const { return root_.get(); }
  int32_t GetIFDCount() const;
  XpTiffTagIFD* GetIFD(int32_t index) const;
  XpTiffTagDataBase* FindTag(uint16_t tag, bool recurse) const;
  // kXpByteOrderBigEndian selects Motorola order; any other value Intel.
  void SetByteOrder(XpByteOrder order);
  bool IsBigEndian() const { return bigEndian_; }
  // Value field and count of tag 0x2001 in a maker-note IFD, as last met by
  // Parse; 0 otherwise.
  uint32_t GetMakerTag2001Offset() const { return makerTag2001Offset_; }
  uint32_t GetMakerTag2001Count() const { return makerTag2001Count_; }
  // Offset and byte size of the maker note of the Exif IFD as Parse met it
  // kept as bytes; 0 otherwise.
  uint32_t GetMakerNoteOffset() const { return makerNoteOffset_; }
  uint32_t GetMakerNoteSize() const { return makerNoteSize_; }
  // The maker note of the Exif IFD held as bytes that Write puts back at
  // the offset Parse found them at: makers store offsets from the TIFF
  // header inside them. Null when there is none, or it changed size, or
  // its place overlaps the header or lies beyond kMaxKeptMakerNoteEnd.
  const XpTiffTagDataBase* KeptMakerNote() const;
  // Whether the Exif IFD holds a maker note as bytes (not inline) that
  // Write would move to a new place, where its inner offsets break.
  bool MakerNoteMoves() const;
  // Removes the maker note of the Exif IFD; false when there was none.
  bool RemoveMakerNote();

  // The first IFD held by the sub-IFD value of tag 34665 (GPS: 34853) in
  // IFD 0, not searched below it; null when there is none.
  XpTiffTagIFD* GetExifIFD() const;
  XpTiffTagIFD* GetGPSIFD() const;
  // The latitude and longitude of the GPS IFD. False, output untouched,
  // when there is none or it is not a valid position.
  bool GetGPSPosition(XpGPSPosition& position) const;
  // The first IFD of the maker note held as sub-IFDs in the Exif IFD, and
  // the first IFD of tag 0xB028 in that; null when there is none.
  XpTiffTagIFD* GetMakerNoteIFD() const;
  XpTiffTagIFD* GetMakerSubIFD() const;

  // ExposureTime as a RATIONAL, else ShutterSpeedValue rounded to its row
  // of the APEX table. False, outputs untouched, when neither gives one.
  bool GetExposureTime(uint32_t& numerator, uint32_t& denominator) const;
  // The exposure time as display text; empty when there is none.
  XpString GetExposureText() const;
  // FNumber, else the square root of 2 to the power ApertureValue, each a
  // RATIONAL with a non-zero denominator found anywhere in the tree. False,
  // output untouched, when neither gives one.
  bool GetFNumber(double& fNumber) const;
  // The 32 hexadecimal digits of ImageUniqueID as two 64-bit numbers, the
  // first 16 digits in first. kXpErrImageTagNotFound without an Exif IFD,
  // kXpErrImageMalformed when the text is missing or not 32 hexadecimal
  // digits; the outputs are untouched on failure.
  [[nodiscard]] XpResult GetImageUniqueID(uint64_t& first, uint64_t& second) const;
  // Whether the picture is Adobe RGB: ColorSpace 65535 (uncalibrated),
  // unless IFD 0 embeds a profile that reads and whose description is
  // another.
  bool IsAdobeRGB() const;
  // Whether the first maker-note IFD, or an IFD searched below it, holds
  // tag 4096 as UNDEFINED with a non-zero first byte.
  bool HasMakerNoteMark() const;

  // Writes ifd, sorted, with everything below it at the file's current
  // position, which the block's offsets take to be offset; nextLink is its
  // next-IFD field. Returns the bytes written by the file position.
  uint64_t WriteIFD(XpAbstractFile& file, XpTiffTagIFD& ifd, uint32_t offset, uint32_t nextLink);

 private:
  struct ParseState;
  struct EntryHead;

  bool ReadHeader(ParseState& state, uint32_t& ifd0Offset);
  void ParseChain(ParseState& state, int64_t position);
  // Reads one IFD at the absolute position; false when not every entry
  // could be read. nextPosition receives the absolute position of the next
  // top-level IFD, or 0.
  bool ParseIFD(ParseState& state, XpTiffTagIFD& ifd, int64_t position, int32_t depth,
                int64_t& nextPosition);
  // Handles one entry; false ends the IFD.
  bool ParseEntry(ParseState& state, XpTiffTagIFD& ifd, const EntryHead& head,
                  bool& sawMarker);
  bool MakerNoteHasMarker(ParseState& state, uint32_t offset);
  XpTiffTagDataBase* ReadValue(ParseState& state, const EntryHead& head, uint16_t type,
                               uint32_t count);
  void ParseSubIFDs(ParseState& state, XpTiffTagIFD& ifd, int64_t position, int32_t depth,
                    bool sawMarker);
  // Parses the sub-IFDs of one value; false when a limit ended the IFD.
  bool ParseSubIFDValue(ParseState& state, XpTiffTagDataIFD& value, int64_t position,
                        int32_t depth, bool sawMarker);

  std::unique_ptr<XpTiffTagDataIFD> root_;
  bool bigEndian_ = false;
  uint32_t makerTag2001Offset_ = 0;
  uint32_t makerTag2001Count_ = 0;
  uint32_t makerNoteOffset_ = 0;
  uint32_t makerNoteSize_ = 0;
};
