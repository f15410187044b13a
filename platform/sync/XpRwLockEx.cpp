#include "platform/sync/XpRwLockEx.h"

#include <algorithm>
#include <new>

bool XpRwLockEx::HasReadersBesides(uint32_t caller) const {
  return std::any_of(readers_.begin(), readers_.end(),
                     [caller](const Reader& reader) { return reader.thread != caller; });
}

XpResult XpRwLockEx::AddReader(uint32_t caller) {
  auto reader = FindReader(caller);
  if (reader != readers_.end()) {
    ++reader->count;
    return kXpOk;
  }
  try {
    readers_.push_back(Reader{caller, 1});
  } catch (const std::bad_alloc&) {
    return kXpErrOutOfMemory;
  }
  return kXpOk;
}

void XpRwLockEx::RemoveReader(uint32_t caller) {
  auto reader = FindReader(caller);
  if (reader != readers_.end() && --reader->count == 0) readers_.erase(reader);
}

std::vector<XpRwLockEx::Reader>::iterator XpRwLockEx::FindReader(uint32_t thread) {
  return std::find_if(readers_.begin(), readers_.end(),
                      [thread](const Reader& reader) { return reader.thread == thread; });
}
