#include "imaging/tags/XpTiffInPlaceEdit.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "imaging/tags/XpTiffTagData.h"
#include "imaging/tags/XpTiffTagFormat.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "platform/fs/XpFile.h"
#include "platform/memory/XpByteOrder.h"

namespace {

constexpr int64_t kHeaderBytes = 8;
constexpr uint16_t kTiffMagic = 42;
constexpr int64_t kCountBytes = 2;
constexpr int64_t kEntryBytes = 12;
constexpr int64_t kFieldOffset = 8;
constexpr int64_t kCountOffset = 4;
constexpr int64_t kFieldBytes = 4;
constexpr int64_t kCountAndFieldBytes = 8;
constexpr int64_t kNextLinkBytes = 4;
constexpr uint32_t kDateBytes = 20;
constexpr uint32_t kDateCharacters = kDateBytes - 1;
constexpr uint32_t kMarkerBytesChecked = 10;
constexpr uint32_t kMarkerSignIndex = 10;
constexpr uint32_t kMaxMakerTag2001Count = 0x40000000;
constexpr uint32_t kAnyCount = 0xFFFFFFFF;
constexpr int32_t kQuarterTurns = 4;
constexpr uint16_t kOrientationSequence[kQuarterTurns] = {1, 8, 3, 6};

// The quarter turns that lead from upright to an orientation.
int32_t TurnsOf(uint16_t orientation) {
  switch (orientation) {
    case 3:
      return 2;
    case 6:
      return 3;
    case 8:
      return 1;
    default:
      return 0;
  }
}

// One entry found in the file.
struct Entry {
  int32_t index = -1;
  // Absolute position of the 12-byte entry.
  int64_t position = 0;
  uint8_t field[kFieldBytes] = {};
};

// What to look for in an IFD.
struct EntryQuery {
  uint16_t tag;
  uint16_t type;
  uint16_t alternativeType;
  uint32_t lowestCount;
  uint32_t highestCount;
  bool valueIsInline;
};

// A TIFF block in an open file, as the edits walk it.
class Block {
 public:
  Block(XpAbstractFile& file, int64_t base) : file_(file), base_(base) {}

  // Reads the header; kXpErrImageNoTiffBlock when it is not valid or IFD 0
  // lies at the end of the file.
  XpResult Open() {
    fileSize_ = file_.GetSize();
    uint8_t header[kHeaderBytes];
    if (base_ < 0 || fileSize_ < 0 || base_ + kHeaderBytes > fileSize_ ||
        XpFailed(ReadAt(base_, header, sizeof header))) {
      return kXpErrImageNoTiffBlock;
    }
    if (header[0] == 'I' && header[1] == 'I') {
      bigEndian_ = false;
    } else if (header[0] == 'M' && header[1] == 'M') {
      bigEndian_ = true;
    } else {
      return kXpErrImageNoTiffBlock;
    }
    if (XpLoad16(header + 2, bigEndian_) != kTiffMagic) {
      return kXpErrImageNoTiffBlock;
    }
    ifd0_ = base_ + XpLoad32(header + 4, bigEndian_);
    return fileSize_ > ifd0_ + kCountBytes ? kXpOk : kXpErrImageNoTiffBlock;
  }

  // For a search without the header: the byte order given, the file's size.
  void SetLayout(bool bigEndian) {
    bigEndian_ = bigEndian;
    fileSize_ = file_.GetSize();
  }

  int64_t Base() const { return base_; }
  int64_t FileSize() const { return fileSize_; }
  int64_t IFD0() const { return ifd0_; }
  bool IsBigEndian() const { return bigEndian_; }
  XpAbstractFile& File() { return file_; }

