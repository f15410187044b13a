#pragma once

#include <string>
#include <string_view>

#include "platform/registry/XpRegistryTree.h"
#include "platform/result/XpResult.h"

// The text form of one registry root, as a registry export writes it:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\A]
//   "Name"="text"
//   @=dword:0000000a
//   "Data"=hex:01,02
//   "List"=hex(7):61,00,00,00,00,00
//
// A grant of a key (XpRegGrant) is a comment line directly under its
// section, which other readers skip:
//
//   ;grant "EVERYONE" 001f01ff 3
//
// with the trustee quoted as a value name is, the access mask in eight hex
// digits and the inheritance flags in decimal. A comment line that does not
// have this form exactly is an ordinary comment.
//
// UTF-8 with LF line ends; CR LF, a UTF-8 or UTF-16LE byte-order mark and
// lines continued with a trailing '\' are accepted on reading.
class XpRegistryText {
 public:
  static constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

  // Reads text into root (an empty key). Every section must belong to
  // rootName ("HKEY_CURRENT_USER"). kXpErrInvalidFile on anything that is
  // not understood, so a file is never half read: a key or value name
  // holding NUL, or a key nested deeper than kXpRegMaxKeyDepth, too.
  [[nodiscard]] static XpResult Parse(std::string_view text, const XpString& rootName,
                                      XpRegKey& root);

  // The text of the tree below root: parents before children, every key
  // written, even an empty one.
  static std::string Write(const XpRegKey& root, const XpString& rootName);

  // False for a key or value name that the text form cannot hold.
  static bool IsWritableName(const XpString& name);
};
