#pragma once

// The shared representation behind XpString and XpStringA. Internal to the
// two string classes.

#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <string_view>

template <typename Char>
struct XpStringRepBase {
  Char* buffer = nullptr;  // malloc'd, NUL-terminated
  int32_t length = 0;      // characters in use, terminator not counted
  int32_t capacity = 0;    // characters the buffer holds, terminator included
  std::atomic<int32_t> refs{1};
};

struct XpStringRep : XpStringRepBase<char16_t> {};
struct XpStringRepA : XpStringRepBase<char> {};

// Operations on a representation, and the handle and text operations both
// string classes share. Functions that change a representation return false
// on an allocation failure and then leave it as it was.
template <typename Rep, typename Char>
class XpStringCore {
 public:
  using View = std::basic_string_view<Char>;

  static constexpr int32_t kCapacityStep = 64;
  // Buffers larger than this are given back when less than half used.
  static constexpr int32_t kShrinkAbove = 128;
  static constexpr int32_t kMaxLength = INT32_MAX - kCapacityStep;

  // The multiple of kCapacityStep strictly above length.
  static int32_t WantedCapacity(int32_t length) { return (length / kCapacityStep + 1) * kCapacityStep; }

  // The capacity a buffer of `capacity` has after its length becomes `length`.
  static int32_t CapacityFor(int32_t capacity, int32_t length) {
    const int32_t wanted = WantedCapacity(length);
    const bool tooSmall = capacity < wanted;
    const bool mostlyUnused = wanted < capacity / 2 && capacity > kShrinkAbove;
    return tooSmall || mostlyUnused ? wanted : capacity;
  }

  static const Char* EmptyText() {
    static constexpr Char kEmpty[1] = {};
    return kEmpty;
  }

  static int32_t TextLength(const Char* text) {
    if (text == nullptr) return 0;
    const size_t length = std::char_traits<Char>::length(text);
    return length > static_cast<size_t>(kMaxLength) ? -1 : static_cast<int32_t>(length);
  }

  // A new representation with count 1 and the given capacity, holding text.
  static Rep* Create(const Char* text, int32_t length, int32_t capacity) {
    if (length < 0 || length > kMaxLength || capacity <= length) return nullptr;
    auto* buffer = static_cast<Char*>(std::malloc(static_cast<size_t>(capacity) * sizeof(Char)));
    if (buffer == nullptr) return nullptr;
    Rep* rep = new (std::nothrow) Rep;
    if (rep == nullptr) {
      std::free(buffer);
      return nullptr;
    }
    if (length > 0) std::memcpy(buffer, text, static_cast<size_t>(length) * sizeof(Char));
    buffer[length] = Char();
    rep->buffer = buffer;
    rep->length = length;
    rep->capacity = capacity;
    return rep;
  }

  static Rep* Create(const Char* text, int32_t length) {
    if (length < 0 || length > kMaxLength) return nullptr;
    return Create(text, length, WantedCapacity(length));
  }

  static void Retain(Rep* rep) {
    if (rep != nullptr) rep->refs.fetch_add(1, std::memory_order_relaxed);
  }

