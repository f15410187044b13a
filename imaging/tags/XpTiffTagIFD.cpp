#include "imaging/tags/XpTiffTagIFD.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagIds.h"

namespace {

// Entry count, 12-byte entries, next link.
constexpr uint64_t kCountBytes = 2;
constexpr uint64_t kEntryBytes = 12;
constexpr uint64_t kNextLinkBytes = 4;
// Values of up to this many bytes stand in the entry itself.
constexpr uint64_t kInlineBytes = 4;
constexpr uint64_t kOffsetBytes = 4;

uint64_t RoundUpToEven(uint64_t size) { return size + (size & 1); }

// Value-area bytes of a sub-IFD value: one IFD is pointed at from the entry,
// any other number through an array of offsets.
uint64_t SubIFDAreaBytes(const XpTiffTagDataIFD& value) {
  const auto count = static_cast<uint64_t>(value.GetIFDCount());
  return count == 1 ? 0 : count * kOffsetBytes;
}

uint64_t ValueAreaBytes(const XpTiffTagDataBase& value) {
  if (value.IsSubIFD()) {
    return SubIFDAreaBytes(static_cast<const XpTiffTagDataIFD&>(value));
  }
  const uint64_t size = value.GetByteSize();
  return size > kInlineBytes ? RoundUpToEven(size) : 0;
}

// Sub-IFDs of the maker note and of 0xB028 are not searched by FindTag.
bool IsSearchedBelow(uint16_t tag) {
  return tag != kXpTiffTagMakerNote && tag != kXpTiffTagB028IFD;
}

}  // namespace

XpTiffTagIFD::XpTiffTagIFD() = default;
XpTiffTagIFD::~XpTiffTagIFD() = default;

int32_t XpTiffTagIFD::SetEntry(XpTiffTagDataBase* value) {
  if (value == nullptr) {
    return -1;
  }
  const auto found = indexOfTag_.find(value->GetTag());
  if (found != indexOfTag_.end()) {
    entries_[found->second].reset(value);
  } else {
    indexOfTag_.emplace(value->GetTag(), entries_.size());
    entries_.emplace_back(value);
  }
  return GetCount() - 1;
}

XpTiffTagDataBase* XpTiffTagIFD::FindTag(uint16_t tag, bool recurse) const {
  for (const auto& entry : entries_) {
    if (entry->GetTag() == tag) {
      return entry.get();
    }
    if (!recurse || !entry->IsSubIFD() || !IsSearchedBelow(entry->GetTag())) {
      continue;
    }
    if (XpTiffTagDataBase* found =
            static_cast<const XpTiffTagDataIFD&>(*entry).FindTag(tag, recurse)) {
      return found;
    }
  }
  return nullptr;
}

XpTiffTagDataBase* XpTiffTagIFD::GetAt(int32_t index) const {
  if (index < 0 || index >= GetCount()) {
    return nullptr;
  }
  return entries_[static_cast<size_t>(index)].get();
}

void XpTiffTagIFD::RemoveAt(int32_t index) {
  if (index < 0 || index >= GetCount()) {
    return;
  }
  entries_.erase(entries_.begin() + index);
  RebuildIndex();
}

XpTiffTagIFD* XpTiffTagIFD::Clone() const {
  std::unique_ptr<XpTiffTagIFD> copy(new (std::nothrow) XpTiffTagIFD());
  if (copy == nullptr) {
    return nullptr;
  }
  copy->isMakerNote_ = isMakerNote_;
  for (const auto& entry : entries_) {
    if (copy->SetEntry(entry->Clone()) < 0) {
      return nullptr;
    }
  }
  return copy.release();
}

template <typename T>
int32_t XpTiffTagIFD::SetBytes(uint16_t tag, uint32_t count, const void* bytes,
                               uint64_t byteCount) {
  XpTiffTagData<T>* value = XpTiffTagData<T>::Create(tag, count);
  if (value == nullptr) {
    return -1;
  }
  if (bytes != nullptr) {
    std::memcpy(value->GetData(), bytes, std::min(byteCount, value->GetByteSize()));
  }
  return SetEntry(value);
}

int32_t XpTiffTagIFD::SetByte(uint16_t tag, uint8_t value) {
  return SetBytes<XpTiffTagTypeByte>(tag, 1, &value, sizeof value);
}

int32_t XpTiffTagIFD::SetAscii(uint16_t tag, const char* text, int32_t length) {
  const char* source = text != nullptr ? text : "";
  const size_t textLength = strlen(source);
  const auto count = length < 0 ? static_cast<uint32_t>(textLength + 1) : static_cast<uint32_t>(length);
  return SetBytes<XpTiffTagTypeAscii>(tag, count, source, textLength);
}

int32_t XpTiffTagIFD::SetShort(uint16_t tag, uint16_t value) {
  return SetBytes<XpTiffTagTypeShort>(tag, 1, &value, sizeof value);
}

int32_t XpTiffTagIFD::SetLong(uint16_t tag, uint32_t value) {
  return SetBytes<XpTiffTagTypeLong>(tag, 1, &value, sizeof value);
}

int32_t XpTiffTagIFD::SetRational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
  const uint32_t words[2] = {numerator, denominator};
  return SetBytes<XpTiffTagTypeRational>(tag, 1, words, sizeof words);
}

int32_t XpTiffTagIFD::SetUndefined(uint16_t tag, const void* bytes, uint32_t count) {
  return SetBytes<XpTiffTagTypeUndefined>(tag, count, bytes, count);
}

int32_t XpTiffTagIFD::SetSLong(uint16_t tag, int32_t value) {
  return SetBytes<XpTiffTagTypeSLong>(tag, 1, &value, sizeof value);
}

int32_t XpTiffTagIFD::SetFloat(uint16_t tag, float value) {
  return SetBytes<XpTiffTagTypeFloat>(tag, 1, &value, sizeof value);
}

void XpTiffTagIFD::Sort() {
  std::stable_sort(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
    return a->GetTag() < b->GetTag();
  });
  RebuildIndex();
  for (const auto& entry : entries_) {
    if (entry->IsSubIFD()) {
      // When memory runs out the old count stays; the writer counts IFDs.
      static_cast<void>(static_cast<XpTiffTagDataIFD&>(*entry).ResetOffsets());
    }
  }
}

uint64_t XpTiffTagIFD::GetSize(bool withSubIFDs) const {
  uint64_t size = kCountBytes + kEntryBytes * entries_.size() + kNextLinkBytes;
  if (isMakerNote_) {
    size += kXpTiffMakerNoteMarkerSize;
  }
  for (const auto& entry : entries_) {
    size += ValueAreaBytes(*entry);
    if (!withSubIFDs || !entry->IsSubIFD()) {
      continue;
    }
    const auto& value = static_cast<const XpTiffTagDataIFD&>(*entry);
    for (int32_t index = 0; index < value.GetIFDCount(); ++index) {
      size += value.GetIFD(index)->GetSize(true);
    }
  }
  return size;
}

void XpTiffTagIFD::RebuildIndex() {
  indexOfTag_.clear();
  for (size_t index = 0; index < entries_.size(); ++index) {
    indexOfTag_.emplace(entries_[index]->GetTag(), index);
  }
}
