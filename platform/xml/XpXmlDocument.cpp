#include "platform/xml/XpXmlDocument.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

#include <climits>
#include <mutex>

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
constexpr std::string_view kLineEnd = "\n";

// No network, no error output. Entity substitution (XML_PARSE_NOENT), DTD
// loading and default attributes (XML_PARSE_DTDLOAD, XML_PARSE_DTDATTR) and
// the lifted limits of XML_PARSE_HUGE stay off; XML_PARSE_NOCDATA stays off
// so that CDATA sections keep their own node kind.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// Second guard behind the options: no external resource is ever read.
xmlParserInputPtr RefuseExternalEntity(const char* /*url*/, const char* /*id*/,
                                       xmlParserCtxtPtr /*context*/) {
  return nullptr;
}

std::once_flag initializeOnce;

}  // namespace

XpXmlDocument::XpXmlDocument() = default;

XpXmlDocument::~XpXmlDocument() { Reset(); }

void XpXmlDocument::Initialize() {
  std::call_once(initializeOnce, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(RefuseExternalEntity);
  });
}

void XpXmlDocument::Reset() {
  if (doc_ != nullptr) {
    xmlFreeDoc(doc_);
    doc_ = nullptr;
  }
}

XpResult XpXmlDocument::Parse(std::string_view bytes) {
  return ParseWith(bytes, nullptr, kParseOptions);
}

XpResult XpXmlDocument::ParseUtf8(std::string_view text) {
  return ParseWith(text, "UTF-8", kParseOptions | XML_PARSE_IGNORE_ENC);
}

XpResult XpXmlDocument::ParseWith(std::string_view bytes, const char* encoding, int options) {
  Initialize();
  Reset();
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    return kXpErrValueParse;
  }
  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (context == nullptr) {
    return kXpErrValueXmlDocument;
  }
  doc_ = xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()), nullptr, encoding,
                           options);
  xmlFreeParserCtxt(context);
  return doc_ != nullptr ? kXpOk : kXpErrValueParse;
}

XpXmlNode XpXmlDocument::GetRoot() const {
  return doc_ == nullptr ? XpXmlNode() : XpXmlNode(xmlDocGetRootElement(doc_));
}

XpResult XpXmlDocument::Serialize(XpStringA* out) const {
  if (out == nullptr) {
    return kXpErrBadArgument;
  }
  XpXmlNode root = GetRoot();
  if (root.IsNull()) {
    return kXpErrValueNoRoot;
  }
  xmlBufferPtr buffer = xmlBufferCreate();
  if (buffer == nullptr) {
    return kXpErrOutOfMemory;
  }
  XpResult result = kXpErrOutOfMemory;
  // UTF-8 output: text is escaped for '<', '&', '>' and CR only, and other
  // characters are written as they are.
  xmlSaveCtxtPtr saver = xmlSaveToBuffer(buffer, "UTF-8", XML_SAVE_NO_DECL);
  if (saver != nullptr) {
    const long written = xmlSaveTree(saver, root.node_);
    const int closed = xmlSaveClose(saver);
    if (written >= 0 && closed >= 0) {
      const std::string_view body(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                                  static_cast<size_t>(xmlBufferLength(buffer)));
      XpStringA text(kDeclaration);
      text += XpStringA(body);
      text += XpStringA(kLineEnd);
      *out = text;
      result = kXpOk;
    }
  }
  xmlBufferFree(buffer);
  return result;
}
