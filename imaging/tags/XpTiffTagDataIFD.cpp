#include "imaging/tags/XpTiffTagDataIFD.h"

#include <cstring>
#include <new>

#include "imaging/tags/XpTiffTagIFD.h"

XpTiffTagDataIFD::XpTiffTagDataIFD(uint16_t tag, uint32_t count)
    : XpTiffTagData<XpTiffTagTypeLong>(tag, count) {}

XpTiffTagDataIFD::~XpTiffTagDataIFD() = default;

XpTiffTagDataIFD* XpTiffTagDataIFD::Create(uint16_t tag, uint32_t count) {
  auto* value = new (std::nothrow) XpTiffTagDataIFD(tag, count);
  if (value != nullptr && !value->HasBuffer()) {
    delete value;
    return nullptr;
  }
  return value;
}

XpTiffTagDataBase* XpTiffTagDataIFD::Clone() const {
  std::unique_ptr<XpTiffTagDataIFD> copy(Create(GetTag(), GetCount()));
  if (copy == nullptr) {
    return nullptr;
  }
  std::memcpy(copy->GetData(), GetData(), GetByteSize());
  for (const auto& ifd : ifds_) {
    XpTiffTagIFD* ifdCopy = ifd->Clone();
    if (ifdCopy == nullptr) {
      return nullptr;
    }
    copy->AddIFD(ifdCopy);
  }
  return copy.release();
}

XpTiffTagIFD* XpTiffTagDataIFD::GetIFD(int32_t index) const {
  if (index < 0 || index >= GetIFDCount()) {
    return nullptr;
  }
  return ifds_[static_cast<size_t>(index)].get();
}

void XpTiffTagDataIFD::AddIFD(XpTiffTagIFD* ifd) {
  if (ifd != nullptr) {
    ifds_.emplace_back(ifd);
  }
}

void XpTiffTagDataIFD::RemoveIFD(int32_t index) {
  if (index < 0 || index >= GetIFDCount()) {
    return;
  }
  ifds_.erase(ifds_.begin() + index);
}

XpTiffTagDataBase* XpTiffTagDataIFD::FindTag(uint16_t tag, bool recurse) const {
  for (const auto& ifd : ifds_) {
    if (XpTiffTagDataBase* found = ifd->FindTag(tag, recurse)) {
      return found;
    }
  }
  return nullptr;
}

bool XpTiffTagDataIFD::ResetOffsets() {
  return ReplaceBuffer(static_cast<uint32_t>(ifds_.size()), GetElementSize());
}