  std::optional<Entry> Find(int64_t ifd, const EntryQuery& query) {
    uint8_t countBytes[kCountBytes];
    if (XpFailed(ReadAt(ifd, countBytes, sizeof countBytes))) {
      return std::nullopt;
    }
    const uint16_t count = XpLoad16(countBytes, bigEndian_);
    std::vector<uint8_t> table(static_cast<size_t>(count) * kEntryBytes);
    const uint64_t wholeEntries = ReadSome(ifd + kCountBytes, table.data(), table.size()) /
                                  static_cast<uint64_t>(kEntryBytes);
    for (uint64_t index = 0; index < wholeEntries; ++index) {
      const uint8_t* bytes = table.data() + index * kEntryBytes;
      if (Matches(bytes, query)) {
        Entry entry;
        entry.index = static_cast<int32_t>(index);
        entry.position = ifd + kCountBytes + static_cast<int64_t>(index) * kEntryBytes;
        std::memcpy(entry.field, bytes + kFieldOffset, kFieldBytes);
        return entry;
      }
    }
    return std::nullopt;
  }

  // The absolute position of the IFD that ifd links to; 0 when there is
  // none, the link cannot be read or it leads back to ifd.
  int64_t NextIFD(int64_t ifd) {
    uint8_t countBytes[kCountBytes];
    if (XpFailed(ReadAt(ifd, countBytes, sizeof countBytes))) {
      return 0;
    }
    const int64_t count = XpLoad16(countBytes, bigEndian_);
    uint8_t link[kNextLinkBytes];
    if (XpFailed(ReadAt(ifd + kCountBytes + count * kEntryBytes, link, sizeof link))) {
      return 0;
    }
    const uint32_t offset = XpLoad32(link, bigEndian_);
    if (offset == 0 || base_ + offset == ifd) {
      return 0;
    }
    return base_ + offset;
  }

  // The Exif IFD: tag 34665, LONG or IFD, count 1, in IFD 0.
  std::optional<int64_t> ExifIFD() {
    const std::optional<Entry> entry =
        Find(ifd0_, {kXpTiffTagExifIFD, kXpTiffTypeLong, kXpTiffTypeIfd, 1, 1, true});
    if (!entry) {
      return std::nullopt;
    }
    return base_ + Field32(*entry);
  }

  // The IFD of a marked maker note in the Exif IFD: behind the marker,
  // whose sign byte must not be above 0.
  std::optional<int64_t> MakerNoteIFD() {
    const std::optional<int64_t> exif = ExifIFD();
    if (!exif) {
      return std::nullopt;
    }
    const std::optional<Entry> entry =
        Find(*exif, {kXpTiffTagMakerNote, kXpTiffTypeUndefined, 0, kXpTiffMakerNoteMarkerSize,
                     kAnyCount, true});
    if (!entry) {
      return std::nullopt;
    }
    const int64_t start = base_ + Field32(*entry);
    uint8_t marker[kXpTiffMakerNoteMarkerSize];
    if (XpFailed(ReadAt(start, marker, sizeof marker)) ||
        std::memcmp(marker, kXpTiffMakerNoteMarker, kMarkerBytesChecked) != 0 ||
        static_cast<int8_t>(marker[kMarkerSignIndex]) > 0) {
      return std::nullopt;
    }
    return start + kXpTiffMakerNoteMarkerSize;
  }

  uint16_t Field16(const Entry& entry) const { return XpLoad16(entry.field, bigEndian_); }
  uint32_t Field32(const Entry& entry) const { return XpLoad32(entry.field, bigEndian_); }

  // Whether count bytes from the absolute position lie inside the file.
  bool Holds(int64_t position, uint64_t count) const {
    return position >= 0 && position < fileSize_ &&
           count <= static_cast<uint64_t>(fileSize_ - position);
  }

  XpResult ReadAt(int64_t position, void* buffer, uint64_t count) {
    uint64_t done = 0;
    const XpResult sought = file_.Seek(position, kXpSeekBegin);
    if (XpFailed(sought)) {
      return sought;
    }
    const XpResult read = file_.Read(buffer, count, &done);
    if (XpFailed(read)) {
      return read;
    }
    return done == count ? kXpOk : kXpErrEndOfFile;
  }

