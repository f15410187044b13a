#include "outside/fsk/dbmanager/XdbIdAllocator.h"

#include <algorithm>

#include "fsk/FskScript.h"

namespace {

using fsk::Value;

constexpr char kKindPath[] = "CatalogGrammarExt.databaseID";
constexpr char kLimitPath[] = "CatalogGrammarExt.limitID";

}  // namespace

XdbIdAllocator::XdbIdAllocator(FskMachine* the, int64_t limit)
    : the_(the), limit_(limit), file_(the, kKindPath, kFileType) {}

XpResult XdbIdAllocator::LoadLimit() {
  if (limit_ != 0) {
    return limit_ > 0 ? kXpOk : kXpErrBadArgument;
  }
  return file_.Run([&] { limit_ = fsk::ToInteger(the_, fsk::GetPath(the_, kLimitPath)); });
}

XpResult XdbIdAllocator::Create(const std::string& path) {
  XpResult result = LoadLimit();
  if (result != kXpOk) {
    return result;
  }
  result = file_.Create(path);
  if (result != kXpOk) {
    return result;
  }
  return file_.UpdateHeader([&] {
    fsk::Set(the_, file_.Object(), "maxID", Value::Integer(0));
    fsk::Set(the_, file_.Object(), "counter", Value::Integer(0));
  });
}

XpResult XdbIdAllocator::Open(const std::string& path) {
  XpResult result = LoadLimit();
  return result != kXpOk ? result : file_.Open(path);
}

XpResult XdbIdAllocator::Close() { return file_.Close(); }

XpResult XdbIdAllocator::Allocate(int64_t* id) { return AllocateWith(id, nullptr); }

XpResult XdbIdAllocator::AllocateCounted(int64_t* id, uint32_t counter) { return AllocateWith(id, &counter); }

XpResult XdbIdAllocator::AllocateWith(int64_t* id, const uint32_t* counter) {
  *id = 0;
  if (!file_.IsOpen()) {
    return kXpErrNotOpen;
  }
  for (int64_t block = 0; block * kIDsPerBlock <= limit_; ++block) {
    if (block >= file_.BlockCount()) {
      XpResult appended = file_.Append(block + 1 - file_.BlockCount());
      if (appended != kXpOk) {
        return appended;
      }
    }
    int64_t inBlockLimit = std::min(kIDsPerBlock - 1, limit_ - block * kIDsPerBlock);
    int64_t bit = -1;
    XpResult result = file_.WithBlock(block, [&](const Value& object, int64_t) {
      bit = fsk::ToInteger(the_, fsk::Call(the_, file_.Object(), "getNextZero", object, inBlockLimit));
    });
    if (result != kXpOk) {
      return result;
    }
    if (bit < 0) {
      continue;
    }
    int64_t found = block * kIDsPerBlock + bit;
    bool raisesMax = found > MaxID();
    if (raisesMax || counter != nullptr) {
      result = file_.UpdateHeader([&] {
        if (raisesMax) {
          fsk::Set(the_, file_.Object(), "maxID", Value::Integer(found));
        }
        if (counter != nullptr) {
          fsk::Set(the_, file_.Object(), "counter", Value::Integer(*counter));
        }
      });
      if (result != kXpOk) {
        return result;
      }
    }
    *id = found;
    return kXpOk;
  }
  return kXpErrNoFreeID;
}

XpResult XdbIdAllocator::WithBitOf(int64_t id, XdbCallable<void(const Value& block, int64_t bit)> work) {
  if (!file_.IsOpen()) {
    return kXpErrNotOpen;
  }
  if (id < 1 || id > limit_) {
    return kXpErrBadArgument;
  }
  int64_t block = id / kIDsPerBlock;
  if (block >= file_.BlockCount()) {
    // A block never made holds no ID in use.
    work(Value(), id % kIDsPerBlock);
    return kXpOk;
  }
  return file_.WithBlock(block, [&](const Value& object, int64_t) { work(object, id % kIDsPerBlock); });
}

XpResult XdbIdAllocator::Free(int64_t id) {
  return WithBitOf(id, [&](const Value& block, int64_t bit) {
    if (block.IsObject()) {
      fsk::Call(the_, block, "setBit", bit, 0);
    }
  });
}

XpResult XdbIdAllocator::IsUsed(int64_t id, bool* used) {
  *used = false;
  return WithBitOf(id, [&](const Value& block, int64_t bit) {
    *used = block.IsObject() && fsk::ToInteger(the_, fsk::Call(the_, block, "getBit", bit)) != 0;
  });
}

XpResult XdbIdAllocator::SetCounter(uint32_t counter) {
  if (!file_.IsOpen()) {
    return kXpErrNotOpen;
  }
  return file_.UpdateHeader([&] { fsk::Set(the_, file_.Object(), "counter", Value::Integer(counter)); });
}

int64_t XdbIdAllocator::HeaderWord(const char* name) const {
  if (!file_.IsOpen()) {
    return 0;
  }
  fsk::HostBracket bracket(the_);
  return fsk::ToInteger(the_, fsk::Get(the_, file_.Object(), name));
}

uint32_t XdbIdAllocator::Counter() const { return static_cast<uint32_t>(HeaderWord("counter")); }

int64_t XdbIdAllocator::MaxID() const { return HeaderWord("maxID"); }
