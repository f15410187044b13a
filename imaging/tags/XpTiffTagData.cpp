#include "imaging/tags/XpTiffTagData.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

#include "platform/text/XpUtf.h"

namespace {

// The 8-bit text of an ASCII value is formatted into 256 bytes.
constexpr size_t kMaxAsciiTextBytes = 255;
// Dump shows elements 0-19, in a line of 2048 units with its terminator.
constexpr uint32_t kDumpElements = 20;
constexpr int32_t kDumpMaxLength = 2047;
constexpr uint16_t kTypeCodeMask = 0x7FFF;

template <typename T>
constexpr bool kIsByteText =
    T::kCode == kXpTiffTypeAscii || T::kCode == kXpTiffTypeUndefined;

template <typename E>
E ElementAt(const uint8_t* element) {
  E value;
  std::memcpy(&value, element, sizeof value);
  return value;
}

template <typename... Args>
XpString Formatted(const char16_t* format, const Args&... args) {
  XpString text;
  if (XpFailed(text.Format(format, args...))) {
    return XpString();
  }
  return text;
}

// 8-bit text is UTF-8, with undecodable bytes kept as surrogate escapes.
XpString FromEightBit(const uint8_t* bytes, size_t length) {
  return XpString(XpUtf8ToUtf16(std::string_view(reinterpret_cast<const char*>(bytes), length)));
}

XpString ElementText(XpTiffTagTypeByte, const uint8_t* element) {
  return Formatted(u"%d", ElementAt<uint8_t>(element));
}
XpString ElementText(XpTiffTagTypeShort, const uint8_t* element) {
  return Formatted(u"%d", ElementAt<uint16_t>(element));
}
// Values of 2^31 and above print negative.
XpString ElementText(XpTiffTagTypeLong, const uint8_t* element) {
  return Formatted(u"%d", ElementAt<int32_t>(element));
}
XpString ElementText(XpTiffTagTypeRational, const uint8_t* element) {
  return Formatted(u"%lu/%lu", ElementAt<uint32_t>(element), ElementAt<uint32_t>(element + 4));
}
XpString ElementText(XpTiffTagTypeSByte, const uint8_t* element) {
  return Formatted(u"%d", ElementAt<int8_t>(element));
}
XpString ElementText(XpTiffTagTypeSShort, const uint8_t* element) {
  return Formatted(u"%d", ElementAt<int16_t>(element));
}
XpString ElementText(XpTiffTagTypeSLong, const uint8_t* element) {
  return Formatted(u"%d", ElementAt<int32_t>(element));
}
XpString ElementText(XpTiffTagTypeSRational, const uint8_t* element) {
  return Formatted(u"%ld/%ld", ElementAt<int32_t>(element), ElementAt<int32_t>(element + 4));
}
XpString ElementText(XpTiffTagTypeFloat, const uint8_t* element) {
  return Formatted(u"%lf", static_cast<double>(ElementAt<float>(element)));
}
XpString ElementText(XpTiffTagTypeDouble, const uint8_t* element) {
  return Formatted(u"%lf", ElementAt<double>(element));
}

// The text up to its NUL, at most 255 bytes; the buffer always ends in NUL.
XpString WholeText(XpTiffTagTypeAscii, const uint8_t* data, uint32_t /*count*/) {
  return FromEightBit(data, strnlen(reinterpret_cast<const char*>(data), kMaxAsciiTextBytes));
}
// The bytes up to the first NUL, or all count bytes.
XpString WholeText(XpTiffTagTypeUndefined, const uint8_t* data, uint32_t count) {
  return FromEightBit(data, strnlen(reinterpret_cast<const char*>(data), count));
}

}  // namespace

XpTiffTagDataBase::XpTiffTagDataBase(uint16_t tag, uint32_t count, uint32_t elementSize)
    : tag_(tag), count_(count), data_(NewBuffer(count, elementSize)) {}

XpTiffTagDataBase::~XpTiffTagDataBase() = default;

std::unique_ptr<uint8_t[]> XpTiffTagDataBase::NewBuffer(uint32_t count, uint32_t elementSize) {
  const uint64_t size = (uint64_t{count} + 1) * elementSize;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]());
}

bool XpTiffTagDataBase::ReplaceBuffer(uint32_t count, uint32_t elementSize) {
  std::unique_ptr<uint8_t[]> buffer = NewBuffer(count, elementSize);
  if (buffer == nullptr) {
    return false;
  }
  data_ = std::move(buffer);
  count_ = count;
  return true;
}

