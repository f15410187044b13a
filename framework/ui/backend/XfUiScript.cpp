#include "framework/ui/backend/XfUiScript.h"

#include <cctype>
#include <charconv>
#include <optional>
#include <sstream>

#include "platform/fs/XpReadWholeFile.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/text/XpStringA.h"

namespace {

struct Token {
  std::string text;
  bool quoted = false;
};

int HexValue(char ch) {
  if (ch >= '0' && ch <= '9') {
    return ch - '0';
  }
  if (ch >= 'a' && ch <= 'f') {
    return ch - 'a' + 10;
  }
  if (ch >= 'A' && ch <= 'F') {
    return ch - 'A' + 10;
  }
  return -1;
}

// Reads the quoted text that starts at line[*pos] (the opening quote).
bool ReadQuoted(std::string_view line, size_t* pos, std::string* out, std::string* error) {
  ++*pos;
  while (*pos < line.size()) {
    const char ch = line[(*pos)++];
    if (ch == '"') {
      return true;
    }
    if (ch != '\\') {
      *out += ch;
      continue;
    }
    if (*pos >= line.size()) {
      break;
    }
    const char escape = line[(*pos)++];
    switch (escape) {
      case 'n':
        *out += '\n';
        break;
      case 'r':
        *out += '\r';
        break;
      case 't':
        *out += '\t';
        break;
      case '"':
      case '\\':
        *out += escape;
        break;
      case 'x': {
        const int high = *pos < line.size() ? HexValue(line[*pos]) : -1;
        const int low = *pos + 1 < line.size() ? HexValue(line[*pos + 1]) : -1;
        if (high < 0 || low < 0) {
          *error = "bad \\x escape";
          return false;
        }
        *out += static_cast<char>(high * 16 + low);
        *pos += 2;
        break;
      }
      default:
        *error = std::string("unknown escape \\") + escape;
        return false;
    }
  }
  *error = "unterminated text";
  return false;
}

// Splits a line into words and quoted texts; a '#' outside quotes ends it.
bool Tokenize(std::string_view line, std::vector<Token>* tokens, size_t* end, std::string* error) {
  size_t pos = 0;
  *end = line.size();
  while (pos < line.size()) {
    const char ch = line[pos];
    if (std::isspace(static_cast<unsigned char>(ch))) {
      ++pos;
      continue;
    }
    if (ch == '#') {
      *end = pos;
      return true;
    }
    Token token;
    if (ch == '"') {
      token.quoted = true;
      if (!ReadQuoted(line, &pos, &token.text, error)) {
        return false;
      }
    } else {
      while (pos < line.size() && !std::isspace(static_cast<unsigned char>(line[pos])) && line[pos] != '#') {
        token.text += line[pos++];
      }
    }
    tokens->push_back(std::move(token));
  }
  return true;
}

std::optional<int64_t> ParseNumber(const Token& token) {
  if (token.quoted || token.text.empty()) {
    return std::nullopt;
  }
  int64_t value = 0;
  const char* first = token.text.data();
  const char* last = first + token.text.size();
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last) {
    return std::nullopt;
  }
  return value;
}

