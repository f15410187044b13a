#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "fsk/FskMachine.h"

struct FskProperty {
  FskID id = 0;
  int32_t flag = 0;
  int32_t attributes = 0;
  FskSlot value;
};

enum class FskObjectKind : uint8_t {
  kPlain,
  kArray,
  kDate,
};

enum class FskCallableKind : uint8_t {
  kNone,
  kNative,
  kClosure,
};

// A script object. Its named properties keep their insertion order; its
// indexed properties are kept by index.
struct FskObject {
  int64_t refs = 0;
  uint64_t serial = 0;
  // Null once the machine has finalised the object.
  FskMachine* machine = nullptr;
  FskObject* previous = nullptr;
  FskObject* next = nullptr;

  // Holds a reference.
  FskObject* prototype = nullptr;
  std::vector<FskProperty> named;
  // The ids of named, in the same order: a look-up scans these.
  std::vector<FskID> namedIds;
  // Once an object has many named properties: a table of (index in named
  // + 1) by the hash of the id, 0 for a free place.
  std::vector<uint32_t> namedHash;
  std::map<int32_t, FskProperty> indexed;

  FskObjectKind kind = FskObjectKind::kPlain;
  double time = 0;

  bool isHost = false;
  bool destructorRan = false;
  void* hostData = nullptr;
  FskDestructor destructor = nullptr;

  FskCallableKind callable = FskCallableKind::kNone;
  bool isConstructor = false;
  FskCallback native = nullptr;
  std::unique_ptr<FskClosure> closure;

  FskProperty* FindOwn(FskID id);
  // Adds a named property after the others.
  void AddNamed(FskProperty property);
  // Runs the host destructor once.
  void RunDestructor() noexcept;
  // Lets go of every value the object holds.
  void ClearContent() noexcept;
};
