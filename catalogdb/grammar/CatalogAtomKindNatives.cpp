#include "catalogdb/grammar/CatalogAtomKindNatives.h"

#include <cerrno>

#include "catalogdb/common/CatalogByteOrder.h"
#include "catalogdb/common/CatalogNativeSupport.h"
#include "catalogdb/grammar/CatalogAtomNatives.h"
#include "fsk/FskScript.h"
#include "fsk/FskXml.h"

namespace {

// makeObject parses with at most this many grammars.
constexpr int64_t kGrammarLimit = 8;
constexpr int64_t kLargestPayload = INT32_MAX - kCatalogAtomHeaderSize;

fsk::Value This(FskMachine* the) { return fsk::Value(*fxThis(the)); }

int32_t KindType(FskMachine* the) {
  return static_cast<int32_t>(fsk::ToInteger(the, fsk::Get(the, This(the), "type")));
}

unsigned char* ThisAtom(FskMachine* the) {
  auto* atom = static_cast<unsigned char*>(fxGetHostData(the, fxThis(the)));
  if (atom == nullptr) {
    fxError(the, EINVAL);
  }
  return atom;
}

int32_t PayloadSize(const unsigned char* atom) {
  return CatalogLoadHost32(atom + kCatalogAtomSizeOffset) - kCatalogAtomHeaderSize;
}

// Gives this a new cleared atom block with a payload of length bytes,
// holding the size, the kind's type and, with exactly two arguments of
// which the second is defined, the id. The block belongs to this at once.
unsigned char* BuildAtom(FskMachine* the, int64_t length) {
  if (length < 0 || length > kLargestPayload) {
    fxError(the, EINVAL);
  }
  CatalogBlock block = CatalogAllocateClear(the, length + kCatalogAtomHeaderSize);
  unsigned char* atom = block.get();
  CatalogStoreHost32(atom + kCatalogAtomSizeOffset, static_cast<int32_t>(length + kCatalogAtomHeaderSize));
  CatalogStoreHost32(atom + kCatalogAtomTypeOffset, KindType(the));
  if (fxArgc(the) == 2 && fxTypeOf(the, fxCheckArg(the, 1)) != kFskUndefinedType) {
    CatalogStoreHost32(atom + kCatalogAtomIDOffset, static_cast<int32_t>(fxToInteger(the, fxCheckArg(the, 1))));
  }
  FskSlot* self = fxThis(the);
  void* old = fxGetHostData(the, self);
  fxSetHostData(the, self, block.release());
  FskMemPtrDispose(old);
  return atom;
}

void PushSlot(FskMachine* the, const FskSlot* slot) {
  fxOverflow(the, -1, nullptr, 0);
  fxPushSlot(the, slot);
}

}  // namespace

void CatalogRawAtomConstructor(FskMachine* the) {
  if (fxArgc(the) == 0) {
    return;
  }
  fsk::Value chunk(*fxCheckArg(the, 0));
  int64_t length = fsk::ToInteger(the, fsk::Get(the, chunk, "length"));
  const void* bytes = fxGetHostData(the, &chunk.Slot());
  if (bytes == nullptr && length > 0) {
    fxError(the, EINVAL);
  }
  unsigned char* atom = BuildAtom(the, length);
  FskMemCopy(atom + kCatalogAtomHeaderSize, bytes, static_cast<size_t>(length));
}

void CatalogRawAtomMakeObject(FskMachine* the) {
  const unsigned char* atom = ThisAtom(the);
  int32_t length = PayloadSize(atom);
  fsk::Value chunk = fsk::New(the, fsk::Global(the), "Chunk", length);
  FskMemCopy(fxGetHostData(the, &chunk.Slot()), atom + kCatalogAtomHeaderSize, static_cast<size_t>(length));
  *fxResult(the) = chunk.Slot();
}

void CatalogXmlAtomConstructor(FskMachine* the) {
  if (fxArgc(the) == 0) {
    return;
  }
  const FskSlot* object = fxCheckArg(the, 0);
  PushSlot(the, object);
  size_t length = fxSerializeBuffer(the, nullptr, 0, 0);
  if (length > static_cast<size_t>(kLargestPayload)) {
    fxError(the, EINVAL);
  }
  unsigned char* atom = BuildAtom(the, static_cast<int64_t>(length));
  PushSlot(the, fxCheckArg(the, 0));
  fxSerializeBuffer(the, atom + kCatalogAtomHeaderSize, length, 0);
}

void CatalogXmlAtomMakeObject(FskMachine* the) {
  const unsigned char* atom = ThisAtom(the);
  if (CatalogLoadHost32(atom + kCatalogAtomTypeOffset) != KindType(the)) {
    fxError(the, EINVAL);
  }
  fsk::Value database(*fxCheckArg(the, 0));
  fsk::Value grammars = fsk::Get(the, database, "grammars");
  int64_t count = grammars.IsUndefined() ? 0 : fsk::ToInteger(the, fsk::Get(the, grammars, "length"));
  int32_t flag = static_cast<int32_t>(fsk::ToInteger(the, fsk::Get(the, database, "grammarFlag")));
  if (count < 0) {
    fxError(the, EINVAL);
  }
  if (count > kGrammarLimit) {
    return;
  }
  fxOverflow(the, -static_cast<int32_t>(count + 1), nullptr, 0);
  for (int64_t index = count - 1; index >= 0; --index) {
    fsk::Value grammar = fsk::GetAt(the, grammars, static_cast<int32_t>(index));
    fxPushSlot(the, &grammar.Slot());
  }
  fxInteger(the, fxPush(the), count);
  fxParseBuffer(the, atom + kCatalogAtomHeaderSize, static_cast<size_t>(PayloadSize(atom)), "", 1, flag);
  fxPop(the, fxResult(the));
}

void CatalogCompressedAtomNative(FskMachine* the) { fxThrowError(the, kFskError, kCatalogCompressedMessage); }