int32_t AnswerFromToken(const Token& token) {
  if (std::optional<int64_t> number = ParseNumber(token)) {
    return *number >= 1 && *number <= 7 ? static_cast<int32_t>(*number) : 0;
  }
  static const std::pair<const char*, int32_t> kAnswers[] = {
      {"ok", 1}, {"cancel", 2}, {"abort", 3}, {"retry", 4}, {"ignore", 5}, {"yes", 6}, {"no", 7},
  };
  std::string lower;
  for (char ch : token.text) {
    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  for (const auto& [name, answer] : kAnswers) {
    if (lower == name) {
      return answer;
    }
  }
  return 0;
}

// Reads one step's tokens from the cursor.
class StepParser {
 public:
  StepParser(const std::vector<Token>& tokens, std::string* error) : tokens_(tokens), error_(error) {}

  bool Parse(XfUiStep* step);

 private:
  const Token* Next() { return pos_ < tokens_.size() ? &tokens_[pos_++] : nullptr; }
  const Token* Peek() const { return pos_ < tokens_.size() ? &tokens_[pos_] : nullptr; }
  bool PeekWord(const char* word) const {
    const Token* token = Peek();
    return token != nullptr && !token->quoted && token->text == word;
  }
  bool Fail(const std::string& message) {
    *error_ = message;
    return false;
  }
  bool ReadId(int32_t* id);
  bool ReadMatch(XfUiStep* step);
  bool ReadCondition(XfUiStep* step);
  bool ReadAction(XfUiStep* step);

  const std::vector<Token>& tokens_;
  std::string* error_;
  size_t pos_ = 0;
};

bool StepParser::ReadId(int32_t* id) {
  const Token* token = Next();
  std::optional<int64_t> number = token ? ParseNumber(*token) : std::nullopt;
  if (!number || *number < INT32_MIN || *number > INT32_MAX) {
    return Fail("a control id is missing");
  }
  *id = static_cast<int32_t>(*number);
  return true;
}

bool StepParser::ReadMatch(XfUiStep* step) {
  const Token* token = Next();
  if (token == nullptr) {
    return Fail("what to match is missing");
  }
  if (token->quoted) {
    step->matchText = XpString::FromUtf8(token->text);
    return true;
  }
  if (token->text == "*") {
    step->matchAny = true;
    return true;
  }
  std::optional<int64_t> number = ParseNumber(*token);
  if (step->kind != XfUiStepKind::kForm || !number) {
    return Fail("cannot match \"" + token->text + "\"");
  }
  step->dialogId = static_cast<int32_t>(*number);
  return true;
}

bool StepParser::ReadCondition(XfUiStep* step) {
  XfUiCondition& condition = step->condition;
  if (PeekWord("at")) {
    Next();
    const Token* token = Next();
    std::string text = token ? token->text : "";
    const bool percentAttached = !text.empty() && text.back() == '%';
    if (percentAttached) {
      text.pop_back();
    }
    std::optional<int64_t> number = ParseNumber(Token{text, false});
    if (!number || *number < 0 || *number > 100) {
      return Fail("\"at\" needs a percentage");
    }
    if (!percentAttached) {
      const Token* percent = Next();
      if (percent == nullptr || percent->text != "%") {
        return Fail("\"at N\" needs a \"%\"");
      }
    }
    condition.kind = XfUiConditionKind::kPercentAtLeast;
    condition.percent = static_cast<int32_t>(*number);
    return true;
  }
  if (!PeekWord("when")) {
    return true;
  }
  Next();
  if (!ReadId(&condition.id)) {
    return false;
  }
  const Token* op = Next();
  if (op == nullptr || op->quoted) {
    return Fail("\"when\" needs a test");
  }
  static const std::pair<const char*, XfUiConditionKind> kStates[] = {
      {"enabled", XfUiConditionKind::kEnabled},     {"disabled", XfUiConditionKind::kDisabled},
      {"checked", XfUiConditionKind::kChecked},     {"unchecked", XfUiConditionKind::kUnchecked},
      {"visible", XfUiConditionKind::kVisible},     {"hidden", XfUiConditionKind::kHidden},
  };
  for (const auto& [name, kind] : kStates) {
    if (op->text == name) {
      condition.kind = kind;
      return true;
    }
  }
  static const std::pair<const char*, XfUiConditionKind> kTexts[] = {
      {"==", XfUiConditionKind::kTextEquals},
      {"!=", XfUiConditionKind::kTextDiffers},
      {"contains", XfUiConditionKind::kTextContains},
  };
  for (const auto& [name, kind] : kTexts) {
    if (op->text == name) {
      const Token* value = Next();
      if (value == nullptr || !value->quoted) {
        return Fail("\"" + op->text + "\" needs a quoted text");
      }
      condition.kind = kind;
      condition.text = XpString::FromUtf8(value->text);
      return true;
    }
  }
  return Fail("unknown test \"" + op->text + "\"");
}

bool StepParser::ReadAction(XfUiStep* step) {
  const Token* word = Next();
  if (word == nullptr || word->quoted) {
    return Fail("an action is missing");
  }
  XfUiAction action;
  const std::string& name = word->text;
  if (name == "cancel") {
    action.kind = XfUiActionKind::kCancel;
  } else if (name == "press" && step->kind == XfUiStepKind::kBox) {
    const Token* answer = Next();
    action.id = answer ? AnswerFromToken(*answer) : 0;
    if (action.id == 0) {
      return Fail("\"press\" needs a button of the box");
    }
  } else if ((name == "press" || name == "click") && step->kind == XfUiStepKind::kForm) {
    action.kind = name == "press" ? XfUiActionKind::kPress : XfUiActionKind::kClick;
    if (!ReadId(&action.id)) {
      return false;
    }
  } else if (name == "check" && step->kind == XfUiStepKind::kForm) {
    action.kind = XfUiActionKind::kCheck;
    if (!ReadId(&action.id)) {
      return false;
    }
    const Token* state = Next();
    if (state == nullptr || (state->text != "on" && state->text != "off")) {
      return Fail("\"check\" needs on or off");
    }
    action.on = state->text == "on";
  } else if (name == "type" && step->kind == XfUiStepKind::kForm) {
    action.kind = XfUiActionKind::kType;
    if (!ReadId(&action.id)) {
      return false;
    }
    const Token* text = Next();
    if (text == nullptr || !text->quoted) {
      return Fail("\"type\" needs a quoted text");
    }
    action.text = XpString::FromUtf8(text->text);
  } else if (name == "pick" && step->kind == XfUiStepKind::kFolder) {
    action.kind = XfUiActionKind::kPick;
    const Token* path = Next();
    if (path == nullptr || !path->quoted) {
      return Fail("\"pick\" needs a quoted path");
    }
    action.text = XpString::FromUtf8(path->text);
  } else {
    return Fail("\"" + name + "\" is no action of a " + XfUiStepKindName(step->kind) + " step");
  }
  step->actions.push_back(std::move(action));
  return true;
}

bool StepParser::Parse(XfUiStep* step) {
  const Token* kind = Next();
  if (kind->text == "wait") {
    step->kind = XfUiStepKind::kWait;
    const Token* ms = Next();
    std::optional<int64_t> number = ms ? ParseNumber(*ms) : std::nullopt;
    if (!number || *number < 0) {
      return Fail("\"wait\" needs milliseconds");
    }
    step->waitMs = *number;
    return Peek() == nullptr || Fail("text after \"wait\"");
  }
  if (kind->text == "box") {
    step->kind = XfUiStepKind::kBox;
  } else if (kind->text == "form") {
    step->kind = XfUiStepKind::kForm;
  } else if (kind->text == "folder") {
    step->kind = XfUiStepKind::kFolder;
  } else {
    return Fail("unknown step \"" + kind->text + "\"");
  }
  if (!ReadMatch(step)) {
    return false;
  }
  if (step->kind == XfUiStepKind::kForm && !ReadCondition(step)) {
    return false;
  }
  while (Peek() != nullptr) {
    if (!ReadAction(step)) {
      return false;
    }
  }
  return !step->actions.empty() || Fail("the step has no action");
}

bool ParseOption(const std::vector<Token>& tokens, XfUiScript* script, std::string* error) {
  if (tokens.size() != 3) {
    *error = "\"option\" needs a name and a value";
    return false;
  }
  const std::string& name = tokens[1].text;
  const std::string& value = tokens[2].text;
  if (name == "clock" && (value == "virtual" || value == "real")) {
    script->realClock = value == "real";
    return true;
  }
  if (name == "timeout") {
    std::optional<int64_t> number = ParseNumber(tokens[2]);
    if (number && *number > 0) {
      script->timeoutMs = *number;
      return true;
    }
  }
  *error = "unknown option \"" + name + " " + value + "\"";
  return false;
}

std::string Trim(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) {
    ++first;
  }
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) {
    --last;
  }
  return std::string(text.substr(first, last - first));
}

}  // namespace

