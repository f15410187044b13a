#include "FskObject.h"

#include <algorithm>
#include <utility>

#include "FskMachineImpl.h"
#include "FskValues.h"

namespace {

constexpr size_t kFirstNamedCapacity = 8;
// Objects with more named properties than this find them by hash.
constexpr size_t kHashedFrom = 8;
// The hash table stays at least this many times as large as the count.
constexpr size_t kHashLoad = 2;
constexpr uint32_t kHashSpread = 2654435761U;

size_t HashOf(FskID id) { return static_cast<uint32_t>(id) * kHashSpread; }

size_t PowerOfTwoFrom(size_t value) {
  size_t power = 1;
  while (power < value) {
    power *= 2;
  }
  return power;
}

void Insert(std::vector<uint32_t>& table, FskID id, size_t index) {
  const size_t mask = table.size() - 1;
  size_t place = HashOf(id) & mask;
  while (table[place] != 0) {
    place = (place + 1) & mask;
  }
  table[place] = static_cast<uint32_t>(index + 1);
}

}  // namespace

FskProperty* FskObject::FindOwn(FskID id) {
  if (id >= 0) {
    auto found = indexed.find(id);
    return found == indexed.end() ? nullptr : &found->second;
  }
  if (!namedHash.empty()) {
    const size_t mask = namedHash.size() - 1;
    for (size_t place = HashOf(id) & mask;; place = (place + 1) & mask) {
      const uint32_t entry = namedHash[place];
      if (entry == 0) {
        return nullptr;
      }
      if (namedIds[entry - 1] == id) {
        return &named[entry - 1];
      }
    }
  }
  for (size_t index = 0; index < namedIds.size(); ++index) {
    if (namedIds[index] == id) {
      return &named[index];
    }
  }
  return nullptr;
}

void FskObject::AddNamed(FskProperty property) {
  // Every allocation first, so that nothing below can fail half way; most
  // objects have a few properties, which the first allocation holds.
  if (named.size() == named.capacity()) {
    const size_t capacity = std::max(kFirstNamedCapacity, 2 * named.capacity());
    named.reserve(capacity);
    namedIds.reserve(capacity);
  }
  const size_t count = named.size() + 1;
  std::vector<uint32_t> grown;
  if (count > kHashedFrom && namedHash.size() < kHashLoad * count) {
    grown.assign(PowerOfTwoFrom(2 * kHashLoad * count), 0);
  }
  FskID id = property.id;
  named.push_back(std::move(property));
  namedIds.push_back(id);
  if (grown.empty()) {
    if (!namedHash.empty()) {
      Insert(namedHash, id, count - 1);
    }
    return;
  }
  for (size_t index = 0; index < count; ++index) {
    Insert(grown, namedIds[index], index);
  }
  namedHash = std::move(grown);
}

void FskObject::RunDestructor() noexcept {
  if (!isHost || destructorRan) {
    return;
  }
  destructorRan = true;
  void* data = std::exchange(hostData, nullptr);
  if (destructor != nullptr) {
    destructor(data);
  }
}

void FskObject::ClearContent() noexcept {
  // Move everything out first: letting go of a value may free objects that
  // reach back here.
  std::vector<FskProperty> oldNamed = std::move(named);
  std::map<int32_t, FskProperty> oldIndexed = std::move(indexed);
  std::unique_ptr<FskClosure> oldClosure = std::move(closure);
  FskObject* oldPrototype = std::exchange(prototype, nullptr);
  named.clear();
  namedIds.clear();
  namedHash.clear();
  indexed.clear();
  callable = FskCallableKind::kNone;
  oldNamed.clear();
  oldIndexed.clear();
  oldClosure.reset();
  if (oldPrototype != nullptr) {
    FskReleaseObject(oldPrototype);
  }
}

void FskRetainObject(FskObject* object) noexcept { ++object->refs; }

void FskReleaseObject(FskObject* object) noexcept {
  if (--object->refs > 0) {
    return;
  }
  if (object->machine == nullptr) {
    delete object;
    return;
  }
  object->machine->Free(object);
}

FskObject* FskMachine::AllocateObject() {
  auto* object = new FskObject();
  object->serial = nextSerial++;
  object->machine = this;
  object->previous = liveLast;
  if (liveLast != nullptr) {
    liveLast->next = object;
  } else {
    liveFirst = object;
  }
  liveLast = object;
  ++liveCount;
  return object;
}

void FskMachine::Unlink(FskObject* object) noexcept {
  if (object->previous != nullptr) {
    object->previous->next = object->next;
  } else {
    liveFirst = object->next;
  }
  if (object->next != nullptr) {
    object->next->previous = object->previous;
  } else {
    liveLast = object->previous;
  }
  object->previous = nullptr;
  object->next = nullptr;
  object->machine = nullptr;
  --liveCount;
}

void FskMachine::Free(FskObject* object) noexcept {
  // A queue rather than recursion: a long chain of objects must not use up
  // the C++ stack.
  pendingFree.push_back(object);
  if (freeing) {
    return;
  }
  freeing = true;
  for (size_t i = 0; i < pendingFree.size(); ++i) {
    FskObject* dead = pendingFree[i];
    Unlink(dead);
    dead->RunDestructor();
    dead->ClearContent();
    delete dead;
  }
  pendingFree.clear();
  freeing = false;
}

void FskMachine::TearDown() noexcept {
  if (tornDown) {
    return;
  }
  tornDown = true;
  frames.clear();
  while (!stack.empty()) {
    stack.pop_back();
  }
  std::vector<FskSlot*> roots = std::move(remembered);
  remembered.clear();
  for (FskSlot* slot : roots) {
    *slot = FskSlot();
  }
  global = FskSlot();
  prototypes = FskPrototypes();

  // What is left lives in cycles or in slots outside the machine. Run every
  // destructor in creation order, then empty every object; the shells that
  // outside slots still hold are freed with the last of those slots.
  for (FskObject* object = liveFirst; object != nullptr; object = object->next) {
    object->RunDestructor();
  }
  std::vector<FskObject*> survivors;
  for (FskObject* object = liveFirst; object != nullptr; object = object->next) {
    survivors.push_back(object);
    FskRetainObject(object);
  }
  for (FskObject* object : survivors) {
    object->ClearContent();
  }
  for (FskObject* object : survivors) {
    Unlink(object);
  }
  for (FskObject* object : survivors) {
    FskReleaseObject(object);
  }
}
