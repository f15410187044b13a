#include "outside/fsk/dbmanager/XdbRecordFile.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "fsk/FskException.h"
#include "outside/fsk/dbmanager/XdbHostCall.h"
#include "platform/memory/XpByteOrder.h"

namespace {

using fsk::Value;

// The head molecule's header comes before the head atom.
constexpr int64_t kMoleculeHeaderSize = 8;
// An index atom's key size word.
constexpr int64_t kIndexKeySizeOffset = 12;
constexpr int64_t kWordSize = 4;
constexpr int64_t kLargestPayload = XdbRecordFile::kLargestFile - XdbRecordFile::kMinimumAtomSize;

int32_t LoadHost32(const unsigned char* bytes) {
  return static_cast<int32_t>(XpLoad32(bytes, kXpHostIsBigEndian));
}

int64_t Address(const void* pointer) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(pointer)); }

}  // namespace

// The natives raise EINVAL for a size or type that does not fit: damaged
// data.
XdbRecordFile::XdbRecordFile(FskMachine* the) : XdbComponent(the, kXpErrInvalidFile) {}

XdbRecordFile::~XdbRecordFile() {
  // A failed close has nowhere to go from here; a closed file has nothing to close.
  (void)Close();
}

fsk::Value XdbRecordFile::NewInstance(const char* prototypePath) {
  return fsk::NewInstanceOf(the_, fsk::GetPath(the_, prototypePath));
}

void XdbRecordFile::MakeObjects() {
  database_ = NewInstance("xdb.database");
  fsk::Set(the_, database_, "refnum", Value::Integer(kNeverOpened));
  fsk::Set(the_, database_, "type", Value::Integer(kHeadAtomType));

  freelist_ = NewInstance("xdb.freelist");
  fsk::Set(the_, freelist_, "type", Value::Integer(kFreelistType));
  fsk::Set(the_, freelist_, "first", Value::Null());
  fsk::Set(the_, freelist_, "readBlock",
           fsk::NewFunction(
               the_,
               [this](FskMachine* the, const Value&, const std::vector<Value>& arguments) {
                 readBlocks_.push_back(Span{fsk::ToInteger(the, arguments.at(0)), fsk::ToInteger(the, arguments.at(1))});
                 return Value();
               },
               2));

  secondaries_ = NewInstance("xdb.secondaries");
  fsk::Set(the_, secondaries_, "addIndex",
           fsk::NewFunction(
               the_,
               [this](FskMachine* the, const Value&, const std::vector<Value>& arguments) {
                 addedIndexes_.push_back(
                     Index{fsk::ToString(the, arguments.at(0)), static_cast<int32_t>(fsk::ToInteger(the, arguments.at(1))), 0});
                 return Value();
               },
               3));

  freeAtom_ = NewInstance("xdb.freeAtom");
  fsk::Set(the_, freeAtom_, "type", Value::Integer(kFreeAtomType));
  atoms_ = fsk::GetPath(the_, "xdb");
}

XpResult XdbRecordFile::Create(const std::string& path, const std::string& freelistPath, const Head& head) {
  return Establish([&] {
    MakeObjects();
    head_ = head;
    freelistPath_ = freelistPath;
    free_.clear();
    WriteHeadMolecule(path);
    WriteFreelistFile();
  });
}

XpResult XdbRecordFile::Open(const std::string& path, const std::string& freelistPath) {
  return Establish([&] {
    MakeObjects();
    freelistPath_ = freelistPath;
    ReadHeadMolecule(path);
    LoadFreeList();
  });
}

XpResult XdbRecordFile::Close() { return CloseFile(database_); }

void XdbRecordFile::ReleaseObjects() {
  CloseQuietly(database_);
  free_.clear();
  database_ = freelist_ = secondaries_ = freeAtom_ = atoms_ = Value();
}

