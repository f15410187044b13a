#include "catalogdb/grammar/CatalogBtreeIndexObject.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include "catalogdb/common/CatalogNativeSupport.h"

namespace {

// A page block starts with the page's size, then padding to 8 bytes.
constexpr size_t kBlockHeaderSize = 8;

int64_t ToInt64(FskMachine* the, const fsk::Value& value) { return fxToInteger(the, &value.Slot()); }

}  // namespace

CatalogPageMemory CatalogPageMemoryOf(FskMachine* the, const fsk::Value& page) {
  auto* block = static_cast<unsigned char*>(fxGetHostData(the, &page.Slot()));
  if (block == nullptr) {
    fxError(the, EINVAL);
  }
  uint32_t size = 0;
  std::memcpy(&size, block, sizeof size);
  return CatalogPageMemory{block + kBlockHeaderSize, size};
}

CatalogPageMemory CatalogNewPageMemory(FskMachine* the, const fsk::Value& page, uint32_t size) {
  CatalogBlock block = CatalogAllocateClear(the, int64_t{size} + static_cast<int64_t>(kBlockHeaderSize));
  std::memcpy(block.get(), &size, sizeof size);
  fsk::Value target = page;
  void* old = fxGetHostData(the, &target.Slot());
  fxSetHostData(the, &target.Slot(), block.get());
  FskMemPtrDispose(old);
  return CatalogPageMemory{block.release() + kBlockHeaderSize, size};
}

CatalogBtree::IndexPage CatalogIndexPageOf(FskMachine* the, const fsk::Value& page) {
  CatalogPageMemory memory = CatalogPageMemoryOf(the, page);
  CatalogBtree::IndexHeader header = CatalogBtree::IndexHeader::Load(memory.bytes, false);
  if (!header.Fits(memory.size)) {
    fxError(the, EINVAL);
  }
  return CatalogBtree::IndexPage(memory.bytes, header);
}

CatalogBtree::OverflowPage CatalogOverflowPageOf(FskMachine* the, const fsk::Value& page) {
  CatalogPageMemory memory = CatalogPageMemoryOf(the, page);
  CatalogBtree::OverflowHeader header = CatalogBtree::OverflowHeader::Load(memory.bytes, false);
  if (!header.Fits(memory.size)) {
    fxError(the, EINVAL);
  }
  return CatalogBtree::OverflowPage(memory.bytes, header);
}

int32_t CatalogInt32(FskMachine* the, const fsk::Value& value) {
  int64_t integer = ToInt64(the, value);
  if (integer < std::numeric_limits<int32_t>::min() || integer > std::numeric_limits<int32_t>::max()) {
    fxError(the, EINVAL);
  }
  return static_cast<int32_t>(integer);
}

int32_t CatalogInt32Property(FskMachine* the, const fsk::Value& object, std::string_view name) {
  return CatalogInt32(the, fsk::Get(the, object, name));
}

int32_t CatalogInt32Arg(FskMachine* the, int32_t index) {
  return CatalogInt32(the, fsk::Value(*fxCheckArg(the, index)));
}

int32_t CatalogPageOffset(FskMachine* the, const fsk::Value& page) { return CatalogInt32Property(the, page, "offset"); }

CatalogBtreeIndexObject::CatalogBtreeIndexObject(FskMachine* the, fsk::Value index)
    : the_(the), index_(std::move(index)) {}

CatalogBtreeIndexObject CatalogBtreeIndexObject::This(FskMachine* the) {
  return CatalogBtreeIndexObject(the, fsk::Value(*fxThis(the)));
}

int32_t CatalogBtreeIndexObject::Flags() const { return CatalogInt32Property(the_, index_, "flags"); }

fsk::Value CatalogBtreeIndexObject::Root() const { return fsk::Get(the_, index_, "root"); }

void CatalogBtreeIndexObject::SetRoot(const fsk::Value& page) { fsk::Set(the_, index_, "root", page); }

fsk::Value CatalogBtreeIndexObject::ReadNode(int32_t offset) {
  if (offset <= 0) {
    fxError(the_, EINVAL);
  }
  return fsk::Call(the_, index_, "readNode", offset);
}

fsk::Value CatalogBtreeIndexObject::MakeNode(const fsk::Value& like) {
  return fsk::Call(the_, index_, "makeNode", like);
}

fsk::Value CatalogBtreeIndexObject::GetOverflow() { return fsk::Call(the_, index_, "getOverflow"); }

fsk::Value CatalogBtreeIndexObject::ReadOverflow(int32_t offset) {
  if (offset <= 0) {
    fxError(the_, EINVAL);
  }
  return fsk::Call(the_, index_, "readOverflow", offset);
}

void CatalogBtreeIndexObject::AddFree(int32_t offset) { fsk::Call(the_, index_, "addFree", offset); }

void CatalogBtreeIndexObject::Changing() { fsk::Call(the_, index_, "changing"); }

void CatalogBtreeIndexObject::CacheLock(const fsk::Value& node) { fsk::Call(the_, index_, "cacheLock", node); }

void CatalogBtreeIndexObject::CacheUnlock(const fsk::Value& node) { fsk::Call(the_, index_, "cacheUnlock", node); }

void CatalogBtreeIndexObject::EachUpLeaf(const fsk::Value& target, const fsk::Value& key, const fsk::Value& value) {
  fsk::Call(the_, index_, "eachUpLeaf", target, key, value);
}

void CatalogBtreeIndexObject::Write(const fsk::Value& page) { fsk::Call(the_, page, "write"); }
