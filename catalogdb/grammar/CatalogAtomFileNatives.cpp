#include "catalogdb/grammar/CatalogAtomFileNatives.h"

#include <cerrno>
#include <string>

#include "catalogdb/common/CatalogByteOrder.h"
#include "catalogdb/common/CatalogNativeSupport.h"
#include "catalogdb/grammar/CatalogFileLayer.h"
#include "fsk/FskScript.h"

namespace {

// {big-endian size, big-endian type} before an atom's data and a
// molecule's atoms.
constexpr int64_t kHeaderSize = 8;
constexpr int64_t kWordSize = 4;
constexpr int64_t kLargestAtom = INT32_MAX;

fsk::Value This(FskMachine* the) { return fsk::Value(*fxThis(the)); }

int64_t Refnum(FskMachine* the, const fsk::Value& atomFile) {
  return fsk::ToInteger(the, fsk::Get(the, atomFile, "refnum"));
}

FskFile FileOf(int64_t refnum) { return reinterpret_cast<FskFile>(static_cast<intptr_t>(refnum)); }

FskFile ThisFile(FskMachine* the) { return CatalogAtomFileOf(the, This(the)); }

int64_t IntegerArg(FskMachine* the, int32_t index) { return fxToInteger(the, fxCheckArg(the, index)); }

// An address and count argument pair: a negative count, or a null address
// for bytes, is refused.
unsigned char* BufferArg(FskMachine* the, int32_t pointerIndex, int64_t count) {
  unsigned char* buffer = CatalogPointerArg(the, pointerIndex);
  if (count < 0 || (buffer == nullptr && count > 0)) {
    fxError(the, EINVAL);
  }
  return buffer;
}

int64_t Seek(FskMachine* the, FskFile file, int64_t offset, int32_t whence, CatalogSeekBeyondEnd beyondEnd) {
  int64_t position = CatalogFileSeek(file, offset, whence, beyondEnd);
  if (position < 0) {
    CatalogRaiseErrno(the);
  }
  return position;
}

int64_t Position(FskMachine* the, FskFile file) {
  return Seek(the, file, 0, kCatalogSeekCurrent, CatalogSeekBeyondEnd::kKeepSize);
}

int64_t Size(FskMachine* the, FskFile file) {
  int64_t size = CatalogFileSize(file);
  if (size < 0) {
    CatalogRaiseErrno(the);
  }
  return size;
}

void Read(FskMachine* the, FskFile file, void* buffer, int64_t count) {
  if (CatalogFileRead(file, buffer, count) != count) {
    CatalogRaiseErrno(the);
  }
}

void Write(FskMachine* the, FskFile file, const void* buffer, int64_t count) {
  if (CatalogFileWrite(file, buffer, count) != count) {
    CatalogRaiseErrno(the);
  }
}

struct Header {
  int32_t size = 0;
  int32_t type = 0;
};

Header ReadHeader(FskMachine* the, FskFile file) {
  unsigned char bytes[kHeaderSize];
  Read(the, file, bytes, kHeaderSize);
  return Header{CatalogLoadBigEndianInt32(bytes), CatalogLoadBigEndianInt32(bytes + kWordSize)};
}

void WriteHeader(FskMachine* the, FskFile file, int32_t size, int32_t type) {
  unsigned char bytes[kHeaderSize];
  CatalogStoreBigEndianInt32(bytes, size);
  CatalogStoreBigEndianInt32(bytes + kWordSize, type);
  Write(the, file, bytes, kHeaderSize);
}

// A stored size must cover the header and end inside the file; start is
// where the header began.
void CheckStoredSize(FskMachine* the, FskFile file, int64_t start, int32_t size) {
  if (size < kHeaderSize || start + size > Size(the, file)) {
    fxError(the, EINVAL);
  }
}

void OpenWith(FskMachine* the, uint32_t flags) {
  std::string path = fsk::ToString(the, fsk::Value(*fxCheckArg(the, 0)));
  FskFile file = CatalogFileOpen(path.c_str(), flags);
  if (file == nullptr) {
    CatalogRaiseErrno(the);
  }
  fsk::Set(the, This(the), "refnum", fsk::Value::Integer(static_cast<int64_t>(reinterpret_cast<intptr_t>(file))));
  fsk::Set(the, This(the), "filename", fsk::Value::String(path));
}

void SetResult(FskMachine* the, int64_t value) { fxInteger(the, fxResult(the), value); }

}  // namespace

FskFile CatalogAtomFileOf(FskMachine* the, const fsk::Value& atomFile) {
  int64_t refnum = Refnum(the, atomFile);
  if (refnum == kCatalogNeverOpened || refnum == 0) {
    fxError(the, EBADF);
  }
  return FileOf(refnum);
}

void CatalogAtomFileCreate(FskMachine* the) { OpenWith(the, kCatalogFileCreateFlags); }

void CatalogAtomFileOpen(FskMachine* the) { OpenWith(the, kCatalogFileOpenFlags); }

void CatalogAtomFileClose(FskMachine* the) {
  int64_t refnum = Refnum(the, This(the));
  if (refnum == kCatalogNeverOpened) {
    return;
  }
  int32_t closed = refnum != 0 ? CatalogFileClose(FileOf(refnum)) : 0;
  int error = errno;
  fsk::Set(the, This(the), "refnum", fsk::Value::Integer(0));
  if (closed != 0) {
    CatalogRaise(the, error, EIO);
  }
}

void CatalogAtomFileDeleteFile(FskMachine* the) {
  std::string path = fsk::ToString(the, fsk::Get(the, This(the), "filename"));
  if (CatalogFileDelete(path.c_str()) != 0) {
    CatalogRaiseErrno(the);
  }
}