const char* XfUiStepKindName(XfUiStepKind kind) {
  switch (kind) {
    case XfUiStepKind::kBox:
      return "box";
    case XfUiStepKind::kForm:
      return "form";
    case XfUiStepKind::kFolder:
      return "folder";
    case XfUiStepKind::kWait:
      return "wait";
  }
  return "";
}

bool XfUiScript::Parse(std::string_view text, XfUiScript* script, std::string* error) {
  *script = XfUiScript();
  int32_t lineNumber = 0;
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    ++lineNumber;
    std::vector<Token> tokens;
    size_t end = 0;
    std::string message;
    bool ok = Tokenize(line, &tokens, &end, &message);
    if (ok && !tokens.empty()) {
      if (!tokens[0].quoted && tokens[0].text == "option") {
        ok = ParseOption(tokens, script, &message);
      } else {
        XfUiStep step;
        step.line = lineNumber;
        step.source = Trim(line.substr(0, end));
        ok = StepParser(tokens, &message).Parse(&step);
        if (ok) {
          script->steps.push_back(std::move(step));
        }
      }
    }
    if (!ok) {
      *error = "line " + std::to_string(lineNumber) + ": " + message;
      return false;
    }
  }
  return true;
}

bool XfUiScript::Load(const XpString& path, XfUiScript* script, std::string* error) {
  std::string content;
  if (XpReadWholeFile(path, &content) != kXpOk) {
    *error = "cannot read the script " + std::string(path.ToMultiByte().CStr()) + XpSysFailureSuffix();
    return false;
  }
  return Parse(content, script, error);
}
