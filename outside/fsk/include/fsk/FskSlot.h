#pragma once

#include <cstdint>

// The types of a script value. Type 0 is undefined.
enum FskValueType : int32_t {
  kFskUndefinedType = 0,
  kFskNullType = 1,
  kFskBooleanType = 2,
  kFskIntegerType = 3,
  kFskNumberType = 4,
  kFskStringType = 5,
  kFskObjectType = 6,
};

struct FskObject;
struct FskString;

// The reference counts of the values slots hold.
[[gnu::visibility("default")]] void FskRetainString(FskString* string) noexcept;
[[gnu::visibility("default")]] void FskReleaseString(FskString* string) noexcept;
[[gnu::visibility("default")]] void FskRetainObject(FskObject* object) noexcept;
[[gnu::visibility("default")]] void FskReleaseObject(FskObject* object) noexcept;

// One script value: undefined, null, a boolean, a 64-bit integer, a double,
// a UTF-8 string or an object. A slot holds what it names: copying a slot
// shares the string or the object, and the last slot to let go of an object
// frees it (unless the object's machine has been torn down, which frees
// every object's content at once and leaves empty shells to the slots that
// still hold them).
//
// Slots are set and read through the fx calls of FskMachine.h; a slot on
// the machine's stack, in a variable, in a property or anywhere in process
// memory behaves the same.
class [[gnu::visibility("default")]] FskSlot {
 public:
  FskSlot() noexcept : type_(kFskUndefinedType), integer_(0) {}
  FskSlot(const FskSlot& other) noexcept : type_(other.type_), integer_(other.integer_) {
    if (HoldsReference()) {
      Retain();
    }
  }
  FskSlot(FskSlot&& other) noexcept : type_(other.type_), integer_(other.integer_) {
    other.type_ = kFskUndefinedType;
    other.integer_ = 0;
  }
  FskSlot& operator=(const FskSlot& other) noexcept {
    if (this != &other) {
      FskSlot copy(other);
      *this = static_cast<FskSlot&&>(copy);
    }
    return *this;
  }
  FskSlot& operator=(FskSlot&& other) noexcept {
    if (this != &other) {
      // The old value goes only once the new one is in place: letting go of
      // it may free objects whose slots hold other.
      FskSlot old(static_cast<FskSlot&&>(*this));
      type_ = other.type_;
      integer_ = other.integer_;
      other.type_ = kFskUndefinedType;
      other.integer_ = 0;
    }
    return *this;
  }
  ~FskSlot() {
    if (HoldsReference()) {
      Release();
    }
  }

  FskValueType Type() const { return type_; }

 private:
  friend struct FskSlotAccess;

  // Strings and objects are counted; the other values are plain bits.
  bool HoldsReference() const { return type_ >= kFskStringType; }
  void Release() noexcept {
    const FskValueType type = type_;
    type_ = kFskUndefinedType;
    if (type == kFskStringType) {
      FskReleaseString(string_);
    } else if (type == kFskObjectType) {
      FskReleaseObject(object_);
    }
    integer_ = 0;
  }
  void Retain() noexcept {
    if (type_ == kFskStringType) {
      FskRetainString(string_);
    } else if (type_ == kFskObjectType) {
      FskRetainObject(object_);
    }
  }

  FskValueType type_;
  union {
    bool boolean_;
    int64_t integer_;
    double number_;
    FskString* string_;
    FskObject* object_;
  };
};

static_assert(sizeof(FskSlot) == 16);
