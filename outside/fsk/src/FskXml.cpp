#include "fsk/FskXml.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "FskMachineImpl.h"
#include "FskNumberText.h"
#include "FskStackGuard.h"
#include "FskValues.h"
#include "platform/text/XpStringA.h"
#include "platform/xml/XpXmlDocument.h"

namespace {

using fskimpl::ObjectOf;

constexpr int64_t kIndexLimit = 2147483647;

// Writes script values into elements.
class XmlWriter {
 public:
  explicit XmlWriter(FskMachine* the) : the_(the) {}

  void WriteObject(XpXmlNode element, FskObject* object, int depth) {
    if (depth > kFskXmlDepthLimit) {
      fxThrowError(the_, kFskRangeError, "objects nest deeper than 64");
    }
    for (const auto& [index, property] : object->indexed) {
      XpXmlNode item = Append(element, "property");
      Text(Append(item, "index"), std::to_string(index));
      WriteValue(item, property.value, depth);
    }
    for (const FskProperty& property : object->named) {
      if (object->kind == FskObjectKind::kArray && property.id == the_->ids.length) {
        continue;
      }
      XpXmlNode item = Append(element, "property");
      const char* name = fxName(the_, property.id);
      Text(Append(item, "name"), name != nullptr ? name : "");
      WriteValue(item, property.value, depth);
    }
  }

 private:
  void WriteValue(XpXmlNode parent, const FskSlot& value, int depth) {
    switch (value.Type()) {
      case kFskUndefinedType:
        Append(parent, "undefined");
        return;
      case kFskNullType:
        Append(parent, "null");
        return;
      case kFskBooleanType:
        Text(Append(parent, "boolean"), FskSlotAccess::Boolean(value) ? "true" : "false");
        return;
      case kFskIntegerType:
        Text(Append(parent, "integer"), std::to_string(FskSlotAccess::Integer(value)));
        return;
      case kFskNumberType:
        Text(Append(parent, "number"), fsknumber::ToText(FskSlotAccess::Number(value)));
        return;
      case kFskStringType:
        Text(Append(parent, "string"), FskSlotAccess::String(value)->View());
        return;
      default:
        WriteNested(parent, FskSlotAccess::Object(value), depth);
        return;
    }
  }

  void WriteNested(XpXmlNode parent, FskObject* object, int depth) {
    if (object->callable != FskCallableKind::kNone || object->isHost) {
      fxThrowError(the_, kFskTypeError, "functions and host objects cannot be written as XML");
    }
    if (object->kind == FskObjectKind::kDate) {
      Text(Append(parent, "date"), fsknumber::ToText(object->time));
      return;
    }
    XpXmlNode element = Append(parent, object->kind == FskObjectKind::kArray ? "array" : "object");
    WriteObject(element, object, depth + 1);
  }

  XpXmlNode Append(XpXmlNode parent, const char* name) {
    XpXmlNode child;
    if (XpFailed(parent.AppendElement(name, &child))) {
      fxThrowError(the_, kFskError, "cannot build the XML document");
    }
    return child;
  }

  void Text(XpXmlNode element, std::string_view text) {
    if (!text.empty() && XpFailed(element.AppendText(XpString::FromUtf8(text)))) {
      fxThrowError(the_, kFskError, "cannot build the XML document");
    }
  }

  FskMachine* the_;
};

// Reads script values from elements.
class XmlReader {
 public:
  XmlReader(FskMachine* the, std::string where) : the_(the), where_(std::move(where)) {}

  FskSlot ReadRoot(XpXmlNode root) {
    if (!root.IsElement("object") && !root.IsElement("array")) {
      Refuse("the document element must be <object> or <array>");
    }
    return ReadValue(root, 1);
  }

