#pragma once

#include <cstdint>

#include "imaging/icc/icc_type.h"
#include "platform/text/XpStringA.h"

// "desc": the ASCII part of a description; its Unicode and ScriptCode parts
// are not read.
class textDescriptionType : public icc_type {
 public:
  static constexpr IccSignature kSignature = 0x64657363;  // "desc"

  textDescriptionType() = default;
  explicit textDescriptionType(const XpStringA& text) : text_(text) {}

  // Reads the count n and n bytes; the text ends at its first zero byte or
  // after n bytes. An n beyond size - 12 or beyond the file's end gives
  // kXpErrEndOfFile before anything is allocated, and the text stays as it
  // was.
  [[nodiscard]] XpResult Read(XpAbstractFile& file, uint32_t size) override;

  XpStringA GetText() const { return text_; }

 private:
  XpStringA text_;
};
