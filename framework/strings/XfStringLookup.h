#pragma once

#include <cstdint>
#include <vector>

#include "framework/strings/XfMessageFormatter.h"
#include "framework/strings/XfStringsManager.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The framework's global text look-ups. Each asks the strings managers of
// the process-wide source in list order, so newer files override older
// ones; the first non-empty answer wins. The list is copied at the start of
// each call, so a concurrent replacement never frees a manager in use. With
// no source, or an empty list, every look-up answers an empty text.

using XfStringsManagerList = std::vector<XpSharedPtr<XfStringsManager>>;

// Where the look-ups find the current list of strings managers.
class IXfStringsSource {
 public:
  virtual ~IXfStringsSource();
  // A copy of the current list, in search order. Called from any thread.
  virtual XfStringsManagerList GetStringsManagers() const = 0;
};

// Installs the process-wide source; an empty pointer removes it.
void XfSetStringsSource(const XpSharedPtr<IXfStringsSource>& source);
// Installs a source that answers a copy of managers; kXpErrOutOfMemory
// leaves no source installed.
[[nodiscard]] XpResult XfSetStringsManagers(const XfStringsManagerList& managers);
// The current list; empty without a source.
XfStringsManagerList XfGetStringsManagers();

XpString XfGetString(const char16_t* key);
XpString XfGetStringItem(const char16_t* key, const char16_t* item);
XpString XfFormatStringArgs(const char16_t* key, XfFormatArgs args);
XpString XfFormatMessageArgs(const char16_t* key, XfFormatArgs args);
XpString XfGetErrorTextArgs(uint32_t code, XfFormatArgs args);
// The "LensTable" item of a lens number; a number outside 0-255 is divided
// by ten once first.
XpString XfGetLensName(int32_t number);

template <typename... Args>
XpString XfFormatString(const char16_t* key, const Args&... args) {
  const XpFormatArg packed[] = {XpFormatArg(args)..., XpFormatArg()};
  return XfFormatStringArgs(key, XfFormatArgs(packed, sizeof...(Args)));
}

template <typename... Args>
XpString XfFormatMessage(const char16_t* key, const Args&... args) {
  const XpFormatArg packed[] = {XpFormatArg(args)..., XpFormatArg()};
  return XfFormatMessageArgs(key, XfFormatArgs(packed, sizeof...(Args)));
}

template <typename... Args>
XpString XfGetErrorText(uint32_t code, const Args&... args) {
  const XpFormatArg packed[] = {XpFormatArg(args)..., XpFormatArg()};
  return XfGetErrorTextArgs(code, XfFormatArgs(packed, sizeof...(Args)));
}
