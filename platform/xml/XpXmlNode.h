#pragma once

#include <cstdint>
#include <string_view>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

struct _xmlNode;

// Node kinds, numbered as the DOM numbers them.
enum class XpXmlNodeType : int32_t {
  kOther = 0,
  kElement = 1,
  kAttribute = 2,
  kText = 3,
  kCData = 4,
  kEntityReference = 5,
  kEntity = 6,
  kProcessingInstruction = 7,
  kComment = 8,
  kDocument = 9,
  kDocumentType = 10,
  kDocumentFragment = 11,
  kNotation = 12,
};

// A node of an XpXmlDocument: a handle that the document owns and that
// lives as long as the document does. A null handle answers every question
// with "nothing" and refuses every change.
//
// Text crosses as XpString. XML 1.0 cannot carry every UTF-16 string: a
// lone surrogate (an undecodable file-name byte), U+0000, U+FFFE, U+FFFF and
// the control characters other than tab, LF and CR are written as U+FFFD,
// so that a written document always parses again. CR is written as a
// character reference and so survives a round trip.
class XpXmlNode {
 public:
  XpXmlNode() = default;

  bool IsNull() const { return node_ == nullptr; }
  XpXmlNodeType GetType() const;
  // The tag name of an element, UTF-8; "" for every other kind of node.
  std::string_view GetName() const;
  // Whether this is an element named exactly name.
  bool IsElement(std::string_view name) const;
  // Whether this is a text node made only of blanks (space, tab, CR, LF).
  bool IsBlankText() const;
  // The content of a text, CDATA, comment or processing-instruction node;
  // "" for other nodes.
  XpString GetValue() const;
  // The value of the first child that is a text node (CDATA sections,
  // comments and elements before it are passed over); "" when there is none.
  XpString GetText() const;

  XpXmlNode GetFirstChild() const;
  XpXmlNode GetNextSibling() const;

  // Appends a new element named name (ASCII) as the last child of this
  // element. kXpErrBadArgument on a node that is not an element,
  // kXpErrOutOfMemory when the node cannot be made.
  [[nodiscard]] XpResult AppendElement(const char* name, XpXmlNode* out = nullptr);
  // Appends text as the last child of this element (joined to a text node
  // that is last already).
  [[nodiscard]] XpResult AppendText(const XpString& text);

 private:
  friend class XpXmlDocument;
  explicit XpXmlNode(_xmlNode* node) : node_(node) {}

  _xmlNode* node_ = nullptr;
};
