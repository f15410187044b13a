#pragma once

#include <cstdint>

#include "framework/strings/XfMessageFormatter.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/value/XpIniDict.h"

// One loaded strings file: a property list whose nested dictionaries hold
// the texts under '/'-separated keys ("Messages/Errors/DiskFull"). A
// dictionary answers as a text with its "Name" entry. A text may link to
// another: "::/Key" names a key of the same file, "::Item" an item of the
// key's parent dictionary; a look-up follows at most kMaxLinkHops links and
// answers empty past that.
//
// Filled once by Load, then only read, from any thread, without a lock. The
// format operations take their template from the global look-up
// (XfGetString), not only from this file. An empty answer means not found.
class XfStringsManager {
 public:
  static constexpr int kMaxLinkHops = 16;

  XfStringsManager();
  virtual ~XfStringsManager();
  XfStringsManager(const XfStringsManager&) = delete;
  XfStringsManager& operator=(const XfStringsManager&) = delete;

  // Replaces the content by the strings file at path; the value tree's
  // result. After a failure the content is whatever the load left.
  [[nodiscard]] XpResult Load(const XpString& path);

  // Whether any element, of any type, lies at key.
  bool HasString(const char16_t* key) const;
  XpString GetString(const char16_t* key) const;
  // Entry item of the dictionary at key, else its "Other" entry.
  XpString GetStringItem(const char16_t* key, const char16_t* item) const;

  // The text of key formatted printf-style; cut at kXfMaxFormattedLength
  // units. Empty when the key is not found or an argument does not match.
  XpString FormatString(const char16_t* key, XfFormatArgs args) const;
  // The text of key with its numbered inserts filled (XfFormatMessageTo);
  // the raw text when they cannot be filled.
  XpString FormatMessage(const char16_t* key, XfFormatArgs args) const;
  // The message of a result code, "Errors/<category>/<low six bits>", with
  // the category's "Other" as fallback, formatted with args.
  XpString GetErrorText(uint32_t code, XfFormatArgs args) const;

 private:
  XpString Resolve(const XpString& key, int hops) const;
  XpString ResolveItem(const XpString& key, const XpString& item, int hops) const;

  XpIniDict dict_;
};