 private:
  FskSlot ReadValue(XpXmlNode element, int depth) {
    std::string_view name = element.GetName();
    FskSlot value;
    if (name == "undefined") {
      RequireEmpty(element);
    } else if (name == "null") {
      RequireEmpty(element);
      FskSlotAccess::SetNull(value);
    } else if (name == "boolean") {
      std::string text = TextOf(element);
      if (text != "true" && text != "false") {
        Refuse("a boolean must be true or false");
      }
      FskSlotAccess::SetBoolean(value, text == "true");
    } else if (name == "integer") {
      FskSlotAccess::SetInteger(value, ParseInteger(TextOf(element), INT64_MIN, INT64_MAX));
    } else if (name == "number") {
      FskSlotAccess::SetNumber(value, ParseNumber(TextOf(element)));
    } else if (name == "string") {
      FskSlotAccess::SetString(value, TextOf(element));
    } else if (name == "date") {
      FskObject* date = fskimpl::NewObject(the_, ObjectOf(the_->prototypes.date));
      FskSlotAccess::SetObject(value, date);
      date->time = ParseNumber(TextOf(element));
    } else if (name == "object" || name == "array") {
      value = ReadObject(element, name == "array", depth);
    } else {
      Refuse("unknown element <" + std::string(name) + ">");
    }
    return value;
  }

  FskSlot ReadObject(XpXmlNode element, bool array, int depth) {
    if (depth > kFskXmlDepthLimit) {
      Refuse("objects nest deeper than 64");
    }
    const FskSlot& prototype = array ? the_->prototypes.array : the_->prototypes.object;
    FskObject* object = fskimpl::NewObject(the_, ObjectOf(prototype));
    FskSlot result;
    FskSlotAccess::SetObject(result, object);
    for (XpXmlNode child = element.GetFirstChild(); !child.IsNull(); child = child.GetNextSibling()) {
      if (!IsElementChild(child)) {
        continue;
      }
      if (!child.IsElement("property")) {
        Refuse("an object holds only <property> elements");
      }
      ReadProperty(child, object, depth);
    }
    return result;
  }

  void ReadProperty(XpXmlNode property, FskObject* object, int depth) {
    XpXmlNode key;
    XpXmlNode value;
    int count = 0;
    for (XpXmlNode child = property.GetFirstChild(); !child.IsNull(); child = child.GetNextSibling()) {
      if (!IsElementChild(child)) {
        continue;
      }
      (count == 0 ? key : value) = child;
      ++count;
    }
    if (count != 2) {
      Refuse("a property holds a key and a value");
    }
    FskID id = 0;
    if (key.IsElement("name")) {
      id = fxID(the_, TextOf(key).c_str());
    } else if (key.IsElement("index")) {
      id = static_cast<FskID>(ParseInteger(TextOf(key), 0, kIndexLimit));
    } else {
      Refuse("a property's key is <name> or <index>");
    }
    fskimpl::SetOwn(the_, object, id, ReadValue(value, depth + 1));
  }

  // Whether child is an element; blank text, comments and processing
  // instructions are passed over, anything else is refused.
  bool IsElementChild(XpXmlNode child) {
    switch (child.GetType()) {
      case XpXmlNodeType::kElement:
        return true;
      case XpXmlNodeType::kText:
        if (!child.IsBlankText()) {
          Refuse("text outside a value");
        }
        return false;
      case XpXmlNodeType::kComment:
      case XpXmlNodeType::kProcessingInstruction:
        return false;
      case XpXmlNodeType::kEntityReference:
        Refuse("entity references are refused");
      default:
        Refuse("unexpected XML content");
    }
  }

  void RequireEmpty(XpXmlNode element) {
    for (XpXmlNode child = element.GetFirstChild(); !child.IsNull(); child = child.GetNextSibling()) {
      if (IsElementChild(child)) {
        Refuse("<" + std::string(element.GetName()) + "> holds nothing");
      }
    }
  }

