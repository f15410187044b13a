#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/xml/XpXmlNode.h"

class XpDateTime;
class XpIniDict;
class XpIniElement;
class XpXmlDocument;

// Writes a dictionary of the value tree as an XML property list:
//
//   <plist version="1.0"><dict><key>Name</key><string>x</string>...</dict></plist>
//
// Entries follow in key order, an array's items in index order, and nothing
// stands between the elements. Each value type has its element: true,
// false, integer, real, string, data, date, array, dict. Numbers are written
// in the C locale whatever the thread's locale is. Text that XML cannot
// carry is written as U+FFFD (see XpXmlNode).
class XpPlistWriter {
 public:
  // Replaces what document holds by the property list of dict.
  // kXpErrOutOfMemory when a node could not be made: the document then
  // holds what was written until then. kXpErrValueNoRoot when the document
  // could not be started.
  [[nodiscard]] static XpResult Write(const XpIniDict& dict, XpXmlDocument* document);
  // Write, then the document's bytes (XpXmlDocument::Serialize): the
  // content of a property-list file, in UTF-8.
  [[nodiscard]] static XpResult WriteBytes(const XpIniDict& dict, XpStringA* out);

  // The texts of the value elements.
  // Decimal, with a '-' when negative.
  static XpString FormatInt(int64_t value);
  // Fixed notation with 15 decimals and '.' as the decimal mark, however
  // many digits the value needs; "nan", "inf" and "-inf" for the others.
  static XpString FormatReal(double value);
  // Two lower-case hexadecimal digits per byte, no separator.
  static XpString FormatData(const uint8_t* bytes, size_t count);
  // "YYYY:MM:DDThh:mm:ssZ" from the date's parts as they stand (no time-zone
  // conversion); "0000:00:00T00:00:00Z" for a date that is not valid.
  static XpString FormatDate(const XpDateTime& date);

 private:
  [[nodiscard]] static XpResult WriteDict(const XpIniDict& dict, XpXmlNode parent);
  [[nodiscard]] static XpResult WriteArray(const XpIniElement& array, XpXmlNode parent);
  [[nodiscard]] static XpResult WriteValue(const XpIniElement& element, XpXmlNode parent);
  [[nodiscard]] static XpResult WriteTextElement(XpXmlNode parent, const char* name,
                                                 const XpString& text);
};
