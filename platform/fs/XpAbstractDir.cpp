#include "platform/fs/XpAbstractDir.h"

#include <string_view>

int64_t XpAbstractDir::GetSize() {
  if (BeginEnum(kXpEnumAll, XpString()) != kXpOk) {
    return -1;
  }
  int64_t total = 0;
  for (XpSharedPtr<XpAbstractFSObj> child = GetNext(); child; child = GetNext()) {
    const int64_t size = child->GetSize();
    if (size > 0) {
      total += size;
    }
  }
  // The listing is read to its end; closing it loses nothing.
  (void)EndEnum();
  return total;
}

int64_t XpAbstractDir::CountChildren(bool recursive) {
  if (BeginEnum(kXpEnumAll, XpString()) != kXpOk) {
    return 0;
  }
  int64_t count = 0;
  for (XpSharedPtr<XpAbstractFSObj> child = GetNext(); child; child = GetNext()) {
    ++count;
    if (!recursive || !child->IsDirectory()) {
      continue;
    }
    XpSharedPtr<XpAbstractDir> folder(child);
    if (folder) {
      count += folder->CountChildren(true);
    }
  }
  // The listing is read to its end; closing it loses nothing.
  (void)EndEnum();
  return count;
}

bool XpAbstractDir::IsEmpty() {
  if (BeginEnum(kXpEnumAll, XpString()) != kXpOk) {
    return false;
  }
  const bool empty = !GetNext();
  // Only the first entry mattered; closing the listing loses nothing.
  (void)EndEnum();
  return empty;
}

bool XpAbstractDir::MatchEntry(bool isDirectory, const XpString& name) const {
  const XpEnumFilter kindBit = isDirectory ? kXpEnumDirectories : kXpEnumFiles;
  if ((filter_ & kindBit) == 0) {
    return false;
  }
  const std::u16string_view text = name.View();
  const std::u16string_view pattern = pattern_.View();
  const size_t length = static_cast<size_t>(patternLength_);
  if ((filter_ & kXpEnumNameEquals) != 0) {
    return text == pattern;
  }
  if ((filter_ & kXpEnumNameBegins) != 0) {
    return text.substr(0, length) == pattern;
  }
  if ((filter_ & kXpEnumNameEnds) != 0) {
    return text.substr(text.size() > length ? text.size() - length : 0) == pattern;
  }
  return true;
}

void XpAbstractDir::SetFilter(XpEnumFilter filter, const XpString& pattern) {
  filter_ = filter;
  pattern_ = pattern;
  patternLength_ = pattern.GetLength();
}
