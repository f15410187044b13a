#include "catalogdb/grammar/CatalogResultBitsNatives.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <string>

#include "catalogdb/common/CatalogNativeSupport.h"
#include "catalogdb/grammar/CatalogFileLayer.h"
#include "catalogdb/include/CatalogGrammarNames.h"
#include "fsk/FskMemory.h"
#include "fsk/FskTrace.h"

namespace {

constexpr int64_t kWordBytes = 4;
constexpr int64_t kBitsPerWord = 32;
constexpr int64_t kCapacityStep = 32;
constexpr int64_t kFilePage = 4096;
constexpr uint32_t kBitmapOpenFlags = kCatalogFileWrite | kCatalogFileCreate;

// The host data of a _bitmap; bits.capacity is the buffer's and the
// file's size.
struct BitmapFile {
  CatalogResultBits bits;
  FskFile file;
};

// The capacity of a _result that covers maxID.
int64_t MemoryCapacityFor(int64_t maxID) {
  return ((maxID / kBitsPerWord * kWordBytes + kWordBytes) / kCapacityStep + 1) * kCapacityStep;
}

// The size of a _bitmap buffer of at least bytes: whole file pages.
int64_t FileSizeFor(int64_t bytes) { return (bytes + kFilePage - 1) / kFilePage * kFilePage; }

int64_t BytesToCover(int64_t maxID) { return kWordBytes * (maxID / kBitsPerWord + 1); }

bool FitsInt32(int64_t value) { return value >= 0 && value <= INT32_MAX; }

const char* ErrorText(int error) {
  static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return cLocale != static_cast<locale_t>(nullptr) ? ::strerror_l(error, cLocale) : std::strerror(error);
}

void TraceError(FskMachine* the, int error) {
  char line[160];
  std::snprintf(line, sizeof line, "# error %d: %s\n", error, ErrorText(error));
  if (the != nullptr) {
    fxTrace(the, line);
    return;
  }
  FskTraceText(line);
}

// Writes the whole buffer at offset 0; false with errno set on failure.
bool WriteBuffer(const BitmapFile& bitmap) {
  if (CatalogFileSeek(bitmap.file, 0, kCatalogSeekSet, CatalogSeekBeyondEnd::kKeepSize) < 0) {
    return false;
  }
  return CatalogFileWrite(bitmap.file, bitmap.bits.bits, bitmap.bits.capacity) == bitmap.bits.capacity;
}

// Sizes the file to size bytes and reads it whole into a new buffer; null
// with errno set on failure.
uint32_t* SizeAndRead(FskFile file, int64_t size) {
  if (CatalogFileTruncate(file, size) != 0 ||
      CatalogFileSeek(file, 0, kCatalogSeekSet, CatalogSeekBeyondEnd::kKeepSize) < 0) {
    return nullptr;
  }
  auto* buffer = static_cast<uint32_t*>(FskMemPtrAllocClear(static_cast<size_t>(size)));
  if (buffer == nullptr) {
    return nullptr;
  }
  if (CatalogFileRead(file, buffer, size) != size) {
    int error = errno;
    FskMemPtrDispose(buffer);
    errno = error;
    return nullptr;
  }
  return buffer;
}

// Writes, frees and closes what bitmap holds; 0 or the errno of the first
// failure. The record itself stays.
int ReleaseBitmap(BitmapFile& bitmap) {
  int error = 0;
  if (bitmap.bits.bits != nullptr && !WriteBuffer(bitmap)) {
    error = errno != 0 ? errno : EIO;
  }
  FskMemPtrDispose(bitmap.bits.bits);
  bitmap.bits.bits = nullptr;
  if (bitmap.file != nullptr && CatalogFileClose(bitmap.file) != 0 && error == 0) {
    error = errno != 0 ? errno : EIO;
  }
  bitmap.file = nullptr;
  return error;
}

// The data of this; EINVAL when it has none.
template <typename Record>
Record* ThisRecord(FskMachine* the) {
  auto* record = static_cast<Record*>(fxGetHostData(the, fxThis(the)));
  if (record == nullptr) {
    fxError(the, EINVAL);
  }
  return record;
}

int64_t AdjustArg(FskMachine* the) {
  int64_t n = fxToInteger(the, fxCheckArg(the, 0));
  if (!FitsInt32(n) || !FitsInt32(FileSizeFor(BytesToCover(n)))) {
    fxError(the, EINVAL);
  }
  return n;
}

bool IsInstanceOfPath(FskMachine* the, const fsk::Value& object, const char* path) {
  return fsk::IsInstanceOf(the, object, fsk::GetPath(the, path));
}

// Builds a _Bitmap's record; false with errno set on failure.
bool OpenBitmap(BitmapFile& bitmap, const char* path) {
  bitmap.file = CatalogFileOpen(path, kBitmapOpenFlags);
  if (bitmap.file == nullptr) {
    return false;
  }
  int64_t fileSize = CatalogFileSize(bitmap.file);
  if (fileSize < 0) {
    return false;
  }
  int64_t size = FileSizeFor(std::max(fileSize, BytesToCover(bitmap.bits.maxID)));
  if (!FitsInt32(size)) {
    errno = EFBIG;
    return false;
  }
  bitmap.bits.bits = SizeAndRead(bitmap.file, size);
  if (bitmap.bits.bits == nullptr) {
    return false;
  }
  bitmap.bits.capacity = static_cast<int32_t>(size);
  return true;
}

}  // namespace