void CatalogAtomFileGetOffset(FskMachine* the) { SetResult(the, Position(the, ThisFile(the))); }

void CatalogAtomFileGetSize(FskMachine* the) {
  SetResult(the, Seek(the, ThisFile(the), 0, kCatalogSeekFromEnd, CatalogSeekBeyondEnd::kKeepSize));
}

void CatalogAtomFileSetOffset(FskMachine* the) {
  FskFile file = ThisFile(the);
  SetResult(the, Seek(the, file, IntegerArg(the, 0), kCatalogSeekSet, CatalogSeekBeyondEnd::kExtend));
}

void CatalogAtomFileReadData(FskMachine* the) {
  FskFile file = ThisFile(the);
  int64_t count = IntegerArg(the, 1);
  Read(the, file, BufferArg(the, 0, count), count);
}

void CatalogAtomFileWriteData(FskMachine* the) {
  FskFile file = ThisFile(the);
  int64_t count = IntegerArg(the, 1);
  Write(the, file, BufferArg(the, 0, count), count);
}

void CatalogAtomFileReadDataAt(FskMachine* the) {
  FskFile file = ThisFile(the);
  int64_t count = IntegerArg(the, 1);
  unsigned char* buffer = BufferArg(the, 0, count);
  Seek(the, file, IntegerArg(the, 2), kCatalogSeekSet, CatalogSeekBeyondEnd::kKeepSize);
  Read(the, file, buffer, count);
}

void CatalogAtomFileWriteDataAt(FskMachine* the) {
  FskFile file = ThisFile(the);
  int64_t count = IntegerArg(the, 1);
  unsigned char* buffer = BufferArg(the, 0, count);
  Seek(the, file, IntegerArg(the, 2), kCatalogSeekSet, CatalogSeekBeyondEnd::kExtend);
  Write(the, file, buffer, count);
}

void CatalogAtomFileTruncate(FskMachine* the) {
  FskFile file = ThisFile(the);
  int64_t size = IntegerArg(the, 0);
  if (size < 0) {
    fxError(the, EINVAL);
  }
  if (CatalogFileTruncate(file, size) != 0) {
    CatalogRaiseErrno(the);
  }
}

void CatalogAtomFileReadAtom(FskMachine* the) {
  FskFile file = ThisFile(the);
  unsigned char* atom = BufferArg(the, 0, kHeaderSize);
  int32_t capacity = CatalogLoadHost32(atom);
  int32_t expectedType = CatalogLoadHost32(atom + kWordSize);
  int64_t start = Position(the, file);
  Header header = ReadHeader(the, file);
  if (header.size > capacity || header.type != expectedType) {
    fxError(the, EINVAL);
  }
  CheckStoredSize(the, file, start, header.size);
  CatalogStoreHost32(atom, header.size);
  Read(the, file, atom + kHeaderSize, header.size - kHeaderSize);
}

void CatalogAtomFileWriteAtom(FskMachine* the) {
  FskFile file = ThisFile(the);
  const unsigned char* atom = BufferArg(the, 0, kHeaderSize);
  // The header is converted in a copy: the atom in memory stays as it is.
  int32_t size = CatalogLoadHost32(atom);
  if (size < kHeaderSize) {
    fxError(the, EINVAL);
  }
  WriteHeader(the, file, size, CatalogLoadHost32(atom + kWordSize));
  Write(the, file, atom + kHeaderSize, size - kHeaderSize);
}

void CatalogAtomFileWriteMolecule(FskMachine* the) {
  FskFile file = ThisFile(the);
  auto type = static_cast<int32_t>(IntegerArg(the, 0));
  int64_t start = Position(the, file);
  WriteHeader(the, file, static_cast<int32_t>(kHeaderSize), type);
  SetResult(the, start);
}

void CatalogAtomFileSizeMolecule(FskMachine* the) {
  FskFile file = ThisFile(the);
  int64_t start = IntegerArg(the, 0);
  int64_t position = Position(the, file);
  int64_t size = position - start;
  if (start < 0 || size < kHeaderSize || size > kLargestAtom) {
    fxError(the, EINVAL);
  }
  unsigned char bytes[kWordSize];
  CatalogStoreBigEndian32(bytes, static_cast<uint32_t>(size));
  Seek(the, file, start, kCatalogSeekSet, CatalogSeekBeyondEnd::kKeepSize);
  Write(the, file, bytes, kWordSize);
  Seek(the, file, position, kCatalogSeekSet, CatalogSeekBeyondEnd::kKeepSize);
}

void CatalogAtomFileReadMolecule(FskMachine* the) {
  FskFile file = ThisFile(the);
  auto type = static_cast<int32_t>(IntegerArg(the, 0));
  int64_t start = Position(the, file);
  Header header = ReadHeader(the, file);
  if (header.type != type) {
    fxError(the, EINVAL);
  }
  CheckStoredSize(the, file, start, header.size);
  SetResult(the, start + header.size);
}

void CatalogAtomFileReadMoleculeSignature(FskMachine* the) {
  FskFile file = ThisFile(the);
  int64_t start = Position(the, file);
  unsigned char bytes[kHeaderSize];
  int64_t read = CatalogFileRead(file, bytes, kHeaderSize);
  int error = errno;
  Seek(the, file, start, kCatalogSeekSet, CatalogSeekBeyondEnd::kKeepSize);
  if (read != kHeaderSize) {
    CatalogRaise(the, error, EIO);
  }
  SetResult(the, CatalogLoadBigEndianInt32(bytes + kWordSize));
}
