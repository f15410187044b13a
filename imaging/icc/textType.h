#pragma once

#include <cstdint>

#include "imaging/icc/icc_type.h"
#include "platform/text/XpStringA.h"

// "text": a 7-bit text filling the rest of the tag.
class textType : public icc_type {
 public:
  static constexpr IccSignature kSignature = 0x74657874;  // "text"

  textType() = default;
  explicit textType(const XpStringA& text) : text_(text) {}

  // The text ends at its first zero byte or at the end of the tag. A size
  // below 8, or one that passes the end of the file, gives kXpErrEndOfFile
  // before anything is allocated, and the text stays as it was.
  [[nodiscard]] XpResult Read(XpAbstractFile& file, uint32_t size) override;

  XpStringA GetText() const { return text_; }

 private:
  XpStringA text_;
};
