#include "catalogdb/grammar/CatalogDatabaseNatives.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "catalogdb/common/CatalogByteOrder.h"
#include "catalogdb/common/CatalogNativeSupport.h"
#include "catalogdb/grammar/CatalogAtomFileNatives.h"
#include "catalogdb/grammar/CatalogFileCalls.h"
#include "catalogdb/grammar/CatalogFileLayer.h"
#include "fsk/FskScript.h"

namespace {

constexpr int64_t kWordSize = 4;
// {size, type}: the header of free atoms and of the free-list and index
// atoms as they are read.
constexpr int64_t kHeaderSize = 8;
// A free-list entry: {offset, size}.
constexpr int64_t kSpanSize = 8;
constexpr int64_t kLargestAtom = INT32_MAX;
// An index atom: the header, flags, keySize, then the name and its NUL.
constexpr int64_t kIndexFlagsOffset = 8;
constexpr int64_t kIndexKeySizeOffset = 12;
constexpr int64_t kIndexNameOffset = 16;
// The head atom's words.
constexpr int64_t kHeadFlagsOffset = 8;
constexpr int64_t kHeadNextIDOffset = 12;
// A record header: size, type, id.
constexpr int64_t kRecordHeaderSize = 12;

fsk::Value This(FskMachine* the) { return fsk::Value(*fxThis(the)); }
fsk::Value Arg(FskMachine* the, int32_t index) { return fsk::Value(*fxCheckArg(the, index)); }

int32_t Word(FskMachine* the, const fsk::Value& object, const char* name) {
  return static_cast<int32_t>(fsk::ToInteger(the, fsk::Get(the, object, name)));
}

void SetWord(FskMachine* the, const fsk::Value& object, const char* name, int32_t value) {
  fsk::Set(the, object, name, fsk::Value::Integer(value));
}

// A block for an atom of size bytes with its size and type in the host's
// order, as writeAtom takes it.
CatalogBlock NewAtom(FskMachine* the, int64_t size, int32_t type) {
  CatalogBlock atom = CatalogAllocateClear(the, size);
  CatalogStoreHost32(atom.get(), static_cast<int32_t>(size));
  CatalogStoreHost32(atom.get() + kWordSize, type);
  return atom;
}

struct Header {
  int32_t size = 0;
  int32_t type = 0;
};

Header ReadHeader(FskMachine* the, const fsk::Value& file) {
  unsigned char bytes[kHeaderSize];
  CatalogCallReadData(the, file, bytes, kHeaderSize);
  return Header{CatalogLoadBigEndianInt32(bytes), CatalogLoadBigEndianInt32(bytes + kWordSize)};
}

// A stored size below minimum, or beyond the end of the file, is refused
// before anything is allocated.
void CheckStoredSize(FskMachine* the, const fsk::Value& file, const Header& header, int64_t minimum) {
  if (header.size < minimum || header.size - kHeaderSize > CatalogCallRemainingBytes(the, file)) {
    fxError(the, EINVAL);
  }
}

// Reads the rest of the atom whose header was read.
CatalogBlock ReadAtomRest(FskMachine* the, const fsk::Value& file, const Header& header) {
  CatalogBlock atom = NewAtom(the, header.size, header.type);
  CatalogCallReadData(the, file, atom.get() + kHeaderSize, header.size - kHeaderSize);
  return atom;
}

struct Span {
  int32_t offset;
  int32_t size;
};

// The spans of the list from first along next. The count is limited by the
// largest atom, which also ends a list that runs in a circle.
std::vector<Span> ListSpans(FskMachine* the, const fsk::Value& freelist) {
  constexpr size_t kSpanLimit = (kLargestAtom - kHeaderSize) / kSpanSize;
  std::vector<Span> spans;
  for (fsk::Value node = fsk::Get(the, freelist, "first"); node.IsObject(); node = fsk::Get(the, node, "next")) {
    if (spans.size() == kSpanLimit) {
      fxError(the, EINVAL);
    }
    spans.push_back(Span{Word(the, node, "offset"), Word(the, node, "size")});
  }
  return spans;
}

}  // namespace

void CatalogGetPlatformOrdering(FskMachine* the) { fxInteger(the, fxResult(the), kCatalogPlatformOrdering); }

void CatalogFreeAtomWrite(FskMachine* the) {
  fsk::Value self = This(the);
  fsk::Value file = Arg(the, 0);
  int64_t offset = fsk::ToInteger(the, fsk::Get(the, self, "offset"));
  int32_t size = Word(the, self, "size");
  if (offset < 0 || size < kHeaderSize) {
    fxError(the, EINVAL);
  }
  // Only the header: the rest of the span keeps its bytes.
  unsigned char header[kHeaderSize];
  CatalogStoreBigEndianInt32(header, size);
  CatalogStoreBigEndianInt32(header + kWordSize, Word(the, self, "type"));
  CatalogCallSetOffset(the, file, offset);
  CatalogCallWriteData(the, file, header, kHeaderSize);
}

void CatalogFreelistWrite(FskMachine* the) {
  fsk::Value self = This(the);
  fsk::Value file = Arg(the, 0);
  std::vector<Span> spans = ListSpans(the, self);
  auto size = static_cast<int64_t>(kHeaderSize + spans.size() * kSpanSize);
  CatalogBlock atom = NewAtom(the, size, Word(the, self, "type"));
  unsigned char* entry = atom.get() + kHeaderSize;
  for (const Span& span : spans) {
    CatalogStoreBigEndianInt32(entry, span.offset);
    CatalogStoreBigEndianInt32(entry + kWordSize, span.size);
    entry += kSpanSize;
  }
  CatalogCallWriteAtom(the, file, atom.get());
}