XpResult XdbRecordFile::SetHeadWords(int32_t flags, int32_t nextID) {
  return Run([&] {
    RequireOpen();
    fsk::Set(the_, database_, "flags", Value::Integer(flags));
    fsk::Set(the_, database_, "nextID", Value::Integer(nextID));
    fsk::Call(the_, database_, "setOffset", kMoleculeHeaderSize);
    fsk::Call(the_, database_, "writeDatabase", database_);
    head_.flags = flags;
    head_.nextID = nextID;
  });
}

XpResult XdbRecordFile::Add(int32_t id, int32_t type, const std::vector<uint8_t>& payload, int64_t* offset) {
  Span placed;
  XpResult result = Add(id, type, payload, &placed);
  *offset = placed.offset;
  return result;
}

XpResult XdbRecordFile::Add(int32_t id, int32_t type, const std::vector<uint8_t>& payload, Span* placed) {
  *placed = Span{};
  return Run([&] {
    RequireOpen();
    *placed = AddRecord(id, type, payload);
  });
}

XpResult XdbRecordFile::Read(int64_t offset, Record* record) {
  return Run([&] {
    RequireOpen();
    RecordAt(offset);
    Value atom = fsk::New(the_, atoms_, "RawAtom");
    fsk::Call(the_, database_, "setOffset", offset);
    fsk::Call(the_, atom, "read", database_);
    Value chunk = fsk::Call(the_, atom, "makeObject");
    auto length = static_cast<size_t>(fsk::ToInteger(the_, fsk::Get(the_, chunk, "length")));
    const auto* bytes = static_cast<const uint8_t*>(fxGetHostData(the_, &chunk.Slot()));
    record->payload.assign(bytes, bytes + length);
    record->id = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Call(the_, atom, "getID")));
    record->type = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Call(the_, atom, "getType")));
    fsk::Call(the_, atom, "close");
  });
}

XpResult XdbRecordFile::Replace(int64_t offset, int32_t id, int32_t type, const std::vector<uint8_t>& payload,
                                int64_t* newOffset) {
  Span placed;
  XpResult result = Replace(Span{offset, 0}, id, type, payload, &placed);
  if (XpSucceeded(result)) {
    *newOffset = placed.offset;
  }
  return result;
}

XpResult XdbRecordFile::Replace(const Span& known, int32_t id, int32_t type, const std::vector<uint8_t>& payload,
                                Span* placed) {
  return Run([&] {
    RequireOpen();
    CheckRecordArguments(type, payload);
    Span old = RecordSpan(known);
    int64_t atomSize = kMinimumAtomSize + static_cast<int64_t>(payload.size());
    if (atomSize > old.size) {
      // The new record stands before the old one goes.
      Span added = AddRecord(id, type, payload);
      FreeRecord(old);
      *placed = added;
      return;
    }
    int64_t remainder = old.size - atomSize;
    if (remainder < kMinimumAtomSize) {
      WriteRecord(old.offset, old.size, id, type, payload);
      *placed = old;
      return;
    }
    Span rest{old.offset + atomSize, remainder};
    WriteFreeAtom(rest);
    WriteRecord(old.offset, atomSize, id, type, payload);
    free_.push_back(rest);
    *placed = Span{old.offset, atomSize};
  });
}

XpResult XdbRecordFile::Free(int64_t offset) {
  return Run([&] {
    RequireOpen();
    FreeRecord(Span{offset, 0});
  });
}

XpResult XdbRecordFile::Scan(const std::function<bool(const Atom&)>& visit) {
  return Run([&] {
    RequireOpen();
    ScanAtoms(visit);
  });
}

