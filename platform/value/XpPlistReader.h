#pragma once

#include <cstdint>
#include <string_view>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/value/XpIniElement.h"
#include "platform/xml/XpXmlNode.h"

class XpAbstractFile;
class XpDateTime;
class XpIniDict;
class XpXmlDocument;

// Reads an XML property list (see XpPlistWriter) into a dictionary of the
// value tree.
//
// The document element must be "plist"; its first "dict" child is read.
// Element names are compared exactly. Comments, and text that is only white
// space, are passed over wherever the reader walks the children of "plist",
// "dict" and "array"; the text of a value element is taken as it stands:
// the first text child (CDATA sections, comments and elements before it
// are passed over), "" without one.
//
// In a dictionary each "key" is followed by its value. Values are created
// with Add, key as path: a key with '/' lands in a nested container or is
// dropped, and of a key that occurs twice the first value wins. A value
// that cannot be read is dropped, and a nested container that stops keeps
// what it read; only the top-level dictionary reports its structure.
class XpPlistReader {
 public:
  // Reads the property list of document into dict, adding to what dict
  // holds. kXpErrValueNoRoot without a document element.
  // kXpErrValueStructure when the root is not "plist", has no "dict" child,
  // or that dictionary holds an empty key or a child that is neither a key
  // nor its value: reading stops there, and what was read stays in dict.
  [[nodiscard]] static XpResult Read(const XpXmlDocument& document, XpIniDict* dict);

  // The value rules, in the manner of the C run-time's _wtoi64 and _wtof.
  // Leading blanks, a sign, decimal digits up to the first other character;
  // 0 without digits; saturates beyond 64 bits.
  static int64_t ParseInt(std::u16string_view text);
  // Leading blanks, a sign, digits with one decimal mark ('.' or ',') and
  // an exponent, up to the first character that does not fit; also "nan",
  // "inf" and "infinity". 0.0 when the text is not a number; too large
  // gives an infinity, too small 0.0.
  static double ParseReal(std::u16string_view text);
  // Appends the bytes of hexadecimal text to out: characters in pairs from
  // the start, an odd last one ignored; any character that is not a hex
  // digit counts as its low bits. The result is that of the first write
  // that fails.
  [[nodiscard]] static XpResult ParseData(std::u16string_view text, XpAbstractFile* out);
  // Six decimal fields (year, month, day, hour, minute, second), each a run
  // of digits followed by one separator of any kind; fields past the end of
  // the text are 0. *out is the date of the fields, not valid when they are
  // out of range. kXpErrValueNoRoot, *out untouched, for empty text.
  [[nodiscard]] static XpResult ParseDate(std::u16string_view text, XpDateTime* out);

 private:
  // Where a value goes: under a key of a dictionary, or appended to an
  // array when key is null.
  struct Slot {
    XpIniElement* container;
    const XpString* key;
  };

  [[nodiscard]] static XpResult ReadDict(XpXmlNode node, XpIniElement* dict);
  static void ReadArray(XpXmlNode node, XpIniElement* array);
  [[nodiscard]] static XpResult ReadValue(XpXmlNode node, const Slot& slot);
  // Creates an element of type with value in slot; *out is the element.
  [[nodiscard]] static XpResult Create(const Slot& slot, XpIniType type, const XpIniValue& value,
                                       XpIniElement** out);
};
