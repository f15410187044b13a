#include "platform/value/XpClipboard.h"

#include <map>
#include <mutex>
#include <new>

namespace {

struct Store {
  std::mutex mutex;
  std::map<XpClipboard::Format, XpString> texts;
};

Store& TheStore() {
  static Store store;
  return store;
}

}  // namespace

bool XpClipboard::IsFormatAvailable(Format format) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  return store.texts.count(format) != 0;
}

XpResult XpClipboard::GetText(Format format, XpString* out) {
  if (out == nullptr) {
    return kXpErrBadArgument;
  }
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  const auto found = store.texts.find(format);
  if (found == store.texts.end()) {
    return kXpErrGeneric;
  }
  *out = found->second;
  return kXpOk;
}

XpResult XpClipboard::SetText(Format format, const XpString& text) {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.texts.clear();
  try {
    store.texts.emplace(format, text);
  } catch (const std::bad_alloc&) {
    return kXpErrGeneric;
  }
  return kXpOk;
}

void XpClipboard::Empty() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.texts.clear();
}
