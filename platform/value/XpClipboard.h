#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The clipboard: an in-process store of UTF-16 texts keyed by format, shared
// by every thread of the process. Setting a text replaces what the
// clipboard held in every format, as emptying it first would.
class XpClipboard {
 public:
  using Format = uint32_t;

  static bool IsFormatAvailable(Format format);
  // The text held under format; kXpErrGeneric, *out untouched, when there
  // is none.
  [[nodiscard]] static XpResult GetText(Format format, XpString* out);
  // Empties the clipboard, then holds text under format.
  [[nodiscard]] static XpResult SetText(Format format, const XpString& text);
  static void Empty();
};