// An atom on disk: big-endian size and type, then the id in host order.
XpResult XdbRecordFile::ScanRecordBytes(std::span<const uint8_t> bytes, const RecordVisit& visit) const {
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  auto size = static_cast<int64_t>(bytes.size());
  for (int64_t offset = recordsStart_; offset < size;) {
    if (size - offset < kMinimumAtomSize) {
      return kXpErrInvalidFile;
    }
    const unsigned char* at = bytes.data() + offset;
    // Words of the file are big-endian and signed; the id is in memory order.
    Atom atom{offset, static_cast<int32_t>(XpLoadBig32(at)),
              static_cast<int32_t>(XpLoadBig32(at + kWordSize)), LoadHost32(at + 2 * kWordSize)};
    if (atom.size < kMinimumAtomSize || atom.size > size - offset) {
      return kXpErrInvalidFile;
    }
    if (atom.type != kFreeAtomType &&
        !visit(atom, bytes.subspan(static_cast<size_t>(offset + kMinimumAtomSize),
                                   static_cast<size_t>(atom.size - kMinimumAtomSize)))) {
      return kXpOk;
    }
    offset += atom.size;
  }
  return kXpOk;
}

XpResult XdbRecordFile::Flush() {
  return Run([&] {
    RequireOpen();
    WriteFreelistFile();
  });
}

void XdbRecordFile::WriteHeadMolecule(const std::string& path) {
  fsk::Call(the_, database_, "create", path);
  fsk::Set(the_, database_, "flags", Value::Integer(head_.flags));
  fsk::Set(the_, database_, "nextID", Value::Integer(head_.nextID));
  Value start = fsk::Call(the_, database_, "writeMolecule", kHeadMoleculeType);
  fsk::Call(the_, database_, "writeDatabase", database_);
  for (const Index& index : head_.indexes) {
    Value object = fsk::NewObject(the_);
    fsk::Set(the_, object, "name", Value::String(index.name));
    fsk::Set(the_, object, "flags", Value::Integer(index.flags));
    fsk::Set(the_, object, "keySize", Value::Integer(index.keySize));
    fsk::Call(the_, secondaries_, "writeIndex", database_, kIndexAtomType, object);
  }
  fsk::Call(the_, database_, "sizeMolecule", start);
  recordsStart_ = fsk::ToInteger(the_, fsk::Call(the_, database_, "getOffset"));
}

void XdbRecordFile::ReadHeadMolecule(const std::string& path) {
  fsk::Call(the_, database_, "open", path);
  int64_t end = fsk::ToInteger(the_, fsk::Call(the_, database_, "readMolecule", kHeadMoleculeType));
  fsk::Call(the_, database_, "readDatabase", database_);
  head_ = Head{};
  head_.flags = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, database_, "flags")));
  head_.nextID = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, database_, "nextID")));
  while (fsk::ToInteger(the_, fsk::Call(the_, database_, "getOffset")) < end) {
    ReadIndexAtom();
  }
  if (fsk::ToInteger(the_, fsk::Call(the_, database_, "getOffset")) != end) {
    Fail(kXpErrInvalidFile);
  }
  recordsStart_ = end;
}

void XdbRecordFile::ReadIndexAtom() {
  int64_t start = fsk::ToInteger(the_, fsk::Call(the_, database_, "getOffset"));
  // readIndex passes over an atom of another type quietly: inside the head
  // molecule that is damage.
  if (fsk::ToInteger(the_, fsk::Call(the_, database_, "readMoleculeSignature")) != kIndexAtomType) {
    Fail(kXpErrInvalidFile);
  }
  addedIndexes_.clear();
  fsk::Call(the_, secondaries_, "readIndex", database_, kIndexAtomType);
  if (addedIndexes_.size() != 1) {
    Fail(kXpErrInvalidFile);
  }
  // addIndex is not given the stored key size: read it from the atom.
  int64_t next = fsk::ToInteger(the_, fsk::Call(the_, database_, "getOffset"));
  unsigned char keySize[kWordSize] = {};
  fsk::Call(the_, database_, "readDataAt", Address(keySize), kWordSize, start + kIndexKeySizeOffset);
  fsk::Call(the_, database_, "setOffset", next);
  addedIndexes_.front().keySize = static_cast<int32_t>(XpLoadBig32(keySize));
  head_.indexes.push_back(std::move(addedIndexes_.front()));
  addedIndexes_.clear();
}

