#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "imaging/icc/icc_type.h"

// "curv": a count and that many 16-bit entries.
class curveType : public icc_type {
 public:
  static constexpr IccSignature kSignature = 0x63757276;  // "curv"

  curveType() = default;
  explicit curveType(std::vector<uint16_t> entries) : entries_(std::move(entries)) {}

  // Clears the list, then reads the count n and n entries. An n beyond
  // (size - 12) / 2 or beyond the file's end gives kXpErrEndOfFile before
  // anything is allocated, and the list stays empty.
  [[nodiscard]] XpResult Read(XpAbstractFile& file, uint32_t size) override;

  std::vector<uint16_t> GetEntries() const { return entries_; }

 private:
  std::vector<uint16_t> entries_;
};
