#pragma once

#include <cstdint>
#include <memory>

#include "platform/text/XpString.h"

// Type codes of tag values: the TIFF field types 1-12, and the model's own
// kinds with bit 15 set, which are written with that bit cleared.
inline constexpr uint16_t kXpTiffTypeByte = 1;
inline constexpr uint16_t kXpTiffTypeAscii = 2;
inline constexpr uint16_t kXpTiffTypeShort = 3;
inline constexpr uint16_t kXpTiffTypeLong = 4;
inline constexpr uint16_t kXpTiffTypeRational = 5;
inline constexpr uint16_t kXpTiffTypeSByte = 6;
inline constexpr uint16_t kXpTiffTypeUndefined = 7;
inline constexpr uint16_t kXpTiffTypeSShort = 8;
inline constexpr uint16_t kXpTiffTypeSLong = 9;
inline constexpr uint16_t kXpTiffTypeSRational = 10;
inline constexpr uint16_t kXpTiffTypeFloat = 11;
inline constexpr uint16_t kXpTiffTypeDouble = 12;
// In a file: an IFD offset, read as LONG.
inline constexpr uint16_t kXpTiffTypeIfd = 13;
inline constexpr uint16_t kXpTiffTypeModelFlag = 0x8000;
inline constexpr uint16_t kXpTiffTypeSubIFD = kXpTiffTypeModelFlag | kXpTiffTypeLong;

// Bytes per element of a type as it stands in a file (13 is an IFD offset);
// 0 for a code that is not a type.
constexpr uint32_t XpTiffFileElementSize(uint16_t type) {
  switch (type) {
    case kXpTiffTypeByte:
    case kXpTiffTypeAscii:
    case kXpTiffTypeSByte:
    case kXpTiffTypeUndefined:
      return 1;
    case kXpTiffTypeShort:
    case kXpTiffTypeSShort:
      return 2;
    case kXpTiffTypeLong:
    case kXpTiffTypeSLong:
    case kXpTiffTypeFloat:
    case kXpTiffTypeIfd:
      return 4;
    case kXpTiffTypeRational:
    case kXpTiffTypeSRational:
    case kXpTiffTypeDouble:
      return 8;
    default:
      return 0;
  }
}

// Type tags of XpTiffTagData<T>: code, bytes per element, and the unit
// whose bytes are reversed between byte orders.
template <uint16_t Code, uint32_t ElementSize, uint32_t SwapUnit>
struct XpTiffTagType {
  static constexpr uint16_t kCode = Code;
  static constexpr uint32_t kElementSize = ElementSize;
  static constexpr uint32_t kSwapUnit = SwapUnit;
};
struct XpTiffTagTypeByte : XpTiffTagType<kXpTiffTypeByte, 1, 1> {};
struct XpTiffTagTypeAscii : XpTiffTagType<kXpTiffTypeAscii, 1, 1> {};
struct XpTiffTagTypeShort : XpTiffTagType<kXpTiffTypeShort, 2, 2> {};
struct XpTiffTagTypeLong : XpTiffTagType<kXpTiffTypeLong, 4, 4> {};
// Two 32-bit words, numerator first; each word is swapped by itself.
struct XpTiffTagTypeRational : XpTiffTagType<kXpTiffTypeRational, 8, 4> {};
struct XpTiffTagTypeSByte : XpTiffTagType<kXpTiffTypeSByte, 1, 1> {};
struct XpTiffTagTypeUndefined : XpTiffTagType<kXpTiffTypeUndefined, 1, 1> {};
struct XpTiffTagTypeSShort : XpTiffTagType<kXpTiffTypeSShort, 2, 2> {};
struct XpTiffTagTypeSLong : XpTiffTagType<kXpTiffTypeSLong, 4, 4> {};
struct XpTiffTagTypeSRational : XpTiffTagType<kXpTiffTypeSRational, 8, 4> {};
struct XpTiffTagTypeFloat : XpTiffTagType<kXpTiffTypeFloat, 4, 4> {};
struct XpTiffTagTypeDouble : XpTiffTagType<kXpTiffTypeDouble, 8, 8> {};