CatalogResultBits* CatalogResultBitsOf(FskMachine* the, const fsk::Value& data) {
  if (!data.IsObject() || !fxIsHostObject(the, &data.Slot())) {
    fxError(the, EINVAL);
  }
  if (!IsInstanceOfPath(the, data, CatalogGrammarNames::kResultBits) &&
      !IsInstanceOfPath(the, data, CatalogGrammarNames::kResultBitmap)) {
    fxError(the, EINVAL);
  }
  auto* bits = static_cast<CatalogResultBits*>(fxGetHostData(the, &data.Slot()));
  if (bits == nullptr || bits->bits == nullptr) {
    fxError(the, EINVAL);
  }
  return bits;
}

int64_t CatalogResultWordCount(const CatalogResultBits& bits) { return int64_t{bits.maxID} / kBitsPerWord + 1; }

void CatalogResultBitsDestructor(void* data) {
  auto* record = static_cast<CatalogResultBits*>(data);
  if (record == nullptr) {
    return;
  }
  FskMemPtrDispose(record->bits);
  FskMemPtrDispose(record);
}

void CatalogResultBitsConstructor(FskMachine* the) {
  FskSlot* self = fxThis(the);
  int64_t maxID = fxArgc(the) > 0 ? fxToInteger(the, fxCheckArg(the, 0)) : 0;
  if (!FitsInt32(maxID)) {
    return;
  }
  int64_t capacity = MemoryCapacityFor(maxID);
  auto* record = static_cast<CatalogResultBits*>(FskMemPtrAllocClear(sizeof(CatalogResultBits)));
  auto* bits = static_cast<uint32_t*>(FskMemPtrAllocClear(static_cast<size_t>(capacity)));
  if (record == nullptr || bits == nullptr) {
    FskMemPtrDispose(record);
    FskMemPtrDispose(bits);
    return;
  }
  *record = CatalogResultBits{static_cast<int32_t>(maxID), static_cast<int32_t>(capacity), bits};
  CatalogResultBitsDestructor(fxGetHostData(the, self));
  fxSetHostData(the, self, record);
}

