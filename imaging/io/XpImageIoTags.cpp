#include "imaging/io/XpImageIoTags.h"

#include <cstring>

namespace {

// The value of the tag when it has one of the two types and an element.
const XpTiffTagDataBase* FindTyped(const XpTiffTagIFD* ifd, uint16_t tag, bool recurse,
                                   uint16_t type, uint16_t otherType) {
  if (ifd == nullptr) {
    return nullptr;
  }
  const XpTiffTagDataBase* found = ifd->FindTag(tag, recurse);
  if (found == nullptr || found->GetCount() == 0) {
    return nullptr;
  }
  return found->GetType() == type || found->GetType() == otherType ? found : nullptr;
}

[[nodiscard]] XpResult ReadElement0(const XpTiffTagDataBase* found, uint32_t* value) {
  if (found == nullptr) {
    return kXpErrImageTagNotFound;
  }
  if (found->GetType() == kXpTiffTypeShort) {
    uint16_t element = 0;
    std::memcpy(&element, found->GetData(), sizeof element);
    *value = element;
  } else {
    std::memcpy(value, found->GetData(), sizeof *value);
  }
  return kXpOk;
}

const XpTiffTagIFD* IFDOf(const XpTiffTagManager* tags, int32_t ifdIndex) {
  return tags != nullptr ? tags->GetIFD(ifdIndex) : nullptr;
}

}  // namespace

[[nodiscard]] XpResult XpImageIoGetLongTag(const XpTiffTagIFD* ifd, uint16_t tag, uint32_t* value,
                                           bool recurse) {
  if (value == nullptr) {
    return kXpErrBadArgument;
  }
  return ReadElement0(FindTyped(ifd, tag, recurse, kXpTiffTypeLong, kXpTiffTypeLong), value);
}

[[nodiscard]] XpResult XpImageIoGetShortOrLongTag(const XpTiffTagIFD* ifd, uint16_t tag,
                                                  uint32_t* value, bool recurse) {
  if (value == nullptr) {
    return kXpErrBadArgument;
  }
  return ReadElement0(FindTyped(ifd, tag, recurse, kXpTiffTypeShort, kXpTiffTypeLong), value);
}

[[nodiscard]] XpResult XpImageIoGetLongTag(const XpTiffTagManager* tags, uint16_t tag,
                                           int32_t ifdIndex, uint32_t* value) {
  return XpImageIoGetLongTag(IFDOf(tags, ifdIndex), tag, value, false);
}

[[nodiscard]] XpResult XpImageIoGetShortOrLongTag(const XpTiffTagManager* tags, uint16_t tag,
                                                  int32_t ifdIndex, uint32_t* value) {
  return XpImageIoGetShortOrLongTag(IFDOf(tags, ifdIndex), tag, value, false);
}