void CatalogFreelistRead(FskMachine* the) {
  fsk::Value self = This(the);
  fsk::Value file = Arg(the, 0);
  Header header = ReadHeader(the, file);
  // An atom of another type is passed over quietly.
  if (header.type != Word(the, self, "type")) {
    return;
  }
  CheckStoredSize(the, file, header, kHeaderSize);
  if ((header.size - kHeaderSize) % kSpanSize != 0) {
    fxError(the, EINVAL);
  }
  CatalogBlock atom = ReadAtomRest(the, file, header);
  // From the last span to the first, so that a list that puts each block in
  // front comes back in the stored order.
  for (int64_t at = header.size - kSpanSize; at >= kHeaderSize; at -= kSpanSize) {
    int32_t offset = CatalogLoadBigEndianInt32(atom.get() + at);
    int32_t size = CatalogLoadBigEndianInt32(atom.get() + at + kWordSize);
    fsk::Call(the, self, "readBlock", offset, size);
  }
}

void CatalogSecondariesWriteIndex(FskMachine* the) {
  fsk::Value file = Arg(the, 0);
  auto type = static_cast<int32_t>(fsk::ToInteger(the, Arg(the, 1)));
  fsk::Value index = Arg(the, 2);
  std::string name = fsk::ToString(the, fsk::Get(the, index, "name"));
  int32_t flags = Word(the, index, "flags");
  int32_t keySize = Word(the, index, "keySize");
  // The name is stored up to its NUL: a name holding one would come back
  // cut short.
  if (name.find('\0') != std::string::npos ||
      name.size() > static_cast<size_t>(kLargestAtom - kIndexNameOffset - 1)) {
    fxError(the, EINVAL);
  }
  auto size = static_cast<int64_t>(kIndexNameOffset + name.size() + 1);
  CatalogBlock atom = NewAtom(the, size, type);
  CatalogStoreBigEndianInt32(atom.get() + kIndexFlagsOffset, flags);
  CatalogStoreBigEndianInt32(atom.get() + kIndexKeySizeOffset, keySize);
  std::memcpy(atom.get() + kIndexNameOffset, name.data(), name.size());
  CatalogCallWriteAtom(the, file, atom.get());
}

void CatalogSecondariesReadIndex(FskMachine* the) {
  fsk::Value self = This(the);
  fsk::Value file = Arg(the, 0);
  auto type = static_cast<int32_t>(fsk::ToInteger(the, Arg(the, 1)));
  Header header = ReadHeader(the, file);
  // An atom of another type is passed over quietly.
  if (header.type != type) {
    return;
  }
  CheckStoredSize(the, file, header, kIndexNameOffset + 1);
  CatalogBlock atom = ReadAtomRest(the, file, header);
  const char* name = reinterpret_cast<const char*>(atom.get() + kIndexNameOffset);
  size_t room = static_cast<size_t>(header.size - kIndexNameOffset);
  size_t length = strnlen(name, room);
  if (length == room) {
    fxError(the, EINVAL);
  }
  int32_t flags = CatalogLoadBigEndianInt32(atom.get() + kIndexFlagsOffset);
  fsk::Call(the, self, "addIndex", std::string(name, length), flags, fsk::Value::Undefined());
}

void CatalogDatabaseReadDatabase(FskMachine* the) {
  fsk::Value self = This(the);
  unsigned char atom[kCatalogHeadAtomSize] = {};
  CatalogStoreHost32(atom, kCatalogHeadAtomSize);
  CatalogStoreHost32(atom + kWordSize, Word(the, self, "type"));
  CatalogCallReadAtom(the, Arg(the, 0), atom);
  if (CatalogLoadHost32(atom) != kCatalogHeadAtomSize) {
    fxError(the, EINVAL);
  }
  SetWord(the, self, "flags", CatalogLoadBigEndianInt32(atom + kHeadFlagsOffset));
  SetWord(the, self, "nextID", CatalogLoadBigEndianInt32(atom + kHeadNextIDOffset));
}

void CatalogDatabaseWriteDatabase(FskMachine* the) {
  fsk::Value self = This(the);
  unsigned char atom[kCatalogHeadAtomSize] = {};
  CatalogStoreHost32(atom, kCatalogHeadAtomSize);
  CatalogStoreHost32(atom + kWordSize, Word(the, self, "type"));
  CatalogStoreBigEndianInt32(atom + kHeadFlagsOffset, Word(the, self, "flags"));
  CatalogStoreBigEndianInt32(atom + kHeadNextIDOffset, Word(the, self, "nextID"));
  CatalogCallWriteAtom(the, Arg(the, 0), atom);
}

void CatalogDatabaseReadHead(FskMachine* the) {
  // The database is itself the atom file.
  fsk::Value self = This(the);
  int64_t offset = fsk::ToInteger(the, Arg(the, 0));
  FskFile file = CatalogAtomFileOf(the, self);
  if (CatalogFileSeek(file, offset, kCatalogSeekSet, CatalogSeekBeyondEnd::kKeepSize) < 0) {
    CatalogRaiseErrno(the);
  }
  unsigned char bytes[kRecordHeaderSize];
  if (CatalogFileRead(file, bytes, kRecordHeaderSize) != kRecordHeaderSize) {
    CatalogRaiseErrno(the);
  }
  fsk::Value head = fsk::NewObject(the);
  SetWord(the, head, "size", CatalogLoadBigEndianInt32(bytes));
  SetWord(the, head, "type", CatalogLoadBigEndianInt32(bytes + kWordSize));
  SetWord(the, head, "id", CatalogLoadHost32(bytes + 2 * kWordSize));
  *fxResult(the) = head.Slot();
}