void CatalogResultBitsAdjust(FskMachine* the) {
  auto* record = ThisRecord<CatalogResultBits>(the);
  int64_t n = AdjustArg(the);
  if (n / kBitsPerWord * kWordBytes + kWordBytes > record->capacity) {
    int64_t capacity = MemoryCapacityFor(n);
    void* bits = FskMemPtrReallocC(record->bits, static_cast<size_t>(capacity));
    if (bits == nullptr) {
      CatalogRaiseErrno(the);
    }
    record->bits = static_cast<uint32_t*>(bits);
    record->capacity = static_cast<int32_t>(capacity);
  }
  record->maxID = static_cast<int32_t>(n);
}

void CatalogResultBitsClose(FskMachine* the) {
  auto* record = ThisRecord<CatalogResultBits>(the);
  fxSetHostData(the, fxThis(the), nullptr);
  CatalogResultBitsDestructor(record);
}

void CatalogResultBitmapDestructor(void* data) {
  auto* bitmap = static_cast<BitmapFile*>(data);
  if (bitmap == nullptr) {
    return;
  }
  int error = ReleaseBitmap(*bitmap);
  if (error != 0) {
    TraceError(nullptr, error);
  }
  FskMemPtrDispose(bitmap);
}

void CatalogResultBitmapConstructor(FskMachine* the) {
  FskSlot* self = fxThis(the);
  fsk::Value database(*fxCheckArg(the, 0));
  fsk::Set(the, fsk::Value(*self), "database", database);
  int64_t maxID = fxToInteger(the, &database.Slot());
  fsk::Value path(*fxCheckArg(the, 1));
  std::string text = fsk::ToString(the, path);

  BitmapFile bitmap{};
  errno = 0;
  bool opened = false;
  if (!FitsInt32(maxID)) {
    errno = EINVAL;
  } else {
    bitmap.bits.maxID = static_cast<int32_t>(maxID);
    opened = OpenBitmap(bitmap, text.c_str());
  }
  if (!opened) {
    int error = errno;
    if (error != 0) {
      TraceError(the, error);
    }
    // Nothing was read into the buffer that needs writing back.
    FskMemPtrDispose(bitmap.bits.bits);
    bitmap.bits.bits = nullptr;
    (void)ReleaseBitmap(bitmap);
    return;
  }
  auto* record = static_cast<BitmapFile*>(FskMemPtrAlloc(sizeof(BitmapFile)));
  if (record == nullptr) {
    TraceError(the, ENOMEM);
    (void)ReleaseBitmap(bitmap);
    return;
  }
  *record = bitmap;
  CatalogResultBitmapDestructor(fxGetHostData(the, self));
  fxSetHostData(the, self, record);
}

void CatalogResultBitmapAdjust(FskMachine* the) {
  auto* bitmap = ThisRecord<BitmapFile>(the);
  int64_t n = AdjustArg(the);
  if (BytesToCover(n) <= bitmap->bits.capacity) {
    bitmap->bits.maxID = static_cast<int32_t>(n);
    return;
  }
  if (!WriteBuffer(*bitmap)) {
    CatalogRaiseErrno(the);
  }
  int64_t size = FileSizeFor(BytesToCover(n));
  uint32_t* buffer = SizeAndRead(bitmap->file, size);
  if (buffer == nullptr) {
    CatalogRaiseErrno(the);
  }
  FskMemPtrDispose(bitmap->bits.bits);
  bitmap->bits.bits = buffer;
  bitmap->bits.capacity = static_cast<int32_t>(size);
  bitmap->bits.maxID = static_cast<int32_t>(n);
}

void CatalogResultBitmapFlush(FskMachine* the) {
  auto* bitmap = ThisRecord<BitmapFile>(the);
  if (!WriteBuffer(*bitmap)) {
    CatalogRaiseErrno(the);
  }
}

void CatalogResultBitmapClose(FskMachine* the) {
  auto* bitmap = ThisRecord<BitmapFile>(the);
  fxSetHostData(the, fxThis(the), nullptr);
  int error = ReleaseBitmap(*bitmap);
  FskMemPtrDispose(bitmap);
  if (error != 0) {
    fxError(the, error);
  }
}
