#include "platform/value/XpIniElement.h"

#include <new>

#include "platform/value/XpIniArray.h"
#include "platform/value/XpIniDict.h"
#include "platform/value/XpIniMemChunk.h"
#include "platform/value/XpIniScalar.h"

XpIniElement::~XpIniElement() = default;

XpResult XpIniElement::Create(XpIniType type, XpIniElement** out, const XpIniValue& value) {
  if (out == nullptr) {
    return kXpErrBadArgument;
  }
  *out = nullptr;
  XpIniElement* element = nullptr;
  switch (type) {
    case kXpIniTypeBool:
      element = new (std::nothrow) XpIniBool(value.GetNumber() != 0);
      break;
    case kXpIniTypeInt:
      element = new (std::nothrow) XpIniInt(value.GetNumber());
      break;
    case kXpIniTypeReal:
      element = new (std::nothrow) XpIniReal();
      break;
    case kXpIniTypeString:
      element = new (std::nothrow) XpIniString(value.GetText());
      break;
    case kXpIniTypeMemChunk:
      element = new (std::nothrow) XpIniMemChunk();
      break;
    case kXpIniTypeDate:
      element = new (std::nothrow) XpIniDate();
      break;
    case kXpIniTypeArray:
      element = new (std::nothrow) XpIniArray();
      break;
    case kXpIniTypeDict:
      element = new (std::nothrow) XpIniDict();
      break;
    default:
      return kXpErrValueUnknownType;
  }
  if (element == nullptr) {
    return kXpErrOutOfMemory;
  }
  *out = element;
  return kXpOk;
}

int32_t XpIniElement::GetCount() const { return 0; }

XpIniElement* XpIniElement::Find(const XpString&) const { return nullptr; }

XpIniElement* XpIniElement::GetAt(int32_t) const { return nullptr; }

XpResult XpIniElement::Remove(const XpString&) { return kXpErrValueNotSupported; }

XpResult XpIniElement::RemoveAt(int32_t) { return kXpErrValueNotSupported; }

XpResult XpIniElement::LoadFromFile(const XpString&) { return kXpErrValueNotSupported; }

XpResult XpIniElement::SaveToFile(const XpString&) { return kXpErrValueNotSupported; }

XpResult XpIniElement::Add(const XpString&, XpIniType, const XpIniValue&) {
  return kXpErrValueNotSupported;
}

XpResult XpIniElement::InsertAt(int32_t, XpIniType, const XpIniValue&) {
  return kXpErrValueNotSupported;
}

XpResult XpIniElement::GetMemChunk(XpAbstractFile*) const { return kXpErrValueNotSupported; }

XpResult XpIniElement::GetDate(XpDateTime*) const { return kXpErrValueNotSupported; }

XpResult XpIniElement::GetString(XpString*) const { return kXpErrValueNotSupported; }

XpResult XpIniElement::GetReal(double*) const { return kXpErrValueNotSupported; }

XpResult XpIniElement::GetInt64(int64_t*) const { return kXpErrValueNotSupported; }

XpResult XpIniElement::GetInt32(int32_t*) const { return kXpErrValueNotSupported; }

XpResult XpIniElement::GetBool(bool*) const { return kXpErrValueNotSupported; }

XpResult XpIniElement::SetMemChunk(XpAbstractFile*, int64_t, int64_t) {
  return kXpErrValueNotSupported;
}

XpResult XpIniElement::SetDate(const XpDateTime&) { return kXpErrValueNotSupported; }

XpResult XpIniElement::SetString(const char16_t*) { return kXpErrValueNotSupported; }

XpResult XpIniElement::SetReal(double) { return kXpErrValueNotSupported; }

XpResult XpIniElement::SetInt64(int64_t) { return kXpErrValueNotSupported; }