  static void Release(Rep* rep) {
    if (rep == nullptr) return;
    if (rep->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    std::free(rep->buffer);
    delete rep;
  }

  // The calling thread's empty representation, retained for the caller; null
  // only when it could not be allocated. The map keeps one reference to each
  // entry and is never emptied, so these are never changed in place.
  static Rep* ThreadEmpty() {
    thread_local Rep* cached = nullptr;
    if (cached == nullptr) cached = LookUpThreadEmpty();
    Retain(cached);
    return cached;
  }

  // A null text reads as "".
  static View ViewOf(const Char* text) { return text == nullptr ? View() : View(text); }
  // The first length characters; "" for null or a length below 1.
  static View ViewOf(const Char* text, int32_t length) {
    if (text == nullptr || length <= 0) return View();
    return View(text, static_cast<size_t>(length));
  }

  // A new representation holding text; the thread's empty one for "" or a
  // text longer than kMaxLength.
  static Rep* FromView(View text) {
    if (text.empty() || text.size() > static_cast<size_t>(kMaxLength)) return ThreadEmpty();
    return Create(text.data(), static_cast<int32_t>(text.size()));
  }

  // What a handle reads; a released handle (null rep) reads as "".
  static const Char* Chars(const Rep* rep) { return rep != nullptr ? rep->buffer : EmptyText(); }
  static int32_t Length(const Rep* rep) { return rep != nullptr ? rep->length : 0; }
  static int32_t Capacity(const Rep* rep) { return rep != nullptr ? rep->capacity : 0; }
  static View ViewOfRep(const Rep* rep) {
    return View(Chars(rep), static_cast<size_t>(Length(rep)));
  }

  // Makes rep share other; false when it already did.
  static bool Share(Rep*& rep, Rep* other) {
    if (rep == other) return false;
    Retain(other);
    Release(rep);
    rep = other;
    return true;
  }

  // Moves other's representation into rep, leaving other released.
  static void Take(Rep*& rep, Rep*& other) {
    Release(rep);
    rep = other;
    other = nullptr;
  }

  // Assign and Append of a NUL-terminated text; null reads as "".
  static bool AssignText(Rep*& rep, const Char* text) {
    const int32_t length = TextLength(text);
    return length >= 0 && Assign(rep, text, length);
  }
  static bool AppendText(Rep*& rep, const Char* text) {
    const int32_t length = TextLength(text);
    return length >= 0 && Append(rep, text, length);
  }

  static int Sign(int value) { return (value > 0) - (value < 0); }

  // Ordinal comparison by code unit: -1, 0 or 1.
  static int Compare(View a, View b) { return Sign(a.compare(b)); }

  // The first count characters of text, which is shared when it is no longer.
  template <typename String>
  static String Left(const String& text, int32_t count) {
    if (count >= text.GetLength()) return text;
    if (count <= 0) return String();
    return String(text.CStr(), count);
  }

  // Replaces the text of rep with [text, text + length), which may lie in
  // rep's own buffer. A shared rep is first made unique, as a copy sized for
  // its current text.
  static bool Assign(Rep*& rep, const Char* text, int32_t length) {
    if (length < 0 || length > kMaxLength) return false;
    if (rep == nullptr) return Adopt(rep, Create(text, length));
    if (!IsUnique(rep)) {
      const int32_t capacity = CapacityFor(WantedCapacity(rep->length), length);
      return Adopt(rep, Create(text, length, capacity));
    }
    const bool inOwnBuffer = text >= rep->buffer && text < rep->buffer + rep->capacity;
    if (inOwnBuffer) {
      // Moving to the front never needs a larger buffer.
      std::memmove(rep->buffer, text, static_cast<size_t>(length) * sizeof(Char));
      return SetLength(rep, length);
    }
    if (!SetLength(rep, length)) return false;
    if (length > 0) std::memcpy(rep->buffer, text, static_cast<size_t>(length) * sizeof(Char));
    return true;
  }

  // Appends [text, text + length), which may lie in rep's own buffer.
  static bool Append(Rep*& rep, const Char* text, int32_t length) {
    if (length < 0) return false;
    if (rep == nullptr) return Adopt(rep, Create(text, length));
    if (length == 0) return true;
    if (length > kMaxLength - rep->length) return false;
    const int32_t oldLength = rep->length;
    const int32_t newLength = oldLength + length;
    if (!IsUnique(rep)) {
      const int32_t capacity = CapacityFor(WantedCapacity(oldLength), newLength);
      Rep* fresh = Create(rep->buffer, oldLength, capacity);
      if (fresh == nullptr) return false;
      std::memcpy(fresh->buffer + oldLength, text, static_cast<size_t>(length) * sizeof(Char));
      fresh->length = newLength;
      fresh->buffer[newLength] = Char();
      return Adopt(rep, fresh);
    }
    const Char* oldBuffer = rep->buffer;
    const bool inOwnBuffer = text >= oldBuffer && text < oldBuffer + rep->capacity;
    const ptrdiff_t offset = inOwnBuffer ? text - oldBuffer : 0;
    if (!SetLength(rep, newLength)) return false;
    const Char* source = inOwnBuffer ? rep->buffer + offset : text;
    std::memmove(rep->buffer + oldLength, source, static_cast<size_t>(length) * sizeof(Char));
    return true;
  }

 private:
  static bool IsUnique(const Rep* rep) { return rep->refs.load(std::memory_order_acquire) == 1; }

  static bool Adopt(Rep*& rep, Rep* fresh) {
    if (fresh == nullptr) return false;
    Release(rep);
    rep = fresh;
    return true;
  }

  // Sets the length of a unique rep and reallocates its buffer by the sizing
  // rule; the first min(old, new) characters are kept. A failed shrink keeps
  // the larger buffer, so only growing can fail.
  static bool SetLength(Rep* rep, int32_t length) {
    const int32_t capacity = CapacityFor(rep->capacity, length);
    if (capacity != rep->capacity) {
      auto* buffer =
          static_cast<Char*>(std::realloc(rep->buffer, static_cast<size_t>(capacity) * sizeof(Char)));
      if (buffer != nullptr) {
        rep->buffer = buffer;
        rep->capacity = capacity;
      } else if (capacity > rep->capacity) {
        return false;
      }
    }
    rep->length = length;
    rep->buffer[length] = Char();
    return true;
  }

  static Rep* LookUpThreadEmpty() {
    // Never destroyed: strings stay usable in static destructors at exit.
    static auto* const lock = new std::mutex;
    static auto* const reps = new std::map<pid_t, Rep*>;
    const pid_t thread = gettid();
    std::lock_guard<std::mutex> guard(*lock);
    auto found = reps->find(thread);
    if (found != reps->end()) return found->second;
    Rep* rep = Create(nullptr, 0);
    if (rep == nullptr) return nullptr;
    // std::map allocates with operator new; keep this layer free of throws.
    try {
      reps->emplace(thread, rep);
    } catch (const std::bad_alloc&) {
      Release(rep);
      return nullptr;
    }
    return rep;
  }
};

using XpStringCoreW = XpStringCore<XpStringRep, char16_t>;
using XpStringCoreA = XpStringCore<XpStringRepA, char>;
