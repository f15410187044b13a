#include "imaging/tags/XpTiffTagManager.h"

#include <new>

XpTiffTagManager::XpTiffTagManager() = default;
XpTiffTagManager::~XpTiffTagManager() = default;

bool XpTiffTagManager::Reset() {
  Clear();
  makerNoteOffset_ = 0;
  makerNoteSize_ = 0;
  root_.reset(XpTiffTagDataIFD::Create(0, 0));
  return root_ != nullptr;
}

void XpTiffTagManager::Clear() { root_.reset(); }

XpTiffTagManager* XpTiffTagManager::Clone() const {
  std::unique_ptr<XpTiffTagManager> copy(new (std::nothrow) XpTiffTagManager());
  if (copy == nullptr) {
    return nullptr;
  }
  copy->bigEndian_ = bigEndian_;
  copy->makerTag2001Offset_ = makerTag2001Offset_;
  copy->makerTag2001Count_ = makerTag2001Count_;
  copy->makerNoteOffset_ = makerNoteOffset_;
  copy->makerNoteSize_ = makerNoteSize_;
  if (root_ != nullptr) {
    copy->root_.reset(static_cast<XpTiffTagDataIFD*>(root_->Clone()));
    if (copy->root_ == nullptr) {
      return nullptr;
    }
  }
  return copy.release();
}

bool XpTiffTagManager::HasIFDs() const { return GetIFDCount() > 0; }

int32_t XpTiffTagManager::GetIFDCount() const {
  return root_ != nullptr ? root_->GetIFDCount() : 0;
}

XpTiffTagIFD* XpTiffTagManager::GetIFD(int32_t index) const {
  return root_ != nullptr ? root_->GetIFD(index) : nullptr;
}

XpTiffTagDataBase* XpTiffTagManager::FindTag(uint16_t tag, bool recurse) const {
  return root_ != nullptr ? root_->FindTag(tag, recurse) : nullptr;
}

void XpTiffTagManager::SetByteOrder(XpByteOrder order) {
  bigEndian_ = order == kXpByteOrderBigEndian;
}