void XdbRecordFile::LoadFreeList() {
  if (!ReadFreelistFile() || !FreeListMatchesFile()) {
    RebuildFreeListByScan();
  }
}

bool XdbRecordFile::ReadFreelistFile() {
  readBlocks_.clear();
  Value file = NewInstance("xdb.atomFile");
  fsk::Set(the_, file, "refnum", Value::Integer(kNeverOpened));
  try {
    fsk::Call(the_, file, "open", freelistPath_);
    bool ours = fsk::ToInteger(the_, fsk::Call(the_, file, "readMoleculeSignature")) == kFreelistType;
    if (ours) {
      fsk::Call(the_, freelist_, "readFreelist", file);
    }
    fsk::Call(the_, file, "close");
    if (!ours) {
      return false;
    }
  } catch (const FskException&) {
    // Missing or unreadable: the scan rebuilds it.
    fsk::Call(the_, file, "close");
    return false;
  }
  // readBlock came from the last span to the first.
  free_.assign(readBlocks_.rbegin(), readBlocks_.rend());
  readBlocks_.clear();
  return true;
}

bool XdbRecordFile::FreeListMatchesFile() {
  int64_t size = FileSize();
  std::vector<Span> sorted = free_;
  std::sort(sorted.begin(), sorted.end(), [](const Span& a, const Span& b) { return a.offset < b.offset; });
  int64_t end = recordsStart_;
  for (const Span& span : sorted) {
    if (span.offset < end || span.size < kMinimumAtomSize || span.offset + span.size > size) {
      return false;
    }
    Atom atom = ReadAtomHeader(span.offset);
    if (atom.type != kFreeAtomType || atom.size != span.size) {
      return false;
    }
    end = span.offset + span.size;
  }
  return true;
}

void XdbRecordFile::RebuildFreeListByScan() {
  std::vector<Span> spans;
  ScanAtoms([&](const Atom& atom) {
    if (atom.type == kFreeAtomType) {
      spans.push_back(Span{atom.offset, atom.size});
    }
    return true;
  });
  free_ = std::move(spans);
}

void XdbRecordFile::WriteFreelistFile() {
  Value next = Value::Null();
  for (auto span = free_.rbegin(); span != free_.rend(); ++span) {
    Value node = fsk::NewObject(the_);
    fsk::Set(the_, node, "offset", Value::Integer(span->offset));
    fsk::Set(the_, node, "size", Value::Integer(span->size));
    fsk::Set(the_, node, "next", next);
    next = node;
  }
  fsk::Set(the_, freelist_, "first", next);
  Value file = NewInstance("xdb.atomFile");
  fsk::Set(the_, file, "refnum", Value::Integer(kNeverOpened));
  try {
    fsk::Call(the_, file, "create", freelistPath_);
    fsk::Call(the_, freelist_, "writeFreelist", file);
  } catch (const FskException&) {
    fsk::Set(the_, freelist_, "first", Value::Null());
    fsk::Call(the_, file, "close");
    throw;
  }
  fsk::Set(the_, freelist_, "first", Value::Null());
  fsk::Call(the_, file, "close");
}

int64_t XdbRecordFile::FileSize() { return fsk::ToInteger(the_, fsk::Call(the_, database_, "getSize")); }

XdbRecordFile::Atom XdbRecordFile::ReadAtomHeader(int64_t offset) {
  Value head = fsk::Call(the_, database_, "readHead", offset);
  return Atom{offset, fsk::ToInteger(the_, fsk::Get(the_, head, "size")),
              static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, head, "type"))),
              static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, head, "id")))};
}

XdbRecordFile::Atom XdbRecordFile::RecordAt(int64_t offset) {
  int64_t size = FileSize();
  if (offset < recordsStart_ || offset > size - kMinimumAtomSize) {
    Fail(kXpErrBadArgument);
  }
  Atom atom = ReadAtomHeader(offset);
  if (atom.size < kMinimumAtomSize || atom.size > size - offset) {
    Fail(kXpErrInvalidFile);
  }
  if (atom.type == kFreeAtomType) {
    Fail(kXpErrBadArgument);
  }
  return atom;
}

