#pragma once

#include <string_view>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/xml/XpXmlNode.h"

struct _xmlDoc;

// An XML document in memory, parsed from bytes or built node by node, and
// written out again.
//
// Parsing is safe for documents from other programs: nothing is fetched
// from the network, no external DTD or entity is loaded, entities are never
// substituted (a reference stays an entity-reference node, so an external
// entity loads without its content) and libxml2's limits on entity
// amplification and nesting depth hold, so a nested-entity bomb fails to
// parse. CDATA sections stay CDATA nodes, comments stay comment nodes, and
// text that is only white space stays in the tree.
class XpXmlDocument {
 public:
  XpXmlDocument();
  ~XpXmlDocument();
  XpXmlDocument(const XpXmlDocument&) = delete;
  XpXmlDocument& operator=(const XpXmlDocument&) = delete;

  // Sets up libxml2 once per process; every parse calls it. It also makes
  // libxml2 refuse every external resource for the whole process.
  static void Initialize();

  // Replaces the document by the parse of bytes, whose encoding comes from
  // a byte-order mark or the declaration (UTF-8 without either).
  // kXpErrValueParse when they are not a well-formed document (the document
  // is then empty), kXpErrValueXmlDocument when no parser could be made.
  [[nodiscard]] XpResult Parse(std::string_view bytes);
  // As Parse, but the bytes are UTF-8 whatever the declaration says.
  [[nodiscard]] XpResult ParseUtf8(std::string_view text);

  bool IsEmpty() const { return doc_ == nullptr; }
  // The document element; null when there is none.
  XpXmlNode GetRoot() const;

  // The declaration <?xml version="1.0" encoding="utf-8"?>, LF, the
  // document element without any indentation, LF; UTF-8. Empty elements
  // close themselves ("<dict/>"); '<', '&', '>' and CR in text are escaped.
  // kXpErrValueNoRoot without a document element, kXpErrBadArgument for a
  // null out, kXpErrOutOfMemory.
  [[nodiscard]] XpResult Serialize(XpStringA* out) const;

 private:
  [[nodiscard]] XpResult ParseWith(std::string_view bytes, const char* encoding, int options);
  void Reset();

  _xmlDoc* doc_ = nullptr;
};