  XpResult WriteAt(int64_t position, const void* buffer, uint64_t count) {
    uint64_t done = 0;
    const XpResult sought = file_.Seek(position, kXpSeekBegin);
    if (XpFailed(sought)) {
      return sought;
    }
    wrote_ = true;
    const XpResult written = file_.WriteAndFlush(buffer, count, &done);
    if (XpFailed(written)) {
      return written;
    }
    return done == count ? kXpOk : kXpErrDiskFull;
  }

  XpResult Write16At(int64_t position, uint16_t value) {
    uint8_t bytes[sizeof value];
    XpStore16(bytes, value, bigEndian_);
    return WriteAt(position, bytes, sizeof bytes);
  }

  XpResult Write32At(int64_t position, uint32_t value) {
    uint8_t bytes[sizeof value];
    XpStore32(bytes, value, bigEndian_);
    return WriteAt(position, bytes, sizeof bytes);
  }

  // Ends an edit: what it wrote into a file on disk is synced to the medium,
  // since an XpFile's Flush leaves it to the system; a file in memory has
  // nothing to sync. A failed edit keeps its own result.
  XpResult Finish(XpResult edited) {
    if (!wrote_) {
      return edited;
    }
    auto* onDisk = dynamic_cast<XpFile*>(&file_);
    if (onDisk == nullptr) {
      return edited;
    }
    const XpResult synced = onDisk->Sync();
    return XpFailed(edited) ? edited : synced;
  }

 private:
  // The bytes moved by a read that may come up short.
  uint64_t ReadSome(int64_t position, void* buffer, uint64_t count) {
    if (count == 0 || XpFailed(file_.Seek(position, kXpSeekBegin))) {
      return 0;
    }
    uint64_t done = 0;
    static_cast<void>(file_.Read(buffer, count, &done));
    return done;
  }

  bool Matches(const uint8_t* bytes, const EntryQuery& query) const {
    const uint16_t tag = XpLoad16(bytes, bigEndian_);
    const uint16_t type = XpLoad16(bytes + 2, bigEndian_);
    const uint32_t count = XpLoad32(bytes + kCountOffset, bigEndian_);
    if (tag != query.tag) {
      return false;
    }
    if (type != query.type && (query.alternativeType == 0 || type != query.alternativeType)) {
      return false;
    }
    if (count < query.lowestCount || count > query.highestCount) {
      return false;
    }
    if (query.valueIsInline) {
      return true;
    }
    const int64_t position = base_ + XpLoad32(bytes + kFieldOffset, bigEndian_);
    return Holds(position, uint64_t{count} * XpTiffFileElementSize(type));
  }

  XpAbstractFile& file_;
  int64_t base_;
  int64_t fileSize_ = 0;
  int64_t ifd0_ = 0;
  bool bigEndian_ = false;
  // Whether a write was tried, which may have changed the file.
  bool wrote_ = false;
};

// Runs edit on IFD 0 and, when that went well and IFD 0 links to one, on
// IFD 1.
template <typename Edit>
[[nodiscard]] XpResult EditIFD0AndIFD1(Block& block, Edit edit) {
  const XpResult first = edit(block.IFD0());
  if (XpFailed(first)) {
    return first;
  }
  const int64_t ifd1 = block.NextIFD(block.IFD0());
  if (ifd1 == 0) {
    return first;
  }
  return XpTiffCombineEditResults(first, edit(ifd1));
}

[[nodiscard]] XpResult RotateIFD(Block& block, int64_t ifd, int32_t quarterTurns,
                                 bool fromUpright) {
  const std::optional<Entry> entry =
      block.Find(ifd, {kTagOrientation, kXpTiffTypeShort, 0, 1, 1, true});
  if (!entry) {
    return kXpErrImageTagNotFound;
  }
  const uint16_t current = fromUpright ? kOrientationSequence[0] : block.Field16(*entry);
  const int64_t turns = int64_t{quarterTurns} + TurnsOf(current);
  const int64_t step = ((turns % kQuarterTurns) + kQuarterTurns) % kQuarterTurns;
  return block.Write16At(entry->position + kFieldOffset, kOrientationSequence[step]);
}

// The 20 bytes of a date tag; false for a date that is not valid.
bool DateBytesOf(const XpDateTime& date, char (&bytes)[kDateBytes]) {
  const XpStringA text = XpTiffTagFormatDateTime(date);
  if (text.GetLength() != static_cast<int32_t>(kDateCharacters)) {
    return false;
  }
  std::memset(bytes, 0, sizeof bytes);
  std::memcpy(bytes, text.CStr(), kDateCharacters);
  return true;
}

// Writes the date bytes into the ASCII count-20 tag of the IFD, whose 20
// bytes must lie inside the file; kXpErrImageTagNotFound when there is
// none.
[[nodiscard]] XpResult WriteDateTag(Block& block, int64_t ifd, uint16_t tag,
                                    const char (&bytes)[kDateBytes]) {
  const std::optional<Entry> entry =
      block.Find(ifd, {tag, kXpTiffTypeAscii, 0, kDateBytes, kDateBytes, false});
  if (!entry) {
    return kXpErrImageTagNotFound;
  }
  return block.WriteAt(block.Base() + block.Field32(*entry), bytes, kDateBytes);
}

}  // namespace

