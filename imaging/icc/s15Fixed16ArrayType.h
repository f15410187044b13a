#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "imaging/icc/icc_type.h"
#include "imaging/icc/s15Fixed16Number.h"

// "sf32": s15Fixed16Number filling the rest of the tag.
class s15Fixed16ArrayType : public icc_type {
 public:
  static constexpr IccSignature kSignature = 0x73663332;  // "sf32"
  static constexpr uint32_t kNumberBytes = 4;

  s15Fixed16ArrayType() = default;
  explicit s15Fixed16ArrayType(std::vector<s15Fixed16Number> numbers)
      : numbers_(std::move(numbers)) {}

  // Clears the list and reads (size - 8) / 4 numbers. A size below 8, or
  // numbers that pass the end of the file, give kXpErrEndOfFile before
  // room is made, and the list stays empty.
  [[nodiscard]] XpResult Read(XpAbstractFile& file, uint32_t size) override;

  std::vector<s15Fixed16Number> GetNumbers() const { return numbers_; }
  size_t GetCount() const { return numbers_.size(); }
  // Both throw std::out_of_range for an index at or beyond the count.
  s15Fixed16Number GetAt(size_t index) const;
  void SetAt(size_t index, const s15Fixed16Number& number);

  // For tests: the room the list holds.
  size_t GetCapacityForTest() const { return numbers_.capacity(); }

 private:
  std::vector<s15Fixed16Number> numbers_;
};
