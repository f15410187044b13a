#include "platform/xml/XpXmlNode.h"

#include <libxml/tree.h>

#include <string>

#include "platform/text/XpUtf.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

const char* AsChars(const xmlChar* text) { return reinterpret_cast<const char*>(text); }
const xmlChar* AsXmlChars(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The Char production of XML 1.0.
bool IsXmlChar(char32_t c) {
  if (c < 0x20) {
    return c == 0x09 || c == 0x0A || c == 0x0D;
  }
  return c <= 0xD7FF || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// text with every character that XML 1.0 cannot carry made U+FFFD.
std::u16string ToXmlChars(std::u16string_view text) {
  std::u16string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      result += unit;
      result += text[++i];
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit) || !IsXmlChar(unit)) {
      result += static_cast<char16_t>(kReplacement);
    } else {
      result += unit;
    }
  }
  return result;
}

XpString FromXml(const xmlChar* text) {
  return text == nullptr ? XpString() : XpStringA(AsChars(text)).ToWide();
}

bool IsBlank(xmlChar c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

XpXmlNodeType XpXmlNode::GetType() const {
  if (node_ == nullptr) {
    return XpXmlNodeType::kOther;
  }
  switch (node_->type) {
    case XML_ELEMENT_NODE:
      return XpXmlNodeType::kElement;
    case XML_ATTRIBUTE_NODE:
      return XpXmlNodeType::kAttribute;
    case XML_TEXT_NODE:
      return XpXmlNodeType::kText;
    case XML_CDATA_SECTION_NODE:
      return XpXmlNodeType::kCData;
    case XML_ENTITY_REF_NODE:
      return XpXmlNodeType::kEntityReference;
    case XML_ENTITY_NODE:
      return XpXmlNodeType::kEntity;
    case XML_PI_NODE:
      return XpXmlNodeType::kProcessingInstruction;
    case XML_COMMENT_NODE:
      return XpXmlNodeType::kComment;
    case XML_DOCUMENT_NODE:
      return XpXmlNodeType::kDocument;
    case XML_DOCUMENT_TYPE_NODE:
    case XML_DTD_NODE:
      return XpXmlNodeType::kDocumentType;
    case XML_DOCUMENT_FRAG_NODE:
      return XpXmlNodeType::kDocumentFragment;
    case XML_NOTATION_NODE:
      return XpXmlNodeType::kNotation;
    default:
      return XpXmlNodeType::kOther;
  }
}

std::string_view XpXmlNode::GetName() const {
  if (GetType() != XpXmlNodeType::kElement || node_->name == nullptr) {
    return {};
  }
  return AsChars(node_->name);
}

bool XpXmlNode::IsElement(std::string_view name) const {
  return GetType() == XpXmlNodeType::kElement && GetName() == name;
}

bool XpXmlNode::IsBlankText() const {
  if (GetType() != XpXmlNodeType::kText) {
    return false;
  }
  for (const xmlChar* at = node_->content; at != nullptr && *at != 0; ++at) {
    if (!IsBlank(*at)) {
      return false;
    }
  }
  return true;
}

XpString XpXmlNode::GetValue() const {
  switch (GetType()) {
    case XpXmlNodeType::kText:
    case XpXmlNodeType::kCData:
    case XpXmlNodeType::kComment:
    case XpXmlNodeType::kProcessingInstruction:
      return FromXml(node_->content);
    default:
      return XpString();
  }
}

XpString XpXmlNode::GetText() const {
  for (XpXmlNode child = GetFirstChild(); !child.IsNull(); child = child.GetNextSibling()) {
    if (child.GetType() == XpXmlNodeType::kText) {
      return child.GetValue();
    }
  }
  return XpString();
}

XpXmlNode XpXmlNode::GetFirstChild() const {
  // Attributes and entity declarations keep libxml2's own lists there.
  const XpXmlNodeType type = GetType();
  if (type != XpXmlNodeType::kElement && type != XpXmlNodeType::kDocument) {
    return XpXmlNode();
  }
  return XpXmlNode(node_->children);
}

XpXmlNode XpXmlNode::GetNextSibling() const {
  return node_ == nullptr ? XpXmlNode() : XpXmlNode(node_->next);
}

XpResult XpXmlNode::AppendElement(const char* name, XpXmlNode* out) {
  if (GetType() != XpXmlNodeType::kElement || name == nullptr) {
    return kXpErrBadArgument;
  }
  xmlNodePtr child = xmlNewDocNode(node_->doc, nullptr, AsXmlChars(name), nullptr);
  if (child == nullptr) {
    return kXpErrOutOfMemory;
  }
  if (xmlAddChild(node_, child) == nullptr) {
    xmlFreeNode(child);
    return kXpErrOutOfMemory;
  }
  if (out != nullptr) {
    *out = XpXmlNode(child);
  }
  return kXpOk;
}

XpResult XpXmlNode::AppendText(const XpString& text) {
  if (GetType() != XpXmlNodeType::kElement) {
    return kXpErrBadArgument;
  }
  const std::string utf8 = XpUtf16ToUtf8(ToXmlChars(text.View()));
  xmlNodePtr child = xmlNewDocText(node_->doc, AsXmlChars(utf8.c_str()));
  if (child == nullptr) {
    return kXpErrOutOfMemory;
  }
  // A text child may be merged into a text node that is last already, and
  // is then freed by libxml2.
  if (xmlAddChild(node_, child) == nullptr) {
    xmlFreeNode(child);
    return kXpErrOutOfMemory;
  }
  return kXpOk;
}
