#pragma once

#include <cstdint>
#include <string_view>

// A path of the value tree: components separated by '/'.
struct XpIniPathParts {
  // The first component.
  std::u16string_view head;
  // Everything after the first '/'; empty when there is none.
  std::u16string_view rest;
  // Whether the path has a '/'.
  bool nested = false;
};

XpIniPathParts XpIniSplitPath(std::u16string_view path);

// An array index in the manner of the C run-time's _wtoi: leading blanks, an
// optional sign, then decimal digits up to the first other character; 0
// without digits. Values beyond 32 bits saturate.
int32_t XpIniParseIndex(std::u16string_view text);
