#pragma once

#include <new>
#include <type_traits>

#include "framework/notify/XfObject.h"
#include "platform/memory/XpSharedPtr.h"

// A raw pointer as a framework object, tagged with the type it points to. A
// borrowed pointer is only carried; an owned one is deleted with the
// XfPointer, through the deleter fixed when it was made. Framework objects
// name themselves as a notification's target with a borrowed pointer.
class XfPointer : public XfObject {
 public:
  // Identifies a pointee type: the address of a record of its own.
  using TypeId = const void*;
  using Deleter = void (*)(void* pointer);

  template <typename T>
  static TypeId TypeOf() {
    static const char record = 0;
    return &record;
  }

  // A pointer that does not own pointer; empty when memory ran out.
  template <typename T>
  static XpSharedPtr<XfPointer> Borrow(T* pointer) {
    return XpSharedPtr<XfPointer>(new (std::nothrow)
                                      XfPointer(pointer, TypeOf<std::remove_cv_t<T>>(), nullptr));
  }

  // A pointer that deletes pointer (made with new) when it goes. When it
  // cannot be made, pointer is deleted at once and the result is empty.
  template <typename T>
  static XpSharedPtr<XfPointer> Own(T* pointer) {
    const Deleter deleter = [](void* object) { delete static_cast<T*>(object); };
    XfPointer* holder =
        new (std::nothrow) XfPointer(pointer, TypeOf<std::remove_cv_t<T>>(), deleter);
    if (holder == nullptr) {
      delete pointer;
    }
    return XpSharedPtr<XfPointer>(holder);
  }

  ~XfPointer() override;

  void* Get() const { return pointer_; }
  bool Owns() const { return deleter_ != nullptr; }
  // The record of the pointee type the pointer was made with.
  virtual TypeId GetType() const { return type_; }

  // The pointer when it was made for a T, else null.
  template <typename T>
  T* As() const {
    if (GetType() != TypeOf<std::remove_cv_t<T>>()) {
      return nullptr;
    }
    return static_cast<T*>(pointer_);
  }

 private:
  XfPointer(const void* pointer, TypeId type, Deleter deleter)
      : pointer_(const_cast<void*>(pointer)), type_(type), deleter_(deleter) {}

  void* const pointer_;
  const TypeId type_;
  const Deleter deleter_;
};