int64_t XpTiffFindEntryInFile(XpAbstractFile& file, int64_t ifdPosition, bool bigEndian,
                              int64_t base, uint16_t tag, uint16_t type, uint16_t alternativeType,
                              uint32_t lowestCount, uint32_t highestCount, bool valueIsInline,
                              int32_t* index) {
  Block block(file, base);
  block.SetLayout(bigEndian);
  const std::optional<Entry> entry = block.Find(
      ifdPosition, {tag, type, alternativeType, lowestCount, highestCount, valueIsInline});
  if (index != nullptr) {
    *index = entry ? entry->index : -1;
  }
  return entry ? base + block.Field32(*entry) : 0;
}

[[nodiscard]] XpResult XpTiffCombineEditResults(XpResult first, XpResult second) {
  return second != kXpOk && second != kXpErrImageTagNotFound ? second : first;
}

[[nodiscard]] XpResult XpTiffRotateOrientationInFile(XpAbstractFile& file, int64_t base,
                                                     int32_t quarterTurns, bool fromUpright) {
  Block block(file, base);
  const XpResult opened = block.Open();
  if (XpFailed(opened)) {
    return opened;
  }
  return block.Finish(EditIFD0AndIFD1(block, [&](int64_t ifd) {
    return RotateIFD(block, ifd, quarterTurns, fromUpright);
  }));
}

[[nodiscard]] XpResult XpTiffWriteDateInFile(XpAbstractFile& file, int64_t base,
                                             const XpDateTime& date, bool setFileTime) {
  Block block(file, base);
  const XpResult opened = block.Open();
  if (XpFailed(opened)) {
    return opened;
  }
  char bytes[kDateBytes];
  if (!DateBytesOf(date, bytes)) {
    return kXpErrBadArgument;
  }
  const XpResult written = block.Finish(EditIFD0AndIFD1(
      block, [&](int64_t ifd) { return WriteDateTag(block, ifd, kTagDateTime, bytes); }));
  if (XpFailed(written) || !setFileTime) {
    return written;
  }
  return file.SetTimes(nullptr, &date, nullptr);
}

[[nodiscard]] XpResult XpTiffWriteExifDateInFile(XpAbstractFile& file, int64_t base, uint16_t tag,
                                                 const XpDateTime& date) {
  Block block(file, base);
  const XpResult opened = block.Open();
  if (XpFailed(opened)) {
    return opened;
  }
  char bytes[kDateBytes];
  if (!DateBytesOf(date, bytes)) {
    return kXpErrBadArgument;
  }
  const std::optional<int64_t> exif = block.ExifIFD();
  if (!exif) {
    return kXpOk;
  }
  const XpResult written = block.Finish(WriteDateTag(block, *exif, tag, bytes));
  return written == kXpErrImageTagNotFound ? kXpOk : written;
}