template <typename T>
XpTiffTagData<T>* XpTiffTagData<T>::Create(uint16_t tag, uint32_t count) {
  auto* value = new (std::nothrow) XpTiffTagData(tag, count);
  if (value != nullptr && !value->HasBuffer()) {
    delete value;
    return nullptr;
  }
  return value;
}

template <typename T>
XpString XpTiffTagData<T>::GetValueText(uint32_t index) const {
  if constexpr (kIsByteText<T>) {
    return WholeText(T{}, GetData(), GetCount());
  } else {
    if (index >= GetCount()) {
      return XpString();
    }
    return ElementText(T{}, GetData() + uint64_t{index} * T::kElementSize);
  }
}

template <typename T>
XpString XpTiffTagData<T>::Dump() const {
  if constexpr (kIsByteText<T>) {
    return XpString();
  } else {
    const uint16_t tag = GetTag();
    XpString line = Formatted(u"%5d(0x%04x) x %3lu (%d) = %s", tag, tag, GetCount(),
                              GetType() & kTypeCodeMask, GetValueText(0));
    const uint32_t shown = std::min(GetCount(), kDumpElements);
    for (uint32_t index = 1; index < shown; ++index) {
      if (XpFailed(line.AppendFormat(u", %s", GetValueText(index)))) {
        break;
      }
    }
    return line.Left(kDumpMaxLength);
  }
}

template <typename T>
XpTiffTagDataBase* XpTiffTagData<T>::Clone() const {
  XpTiffTagData* copy = Create(GetTag(), GetCount());
  if (copy != nullptr) {
    std::memcpy(copy->GetData(), GetData(), GetByteSize());
  }
  return copy;
}

template class XpTiffTagData<XpTiffTagTypeByte>;
template class XpTiffTagData<XpTiffTagTypeAscii>;
template class XpTiffTagData<XpTiffTagTypeShort>;
template class XpTiffTagData<XpTiffTagTypeLong>;
template class XpTiffTagData<XpTiffTagTypeRational>;
template class XpTiffTagData<XpTiffTagTypeSByte>;
template class XpTiffTagData<XpTiffTagTypeUndefined>;
template class XpTiffTagData<XpTiffTagTypeSShort>;
template class XpTiffTagData<XpTiffTagTypeSLong>;
template class XpTiffTagData<XpTiffTagTypeSRational>;
template class XpTiffTagData<XpTiffTagTypeFloat>;
template class XpTiffTagData<XpTiffTagTypeDouble>;

XpTiffTagDataBase* XpTiffTagDataCreate(uint16_t type, uint16_t tag, uint32_t count) {
  switch (type) {
    case kXpTiffTypeByte:
      return XpTiffTagData<XpTiffTagTypeByte>::Create(tag, count);
    case kXpTiffTypeAscii:
      return XpTiffTagData<XpTiffTagTypeAscii>::Create(tag, count);
    case kXpTiffTypeShort:
      return XpTiffTagData<XpTiffTagTypeShort>::Create(tag, count);
    case kXpTiffTypeLong:
      return XpTiffTagData<XpTiffTagTypeLong>::Create(tag, count);
    case kXpTiffTypeRational:
      return XpTiffTagData<XpTiffTagTypeRational>::Create(tag, count);
    case kXpTiffTypeSByte:
      return XpTiffTagData<XpTiffTagTypeSByte>::Create(tag, count);
    case kXpTiffTypeUndefined:
      return XpTiffTagData<XpTiffTagTypeUndefined>::Create(tag, count);
    case kXpTiffTypeSShort:
      return XpTiffTagData<XpTiffTagTypeSShort>::Create(tag, count);
    case kXpTiffTypeSLong:
      return XpTiffTagData<XpTiffTagTypeSLong>::Create(tag, count);
    case kXpTiffTypeSRational:
      return XpTiffTagData<XpTiffTagTypeSRational>::Create(tag, count);
    case kXpTiffTypeFloat:
      return XpTiffTagData<XpTiffTagTypeFloat>::Create(tag, count);
    case kXpTiffTypeDouble:
      return XpTiffTagData<XpTiffTagTypeDouble>::Create(tag, count);
    default:
      return nullptr;
  }
}
