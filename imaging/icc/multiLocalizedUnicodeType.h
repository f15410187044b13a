#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "imaging/icc/icc_type.h"

// "mluc": texts in several languages. Only its head is read; the held
// language, country and characters are those it was built with.
class multiLocalizedUnicodeType : public icc_type {
 public:
  static constexpr IccSignature kSignature = 0x6D6C7563;  // "mluc"

  multiLocalizedUnicodeType() = default;
  multiLocalizedUnicodeType(uint16_t languageCode, uint16_t countryCode,
                            std::vector<uint16_t> text)
      : languageCode_(languageCode), countryCode_(countryCode), text_(std::move(text)) {}

  // Reads the type head and the record count, and stores nothing.
  [[nodiscard]] XpResult Read(XpAbstractFile& file, uint32_t size) override;

  uint16_t GetLanguageCode() const { return languageCode_; }
  uint16_t GetCountryCode() const { return countryCode_; }
  std::vector<uint16_t> GetText() const { return text_; }

 private:
  uint16_t languageCode_ = 0;
  uint16_t countryCode_ = 0;
  std::vector<uint16_t> text_;
};
