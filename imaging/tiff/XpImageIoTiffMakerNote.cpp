#include <cstdint>
#include <limits>

#include "imaging/tags/XpTiffInPlaceEdit.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tiff/XpImageIoTiff.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpPathQueries.h"

namespace {

constexpr int64_t kHeaderIFD0Field = 4;
constexpr int64_t kIFDEntryBytes = 12;
constexpr int64_t kIFDCountBytes = 2;

XpByteOrder OrderOf(const XpTiffTagManager& tags) {
  return tags.IsBigEndian() ? kXpByteOrderBigEndian : kXpByteOrderLittleEndian;
}

// The next-IFD link of the IFD 0 the header points at.
[[nodiscard]] XpResult ReadIFD0NextLink(XpAbstractFile& file, XpByteOrder order, uint32_t& next) {
  uint32_t ifd0 = 0;
  uint16_t count = 0;
  XpResult result = file.Seek(kHeaderIFD0Field, kXpSeekBegin);
  if (XpSucceeded(result)) {
    result = file.ReadUInt32(ifd0, order);
  }
  if (XpSucceeded(result)) {
    result = file.Seek(ifd0, kXpSeekBegin);
  }
  if (XpSucceeded(result)) {
    result = file.ReadUInt16(count, order);
  }
  if (XpSucceeded(result)) {
    result = file.Seek(int64_t{ifd0} + kIFDCountBytes + kIFDEntryBytes * count, kXpSeekBegin);
  }
  if (XpSucceeded(result)) {
    result = file.ReadUInt32(next, order);
  }
  return result;
}

}  // namespace

XpResult XpImageIoTiff::RewriteTagsInPlace(const XpString& path, uint32_t value) {
  if (!XpFileExists(path)) {
    return SetLastError(kXpErrFileNotFound);
  }
  XpFile file;
  if (XpFailed(SetLastError(file.OpenPath(path, kXpOpenReadWrite)))) {
    return GetLastError();
  }
  XpSharedPtr<XpTiffTagManager> tags = ReadTags(file, 0);
  if (!tags) {
    return SetLastError(kXpErrImageNoTiffBlock);
  }
  XpTiffTagIFD* makerNote = tags->GetMakerNoteIFD();
  if (makerNote == nullptr) {
    return SetLastError(kXpErrImageTagNotFound);
  }
  if (makerNote->HasTag(kTagMakerLong)) {
    uint32_t patched = value;
    return SetLastError(XpTiffAccessMakerLongInFile(file, 0, true, patched));
  }
  return SetLastError(AppendIFD0(file, *tags, *makerNote, value));
}

XpResult XpImageIoTiff::AppendIFD0(XpAbstractFile& file, XpTiffTagManager& tags,
                                   XpTiffTagIFD& makerNote, uint32_t value) {
  const XpByteOrder order = OrderOf(tags);
  uint32_t next = 0;
  XpResult result = ReadIFD0NextLink(file, order, next);
  if (XpFailed(result)) {
    return result;
  }
  int64_t end = file.GetSize();
  if (end < 0) {
    return kXpErrImageNoTiffBlock;
  }
  if (XpFailed(result = file.Seek(end, kXpSeekBegin))) {
    return result;
  }
  // IFDs start on a word boundary.
  if ((end & 1) != 0) {
    if (XpFailed(result = file.WriteUInt8(0, order))) {
      return result;
    }
    ++end;
  }
  if (end > std::numeric_limits<uint32_t>::max()) {
    return kXpErrImageNotSupported;
  }
  const uint32_t offset = static_cast<uint32_t>(end);
  XpTiffTagIFD* ifd0 = tags.GetIFD(0);
  if (ifd0 == nullptr || makerNote.SetLong(kTagMakerLong, value) < 0) {
    return kXpErrOutOfMemory;
  }
  // Written where the file ends, linked to the IFDs that followed the old one.
  const uint64_t expected = ifd0->GetSize(true);
  const uint64_t written = tags.WriteIFD(file, *ifd0, offset, next);
  if (written < expected) {
    return kXpErrDiskFull;
  }
  // Last: only now does the header point at the new IFD 0.
  if (XpFailed(result = file.Seek(kHeaderIFD0Field, kXpSeekBegin))) {
    return result;
  }
  return file.WriteUInt32(offset, order);
}