// One tag value: tag id, element count (for ASCII the bytes with the NUL)
// and an owned buffer of count elements in host order, followed by one more
// zero element, so an ASCII value always ends in NUL and a reader may look
// one element past the end.
class XpTiffTagDataBase {
 public:
  XpTiffTagDataBase(const XpTiffTagDataBase&) = delete;
  XpTiffTagDataBase& operator=(const XpTiffTagDataBase&) = delete;
  virtual ~XpTiffTagDataBase();

  virtual uint16_t GetType() const = 0;
  virtual uint32_t GetElementSize() const = 0;
  virtual uint32_t GetSwapUnit() const = 0;
  // A debug line: tag, count, type and the texts of elements 0-19. Empty for
  // ASCII and UNDEFINED values.
  virtual XpString Dump() const = 0;
  // The text of one element; empty for an index at or past the count.
  // ASCII and UNDEFINED values give their whole text for any index.
  virtual XpString GetValueText(uint32_t index) const = 0;
  // A deep copy; null when memory ran out.
  virtual XpTiffTagDataBase* Clone() const = 0;

  uint16_t GetTag() const { return tag_; }
  uint32_t GetCount() const { return count_; }
  uint8_t* GetData() { return data_.get(); }
  const uint8_t* GetData() const { return data_.get(); }
  // count x element size.
  uint64_t GetByteSize() const { return uint64_t{count_} * GetElementSize(); }
  bool IsSubIFD() const { return GetType() == kXpTiffTypeSubIFD; }

 protected:
  XpTiffTagDataBase(uint16_t tag, uint32_t count, uint32_t elementSize);
  // False when the buffer could not be allocated.
  bool HasBuffer() const { return data_ != nullptr; }
  // A new zeroed buffer for count elements; false, and nothing changed, when
  // memory ran out.
  bool ReplaceBuffer(uint32_t count, uint32_t elementSize);

 private:
  static std::unique_ptr<uint8_t[]> NewBuffer(uint32_t count, uint32_t elementSize);

  uint16_t tag_;
  uint32_t count_;
  std::unique_ptr<uint8_t[]> data_;
};

// A tag value of one TIFF field type.
template <typename T>
class XpTiffTagData : public XpTiffTagDataBase {
 public:
  // A zeroed value; null when memory ran out.
  static XpTiffTagData* Create(uint16_t tag, uint32_t count);

  uint16_t GetType() const override { return T::kCode; }
  uint32_t GetElementSize() const override { return T::kElementSize; }
  uint32_t GetSwapUnit() const override { return T::kSwapUnit; }
  XpString Dump() const override;
  XpString GetValueText(uint32_t index) const override;
  XpTiffTagDataBase* Clone() const override;

 protected:
  XpTiffTagData(uint16_t tag, uint32_t count) : XpTiffTagDataBase(tag, count, T::kElementSize) {}
};

extern template class XpTiffTagData<XpTiffTagTypeByte>;
extern template class XpTiffTagData<XpTiffTagTypeAscii>;
extern template class XpTiffTagData<XpTiffTagTypeShort>;
extern template class XpTiffTagData<XpTiffTagTypeLong>;
extern template class XpTiffTagData<XpTiffTagTypeRational>;
extern template class XpTiffTagData<XpTiffTagTypeSByte>;
extern template class XpTiffTagData<XpTiffTagTypeUndefined>;
extern template class XpTiffTagData<XpTiffTagTypeSShort>;
extern template class XpTiffTagData<XpTiffTagTypeSLong>;
extern template class XpTiffTagData<XpTiffTagTypeSRational>;
extern template class XpTiffTagData<XpTiffTagTypeFloat>;
extern template class XpTiffTagData<XpTiffTagTypeDouble>;

// A zeroed value of the TIFF type code (1-12) with tag and count; null for
// another code or when memory ran out.
XpTiffTagDataBase* XpTiffTagDataCreate(uint16_t type, uint16_t tag, uint32_t count);