  // The text of a leaf element: its text and CDATA joined.
  std::string TextOf(XpXmlNode element) {
    std::string text;
    for (XpXmlNode child = element.GetFirstChild(); !child.IsNull(); child = child.GetNextSibling()) {
      switch (child.GetType()) {
        case XpXmlNodeType::kText:
        case XpXmlNodeType::kCData:
          text += child.GetValue().ToMultiByte().ToStdString();
          break;
        case XpXmlNodeType::kComment:
        case XpXmlNodeType::kProcessingInstruction:
          break;
        case XpXmlNodeType::kEntityReference:
          Refuse("entity references are refused");
        default:
          Refuse("<" + std::string(element.GetName()) + "> holds only text");
      }
    }
    return text;
  }

  int64_t ParseInteger(const std::string& text, int64_t low, int64_t high) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
      Refuse("bad integer \"" + text + "\"");
    }
    return value;
  }

  double ParseNumber(const std::string& text) {
    if (text == "NaN") {
      return std::numeric_limits<double>::quiet_NaN();
    }
    double value = fsknumber::FromText(text);
    if (std::isnan(value) || text.empty()) {
      Refuse("bad number \"" + text + "\"");
    }
    return value;
  }

  [[noreturn]] void Refuse(const std::string& why) {
    fxThrowError(the_, kFskSyntaxError, (where_ + ": " + why).c_str());
  }

  FskMachine* the_;
  std::string where_;
};

std::string Where(const char* path, int32_t line) {
  std::string where = path != nullptr && path[0] != '\0' ? path : "(buffer)";
  return where + ":" + std::to_string(line);
}

}  // namespace

void fxParseBuffer(FskMachine* the, const void* buffer, size_t size, const char* path, int32_t line,
                   int32_t flag) {
  (void)flag;
  FskSlot countSlot = fskimpl::PopSlot(the);
  int64_t count = fxToInteger(the, &countSlot);
  if (count < 0 || static_cast<uint64_t>(count) > the->stack.size()) {
    fxThrowError(the, kFskRangeError, "bad grammar count");
  }
  size_t start = the->stack.size() - static_cast<size_t>(count);
  fskimpl::Truncate(the, start);
  FskStackGuard guard(the, start);

  XpXmlDocument document;
  std::string_view bytes(static_cast<const char*>(buffer), buffer != nullptr ? size : 0);
  std::string where = Where(path, line);
  if (XpFailed(document.Parse(bytes))) {
    fxThrowError(the, kFskSyntaxError, (where + ": not well-formed XML").c_str());
  }
  XmlReader reader(the, where);
  FskSlot object = reader.ReadRoot(document.GetRoot());
  fskimpl::PushSlot(the) = std::move(object);
}

size_t fxSerializeBuffer(FskMachine* the, void* buffer, size_t size, int32_t flag) {
  (void)flag;
  FskSlot value = fskimpl::PopSlot(the);
  FskObject* object = ObjectOf(value);
  if (object == nullptr || object->callable != FskCallableKind::kNone || object->isHost ||
      object->kind == FskObjectKind::kDate) {
    fxThrowError(the, kFskTypeError, "only objects and arrays are written as XML");
  }
  XpXmlDocument document;
  const char* root = object->kind == FskObjectKind::kArray ? "<array/>" : "<object/>";
  if (XpFailed(document.ParseUtf8(root))) {
    fxThrowError(the, kFskError, "cannot build the XML document");
  }
  XmlWriter(the).WriteObject(document.GetRoot(), object, 1);
  XpStringA text;
  if (XpFailed(document.Serialize(&text))) {
    fxThrowError(the, kFskError, "cannot write the XML document");
  }
  auto length = static_cast<size_t>(text.GetLength());
  if (buffer == nullptr) {
    return length;
  }
  if (size < length) {
    fxThrowError(the, kFskRangeError, "the buffer is too small for the XML text");
  }
  std::memcpy(buffer, text.CStr(), length);
  return length;
}
