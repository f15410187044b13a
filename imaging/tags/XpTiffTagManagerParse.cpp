// The parser of XpTiffTagManager: builds the tree from a TIFF block.
#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

#include "imaging/tags/XpTiffByteOrder.h"
#include "imaging/tags/XpTiffTagData.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/memory/XpByteOrder.h"

namespace {

constexpr int64_t kHeaderBytes = 8;
constexpr uint16_t kTiffMagic = 42;
constexpr int64_t kCountBytes = 2;
constexpr int64_t kEntryBytes = 12;
// Tag, type and count come before the 4-byte value field.
constexpr int64_t kEntryHeadBytes = 8;
constexpr int64_t kNextLinkBytes = 4;
constexpr uint64_t kMaxInlineBytes = 4;

// Types 4 and 13 of a pointer tag hold IFDs; other ones are plain LONG.
XpTiffTagDataBase* CreateValue(uint16_t type, uint16_t tag, uint32_t count) {
  if (type != kXpTiffTypeLong && type != kXpTiffTypeIfd) {
    return XpTiffTagDataCreate(type, tag, count);
  }
  if (XpTiffIsPointerTag(tag)) {
    return XpTiffTagDataIFD::Create(tag, count);
  }
  return XpTiffTagData<XpTiffTagTypeLong>::Create(tag, count);
}

}  // namespace

// What one Parse has seen and spent.
struct XpTiffTagManager::ParseState {
  ParseState(XpAbstractFile& parsedFile, XpTiffMakerNoteMode makerNoteMode)
      : file(parsedFile), mode(makerNoteMode) {}

  XpAbstractFile& file;
  XpTiffMakerNoteMode mode;
  // The absolute position of the header; every offset counts from it.
  int64_t base = 0;
  int64_t fileSize = 0;
  // Absolute positions of the IFDs parsed so far: a link back to one of
  // them would loop.
  std::unordered_set<int64_t> parsedPositions;
  int32_t ifdCount = 0;
  uint64_t valueBytes = 0;

  // Reads up to count bytes at the absolute position; the bytes moved.
  uint64_t ReadSome(int64_t position, void* buffer, uint64_t count) {
    if (XpFailed(file.Seek(position, kXpSeekBegin))) {
      return 0;
    }
    // A failed or short read still reports the bytes it moved.
    uint64_t done = 0;
    static_cast<void>(file.Read(buffer, count, &done));
    return done;
  }

  bool ReadAt(int64_t position, void* buffer, uint64_t count) {
    return ReadSome(position, buffer, count) == count;
  }

  bool WasParsed(int64_t position) const { return parsedPositions.count(position) != 0; }

  // Takes a share of the value budget; false when it is spent.
  bool ChargeValue(uint64_t byteSize) {
    const uint64_t charge = byteSize + kValueBookkeepingBytes;
    if (charge > kMaxValueBytes - valueBytes) {
      return false;
    }
    valueBytes += charge;
    return true;
  }
};

// One 12-byte entry as read, and where its value field lies.
struct XpTiffTagManager::EntryHead {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  const uint8_t* field = nullptr;
};

bool XpTiffTagManager::Parse(XpAbstractFile& file, XpTiffMakerNoteMode mode) {
  Clear();
  makerTag2001Offset_ = 0;
  makerTag2001Count_ = 0;
  makerNoteOffset_ = 0;
  makerNoteSize_ = 0;
  ParseState state(file, mode);
  state.base = file.Tell();
  state.fileSize = file.GetSize();
  uint32_t ifd0Offset = 0;
  if (state.base < 0 || !ReadHeader(state, ifd0Offset)) {
    return false;
  }
  root_.reset(XpTiffTagDataIFD::Create(0, 0));
  if (root_ == nullptr) {
    return false;
  }
  ParseChain(state, state.base + ifd0Offset);
  return true;
}

