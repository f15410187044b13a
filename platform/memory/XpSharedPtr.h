#pragma once

#include <atomic>
#include <concepts>
#include <cstdint>
#include <new>
#include <utility>

namespace XpSharedPtrDetail {

// Shared by every holder of one object. The use count counts the holders;
// the weak count keeps the counter itself alive and drops to 0 after the
// last holder has gone.
class _XpSharedCounterBase {
 public:
  _XpSharedCounterBase() = default;
  _XpSharedCounterBase(const _XpSharedCounterBase&) = delete;
  _XpSharedCounterBase& operator=(const _XpSharedCounterBase&) = delete;
  virtual ~_XpSharedCounterBase();

  // Drops one holder; the last one deletes the object and then lets go of
  // the counter. Returns the count left.
  virtual int32_t Release() = 0;
  // Deletes the counter when the weak count reaches 0. Returns the count left.
  virtual int32_t ReleaseWeak() = 0;

  void AddRef() { useCount_.fetch_add(1, std::memory_order_relaxed); }
  int32_t UseCount() const { return useCount_.load(std::memory_order_acquire); }

 protected:
  std::atomic<int32_t> useCount_{1};
  std::atomic<int32_t> weakCount_{1};
};

// Owns the object through the type it was handed over as, so the right
// destructor runs even where holders see it through a base class.
template <typename T>
class _XpSharedCounter final : public _XpSharedCounterBase {
 public:
  explicit _XpSharedCounter(T* object) : object_(object) {}

  int32_t Release() override {
    const int32_t left = useCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left != 0) {
      return left;
    }
    delete object_;
    object_ = nullptr;
    return ReleaseWeak();
  }

  int32_t ReleaseWeak() override {
    const int32_t left = weakCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
      delete this;
    }
    return left;
  }

 private:
  T* object_;
};

inline std::atomic<bool> failNextCounterAllocation{false};
inline std::atomic<void (*)()> counterDeletedHook{nullptr};

inline _XpSharedCounterBase::~_XpSharedCounterBase() {
  if (void (*hook)() = counterDeletedHook.load(std::memory_order_acquire)) {
    hook();
  }
}

// For tests: the next counter allocation on any thread fails.
inline void FailNextCounterAllocationForTest() {
  failNextCounterAllocation.store(true, std::memory_order_release);
}

// For tests: hook runs whenever a counter is deleted; null removes it.
inline void SetCounterDeletedHookForTest(void (*hook)()) {
  counterDeletedHook.store(hook, std::memory_order_release);
}

// A counter {use 1, weak 1, object}, or null when memory ran out.
template <typename T>
_XpSharedCounter<T>* NewCounter(T* object) {
  if (failNextCounterAllocation.load(std::memory_order_relaxed) &&
      failNextCounterAllocation.exchange(false, std::memory_order_acq_rel)) {
    return nullptr;
  }
  return new (std::nothrow) _XpSharedCounter<T>(object);
}

}  // namespace XpSharedPtrDetail

// Shared ownership of a heap object: the last holder deletes it. Every
// holder, an empty one too, carries a counter; only a holder whose counter
// could not be allocated (or one that was moved from) has none, and it is
// then empty.
template <typename T>
class XpSharedPtr {
 public:
  // Empty, with a counter of its own.
  XpSharedPtr() : counter_(XpSharedPtrDetail::NewCounter<T>(nullptr)) {}

  // Takes ownership of object. Should no counter be available, the object is
  // deleted at once and the pointer stays empty.
  template <typename U>
    requires std::convertible_to<U*, T*>
  explicit XpSharedPtr(U* object) {
    XpSharedPtrDetail::_XpSharedCounter<U>* counter = XpSharedPtrDetail::NewCounter<U>(object);
    if (counter == nullptr) {
      delete object;
      return;
    }
    object_ = object;
    counter_ = counter;
  }

  XpSharedPtr(const XpSharedPtr& other) : object_(other.object_), counter_(other.counter_) {
    AddRef();
  }

  // Shares the counter of a pointer to a derived class.
  template <typename U>
    requires(std::convertible_to<U*, T*> && !std::same_as<U, T>)
  XpSharedPtr(const XpSharedPtr<U>& other)  // NOLINT(google-explicit-constructor)
      : object_(other.object_), counter_(other.counter_) {
    AddRef();
  }

  // Checked downcast: shares the counter when the object is a T; otherwise
  // empty with a counter of its own, and other is left as it was.
  template <typename U>
    requires(std::derived_from<T, U> && !std::same_as<U, T>)
  explicit XpSharedPtr(const XpSharedPtr<U>& other) {
    T* object = dynamic_cast<T*>(other.object_);
    if (object == nullptr) {
      counter_ = XpSharedPtrDetail::NewCounter<T>(nullptr);
      return;
    }
    object_ = object;
    counter_ = other.counter_;
    AddRef();
  }

  XpSharedPtr(XpSharedPtr&& other) noexcept
      : object_(std::exchange(other.object_, nullptr)),
        counter_(std::exchange(other.counter_, nullptr)) {}

  ~XpSharedPtr() { ReleaseCounter(); }

  // Takes the new holder before letting go of the old one, so assigning a
  // pointer to itself changes nothing.
  XpSharedPtr& operator=(const XpSharedPtr& other) {
    Assign(other.object_, other.counter_);
    return *this;
  }

  template <typename U>
    requires(std::convertible_to<U*, T*> && !std::same_as<U, T>)
  XpSharedPtr& operator=(const XpSharedPtr<U>& other) {
    Assign(other.object_, other.counter_);
    return *this;
  }

  XpSharedPtr& operator=(XpSharedPtr&& other) noexcept {
    if (this != &other) {
      ReleaseCounter();
      object_ = std::exchange(other.object_, nullptr);
      counter_ = std::exchange(other.counter_, nullptr);
    }
    return *this;
  }

  // Lets go of the object; the pointer is empty with a fresh counter.
  void Reset() {
    ReleaseCounter();
    object_ = nullptr;
    counter_ = XpSharedPtrDetail::NewCounter<T>(nullptr);
  }

  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }
  bool IsNull() const { return object_ == nullptr; }

  // For tests: holders sharing the counter; 0 without a counter.
  int32_t UseCountForTest() const { return counter_ ? counter_->UseCount() : 0; }
  // For tests: whether two pointers share one counter.
  bool SharesCounterForTest(const XpSharedPtr& other) const { return counter_ == other.counter_; }

  friend bool operator==(const XpSharedPtr& a, const XpSharedPtr& b) {
    return a.object_ == b.object_;
  }

 private:
  template <typename U>
  friend class XpSharedPtr;

  void AddRef() {
    if (counter_ != nullptr) {
      counter_->AddRef();
    }
  }

  void ReleaseCounter() {
    if (counter_ != nullptr) {
      counter_->Release();
    }
  }

  void Assign(T* object, XpSharedPtrDetail::_XpSharedCounterBase* counter) {
    if (counter != nullptr) {
      counter->AddRef();
    }
    ReleaseCounter();
    object_ = object;
    counter_ = counter;
  }

  T* object_ = nullptr;
  XpSharedPtrDetail::_XpSharedCounterBase* counter_ = nullptr;
};