[[nodiscard]] XpResult XpTiffWriteColorSpaceInFile(XpAbstractFile& file, int64_t base,
                                                   uint16_t value) {
  Block block(file, base);
  const XpResult opened = block.Open();
  if (XpFailed(opened)) {
    return opened;
  }
  const std::optional<int64_t> exif = block.ExifIFD();
  if (!exif) {
    return kXpOk;
  }
  const std::optional<Entry> entry =
      block.Find(*exif, {kTagColorSpace, kXpTiffTypeShort, 0, 1, 1, true});
  if (!entry) {
    return kXpOk;
  }
  return block.Finish(block.Write16At(entry->position + kFieldOffset, value));
}

[[nodiscard]] XpResult XpTiffAccessMakerLongInFile(XpAbstractFile& file, int64_t base, bool write,
                                                   uint32_t& value) {
  Block block(file, base);
  const XpResult opened = block.Open();
  if (XpFailed(opened)) {
    return opened;
  }
  const std::optional<int64_t> makerNote = block.MakerNoteIFD();
  if (!makerNote) {
    return kXpErrImageTagNotFound;
  }
  const std::optional<Entry> entry =
      block.Find(*makerNote, {kTagMakerLong, kXpTiffTypeLong, 0, 1, 1, true});
  if (!entry) {
    return kXpErrImageTagNotFound;
  }
  if (write) {
    return block.Finish(block.Write32At(entry->position + kFieldOffset, value));
  }
  value = block.Field32(*entry);
  return kXpOk;
}

[[nodiscard]] XpResult XpTiffSetMakerSubValueInFile(XpAbstractFile& file, int64_t base,
                                                    uint32_t value) {
  Block block(file, base);
  const XpResult opened = block.Open();
  if (XpFailed(opened)) {
    return opened;
  }
  const std::optional<int64_t> makerNote = block.MakerNoteIFD();
  if (!makerNote) {
    return kXpOk;
  }
  const std::optional<Entry> pointer =
      block.Find(*makerNote, {kXpTiffTagB028IFD, kXpTiffTypeLong, 0, 1, 1, true});
  if (!pointer) {
    return kXpOk;
  }
  const std::optional<Entry> entry = block.Find(
      base + block.Field32(*pointer), {kTagPreviewOffset, kXpTiffTypeLong, 0, 1, 1, true});
  if (!entry) {
    return kXpOk;
  }
  return block.Finish(block.Write32At(entry->position + kFieldOffset, value));
}

[[nodiscard]] XpResult XpTiffSetMakerTag2001InFile(XpAbstractFile& file, int64_t base,
                                                   uint32_t offset, uint32_t count) {
  Block block(file, base);
  const XpResult opened = block.Open();
  if (XpFailed(opened)) {
    return opened;
  }
  const std::optional<int64_t> makerNote = block.MakerNoteIFD();
  if (!makerNote) {
    return kXpOk;
  }
  // Only the entry is rewritten, so the old value need not lie in the file.
  const std::optional<Entry> entry = block.Find(
      *makerNote,
      {kXpTiffTagMakerTag2001, kXpTiffTypeUndefined, 0, 0, kMaxMakerTag2001Count, true});
  if (!entry) {
    return kXpOk;
  }
  // Open() made sure the block starts inside the file.
  const uint64_t room = static_cast<uint64_t>(block.FileSize() - base);
  if (uint64_t{offset} + count > room) {
    return kXpErrImageTagNotFound;
  }
  uint8_t bytes[kCountAndFieldBytes];
  XpStore32(bytes, count, block.IsBigEndian());
  XpStore32(bytes + kFieldBytes, offset, block.IsBigEndian());
  return block.Finish(block.WriteAt(entry->position + kCountOffset, bytes, sizeof bytes));
}