bool XpTiffTagManager::ReadHeader(ParseState& state, uint32_t& ifd0Offset) {
  uint8_t header[kHeaderBytes];
  if (state.base + kHeaderBytes > state.fileSize ||
      !state.ReadAt(state.base, header, sizeof header)) {
    return false;
  }
  if (header[0] == 'I' && header[1] == 'I') {
    bigEndian_ = false;
  } else if (header[0] == 'M' && header[1] == 'M') {
    bigEndian_ = true;
  } else {
    return false;
  }
  if (XpLoad16(header + 2, bigEndian_) != kTiffMagic) {
    return false;
  }
  ifd0Offset = XpLoad32(header + 4, bigEndian_);
  return state.base + ifd0Offset < state.fileSize;
}

void XpTiffTagManager::ParseChain(ParseState& state, int64_t position) {
  // The chain ends at a link back to an IFD already parsed, at the IFD
  // limit, and after an IFD that could not be read whole.
  while (position != 0 && !state.WasParsed(position) && state.ifdCount < kMaxIFDs) {
    auto* ifd = new (std::nothrow) XpTiffTagIFD();
    if (ifd == nullptr) {
      return;
    }
    root_->AddIFD(ifd);
    int64_t next = 0;
    if (!ParseIFD(state, *ifd, position, 0, next)) {
      return;
    }
    position = next;
  }
}

bool XpTiffTagManager::ParseIFD(ParseState& state, XpTiffTagIFD& ifd, int64_t position,
                                int32_t depth, int64_t& nextPosition) {
  nextPosition = 0;
  state.parsedPositions.insert(position);
  ++state.ifdCount;
  uint8_t countBytes[kCountBytes];
  if (state.fileSize <= position + kCountBytes ||
      !state.ReadAt(position, countBytes, sizeof countBytes)) {
    return false;
  }
  const uint16_t entryCount = XpLoad16(countBytes, bigEndian_);
  std::vector<uint8_t> table(static_cast<size_t>(entryCount) * kEntryBytes);
  const uint64_t tableBytes = state.ReadSome(position + kCountBytes, table.data(), table.size());
  const uint64_t wholeEntries = tableBytes / kEntryBytes;

  bool allRead = wholeEntries == entryCount;
  bool sawMarker = false;
  for (uint64_t index = 0; index < wholeEntries; ++index) {
    const uint8_t* bytes = table.data() + index * kEntryBytes;
    EntryHead head;
    head.tag = XpLoad16(bytes, bigEndian_);
    head.type = XpLoad16(bytes + 2, bigEndian_);
    head.count = XpLoad32(bytes + 4, bigEndian_);
    head.field = bytes + kEntryHeadBytes;
    if (!ParseEntry(state, ifd, head, sawMarker)) {
      allRead = false;
      break;
    }
  }
  if (allRead) {
    uint8_t link[kNextLinkBytes];
    const int64_t linkPosition = position + kCountBytes + kEntryBytes * entryCount;
    if (state.ReadAt(linkPosition, link, sizeof link)) {
      const uint32_t offset = XpLoad32(link, bigEndian_);
      const int64_t next = state.base + offset;
      nextPosition = offset == 0 || next == position ? 0 : next;
    }
  }
  ParseSubIFDs(state, ifd, position, depth, sawMarker);
  return allRead;
}

bool XpTiffTagManager::ParseEntry(ParseState& state, XpTiffTagIFD& ifd, const EntryHead& head,
                                  bool& sawMarker) {
  const uint32_t elementSize = XpTiffFileElementSize(head.type);
  if (elementSize == 0 ||
      state.base + static_cast<int64_t>(uint64_t{head.count} * elementSize) > state.fileSize) {
    return false;
  }
  if (ifd.IsMakerNote() && head.tag == kXpTiffTagMakerTag2001) {
    makerTag2001Offset_ = XpLoad32(head.field, bigEndian_);
    makerTag2001Count_ = head.count;
  }
  uint16_t type = head.type;
  uint32_t count = head.count;
  if (head.tag == kXpTiffTagMakerNote) {
    if (count == 0) {
      return true;  // an empty maker note is dropped
    }
    if (state.mode != XpTiffMakerNoteMode::MakerNoteRaw) {
      sawMarker = MakerNoteHasMarker(state, XpLoad32(head.field, bigEndian_));
      if (state.mode == XpTiffMakerNoteMode::MakerNoteAlways || sawMarker) {
        // From here on an offset to one IFD.
        type = kXpTiffTypeLong;
        count = 1;
      }
    }
    if (type == head.type) {
      // Kept as bytes: where they lie, for the writer to keep them there.
      makerNoteOffset_ = XpLoad32(head.field, bigEndian_);
      makerNoteSize_ = static_cast<uint32_t>(uint64_t{count} * elementSize);
    }
  }
  XpTiffTagDataBase* value = ReadValue(state, head, type, count);
  if (value == nullptr) {
    return false;
  }
  static_cast<void>(ifd.SetEntry(value));
  return true;
}

