#include "setup/app/CError.h"

#include <utility>

CError::CError(uint32_t messageId, std::optional<XpString> text, std::string reason,
               uint32_t captionId)
    : text_(std::move(text)),
      captionId_(captionId),
      messageId_(messageId),
      reason_(std::move(reason)) {}
