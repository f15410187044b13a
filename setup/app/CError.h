#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/text/XpString.h"

// A failure that setup reports with one error box and then ends on. The
// text goes into the message's "%s"; without one the product name does.
class CError {
 public:
  // Exit status after the report: a reported failure is never success.
  static constexpr int32_t kExitValue = 1;
  // Error icon and an OK button.
  static constexpr uint32_t kBoxFlags = 0x10;

  // reason: one line for standard error naming the step that failed.
  CError(uint32_t messageId, std::optional<XpString> text, std::string reason,
         uint32_t captionId = 0);

  int32_t ExitValue() const { return kExitValue; }
  // Null: the product name.
  const XpString* Text() const { return text_ ? &*text_ : nullptr; }
  // 0: the settings file's caption text.
  uint32_t CaptionId() const { return captionId_; }
  uint32_t MessageId() const { return messageId_; }
  uint32_t BoxFlags() const { return kBoxFlags; }
  const std::string& Reason() const { return reason_; }

 private:
  std::optional<XpString> text_;
  uint32_t captionId_;
  uint32_t messageId_;
  std::string reason_;
};