XdbRecordFile::Span XdbRecordFile::RecordSpan(const Span& known) {
  if (known.size >= kMinimumAtomSize && known.offset >= recordsStart_) {
    return known;
  }
  return Span{known.offset, RecordAt(known.offset).size};
}

void XdbRecordFile::ScanAtoms(const std::function<bool(const Atom&)>& visit) {
  int64_t size = FileSize();
  for (int64_t offset = recordsStart_; offset < size;) {
    if (size - offset < kMinimumAtomSize) {
      Fail(kXpErrInvalidFile);
    }
    Atom atom = ReadAtomHeader(offset);
    if (atom.size < kMinimumAtomSize || atom.size > size - offset) {
      Fail(kXpErrInvalidFile);
    }
    if (!visit(atom)) {
      return;
    }
    offset += atom.size;
  }
}

int64_t XdbRecordFile::EndOffset(int64_t atomSize) {
  int64_t end = FileSize();
  if (end > kLargestFile - atomSize) {
    Fail(kXpErrDiskFull);
  }
  return end;
}

void XdbRecordFile::CheckRecordArguments(int32_t type, const std::vector<uint8_t>& payload) const {
  if (type == kFreeAtomType || payload.size() > static_cast<size_t>(kLargestPayload)) {
    Fail(kXpErrBadArgument);
  }
}

XdbRecordFile::Span XdbRecordFile::AddRecord(int32_t id, int32_t type, const std::vector<uint8_t>& payload) {
  CheckRecordArguments(type, payload);
  int64_t atomSize = kMinimumAtomSize + static_cast<int64_t>(payload.size());
  auto fits = std::find_if(free_.begin(), free_.end(), [&](const Span& span) { return span.size >= atomSize; });
  if (fits == free_.end()) {
    int64_t offset = EndOffset(atomSize);
    WriteRecord(offset, atomSize, id, type, payload);
    return Span{offset, atomSize};
  }
  auto index = static_cast<size_t>(fits - free_.begin());
  Span span = *fits;
  int64_t remainder = span.size - atomSize;
  if (remainder < kMinimumAtomSize) {
    WriteRecord(span.offset, span.size, id, type, payload);
    free_.erase(free_.begin() + static_cast<ptrdiff_t>(index));
    return span;
  }
  // The rest's free atom first: until the record is written, the span's
  // own free atom still covers it.
  Span rest{span.offset + atomSize, remainder};
  WriteFreeAtom(rest);
  WriteRecord(span.offset, atomSize, id, type, payload);
  free_[index] = rest;
  return Span{span.offset, atomSize};
}

void XdbRecordFile::WriteRecord(int64_t offset, int64_t atomSize, int32_t id, int32_t type,
                                const std::vector<uint8_t>& payload) {
  // A span larger than the record keeps the rest inside the record, zeros.
  Value chunk = fsk::New(the_, fsk::Global(the_), "Chunk", atomSize - kMinimumAtomSize);
  if (!payload.empty()) {
    std::memcpy(fxGetHostData(the_, &chunk.Slot()), payload.data(), payload.size());
  }
  Value atom = fsk::New(the_, atoms_, "RawAtom", chunk, id);
  fsk::Call(the_, atom, "setType", type);
  fsk::Call(the_, database_, "setOffset", offset);
  fsk::Call(the_, atom, "write", database_);
  fsk::Call(the_, atom, "close");
}

void XdbRecordFile::WriteFreeAtom(const Span& span) {
  fsk::Set(the_, freeAtom_, "offset", Value::Integer(span.offset));
  fsk::Set(the_, freeAtom_, "size", Value::Integer(span.size));
  fsk::Call(the_, freeAtom_, "write", database_);
}

void XdbRecordFile::FreeRecord(const Span& known) {
  Span span = RecordSpan(known);
  WriteFreeAtom(span);
  free_.push_back(span);
}
