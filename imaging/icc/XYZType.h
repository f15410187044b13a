#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "imaging/icc/XYZNumber.h"
#include "imaging/icc/icc_type.h"

// "XYZ ": XYZNumber filling the rest of the tag.
class XYZType : public icc_type {
 public:
  static constexpr IccSignature kSignature = 0x58595A20;  // "XYZ "
  static constexpr uint32_t kNumberBytes = 12;

  XYZType() = default;
  explicit XYZType(std::vector<XYZNumber> numbers) : numbers_(std::move(numbers)) {}

  // Clears the list and reads (size - 8) / 12 numbers, the division
  // truncating. A size below 8, or numbers that pass the end of the file,
  // give kXpErrEndOfFile before room is made, and the list stays empty.
  [[nodiscard]] XpResult Read(XpAbstractFile& file, uint32_t size) override;

  std::vector<XYZNumber> GetNumbers() const { return numbers_; }
  size_t GetCount() const { return numbers_.size(); }
  // Both throw std::out_of_range for an index at or beyond the count.
  XYZNumber GetAt(size_t index) const;
  void SetAt(size_t index, const XYZNumber& number);

  // For tests: the room the list holds.
  size_t GetCapacityForTest() const { return numbers_.capacity(); }

 private:
  std::vector<XYZNumber> numbers_;
};
