#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/icc/icc_tools.h"
#include "platform/text/XpStringA.h"

// The base of the tag types: values whose data begins with their type
// signature and a reserved word.
class icc_type : public icc_tools {
 public:
  ~icc_type() override = default;

  // Fills the value from the tag data at the file's position; size is the
  // tag's size from the tag table.
  [[nodiscard]] virtual XpResult Read(XpAbstractFile& file, uint32_t size) = 0;

 protected:
  icc_type() = default;
  icc_type(const icc_type&) = default;
  icc_type& operator=(const icc_type&) = default;

  // kXpErrEndOfFile when the tag's size cannot hold minimum bytes.
  [[nodiscard]] static XpResult CheckSize(uint32_t size, uint32_t minimum) {
    return size >= minimum ? kXpOk : kXpErrEndOfFile;
  }
  // Reads the type head (ReadTypeHead), then checks that the tag's size
  // holds minimum bytes. The signature is checked first, so data of another
  // type gives kXpErrIccWrongType whatever its size.
  [[nodiscard]] static XpResult ReadTypeHeadOfSize(XpAbstractFile& file, IccSignature expected,
                                                   uint32_t size, uint32_t minimum);
  // Reads count bytes of text; it ends at the first zero byte or after
  // count bytes. kXpErrEndOfFile when fewer bytes are left, before anything
  // is allocated; kXpErrOutOfMemory for a count no string can hold.
  [[nodiscard]] static XpResult ReadText(XpAbstractFile& file, uint32_t count, XpStringA& text);
  // Clears list, then reads the type head and (size - 8) / unitBytes
  // numbers of type T, each kept as soon as it is read. A wrong signature
  // gives kXpErrIccWrongType; else a size below 8, or numbers that pass the
  // end of the file, give kXpErrEndOfFile before anything is allocated.
  template <typename T>
  [[nodiscard]] static XpResult ReadNumberList(XpAbstractFile& file, uint32_t size,
                                               IccSignature signature, uint32_t unitBytes,
                                               std::vector<T>& list);
  // Throws std::out_of_range, as a vector's checked subscript does, for an
  // index at or beyond count.
  static void CheckIndex(size_t index, size_t count);
};

template <typename T>
XpResult icc_type::ReadNumberList(XpAbstractFile& file, uint32_t size, IccSignature signature,
                                  uint32_t unitBytes, std::vector<T>& list) {
  list.clear();
  XpResult result = ReadTypeHeadOfSize(file, signature, size, kTypeHeadBytes);
  const uint32_t count = (size - kTypeHeadBytes) / unitBytes;
  if (result == kXpOk) {
    result = Require(file, uint64_t{count} * unitBytes);
  }
  if (result != kXpOk) {
    return result;
  }
  list.reserve(count);
  for (uint32_t index = 0; index < count; ++index) {
    T number;
    result = number.Read(file);
    if (result != kXpOk) {
      break;
    }
    list.push_back(number);
  }
  return result;
}