bool XpTiffTagManager::MakerNoteHasMarker(ParseState& state, uint32_t offset) {
  uint8_t marker[kXpTiffMakerNoteMarkerSize];
  return state.ReadAt(state.base + offset, marker, sizeof marker) &&
         std::memcmp(marker, kXpTiffMakerNoteMarker, sizeof marker) == 0;
}

XpTiffTagDataBase* XpTiffTagManager::ReadValue(ParseState& state, const EntryHead& head,
                                               uint16_t type, uint32_t count) {
  const uint64_t byteSize = uint64_t{count} * XpTiffFileElementSize(type);
  const bool inline_ = byteSize <= kMaxInlineBytes;
  const int64_t dataPosition = state.base + XpLoad32(head.field, bigEndian_);
  if (!inline_ && dataPosition + static_cast<int64_t>(byteSize) > state.fileSize) {
    return nullptr;
  }
  if (!state.ChargeValue(byteSize)) {
    return nullptr;
  }
  std::unique_ptr<XpTiffTagDataBase> value(CreateValue(type, head.tag, count));
  if (value == nullptr) {
    return nullptr;
  }
  if (inline_) {
    // The field lies in the entry, which was read whole.
    std::memcpy(value->GetData(), head.field, byteSize);
  } else {
    // A short read leaves zeros.
    static_cast<void>(state.ReadSome(dataPosition, value->GetData(), byteSize));
  }
  if (bigEndian_) {
    XpTiffSwapUnits(value->GetData(), byteSize, value->GetSwapUnit());
  }
  return value.release();
}

void XpTiffTagManager::ParseSubIFDs(ParseState& state, XpTiffTagIFD& ifd, int64_t position,
                                    int32_t depth, bool sawMarker) {
  for (int32_t index = 0; index < ifd.GetCount(); ++index) {
    XpTiffTagDataBase* entry = ifd.GetAt(index);
    if (!entry->IsSubIFD()) {
      continue;
    }
    if (!ParseSubIFDValue(state, static_cast<XpTiffTagDataIFD&>(*entry), position, depth,
                          sawMarker)) {
      return;
    }
  }
}

bool XpTiffTagManager::ParseSubIFDValue(ParseState& state, XpTiffTagDataIFD& value,
                                        int64_t position, int32_t depth, bool sawMarker) {
  const bool makerNote = value.GetTag() == kXpTiffTagMakerNote;
  for (uint32_t index = 0; index < value.GetCount(); ++index) {
    uint32_t offset = 0;
    std::memcpy(&offset, value.GetData() + uint64_t{index} * sizeof offset, sizeof offset);
    if (offset == 0) {
      continue;
    }
    int64_t start = state.base + offset;
    if (start == position) {
      return true;  // a link to this IFD itself: the entry is done
    }
    if (makerNote && sawMarker) {
      start += kXpTiffMakerNoteMarkerSize;
    }
    if (state.WasParsed(start)) {
      return true;  // a link back into the tree: the entry is done
    }
    if (depth >= kMaxSubIFDDepth || state.ifdCount >= kMaxIFDs) {
      return false;
    }
    std::unique_ptr<XpTiffTagIFD> ifd(new (std::nothrow) XpTiffTagIFD());
    if (ifd == nullptr) {
      return false;
    }
    ifd->SetMakerNote(makerNote);
    int64_t ignoredNext = 0;
    const bool parsed = ParseIFD(state, *ifd, start, depth + 1, ignoredNext);
    // A maker note keeps what was read, unless it is always parsed.
    if (parsed || (makerNote && state.mode != XpTiffMakerNoteMode::MakerNoteAlways)) {
      value.AddIFD(ifd.release());
    }
  }
  return true;
}
