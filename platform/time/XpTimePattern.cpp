#include "platform/time/XpTimePattern.h"

#include <cstring>
#include <vector>

namespace {

constexpr std::string_view kDefaultAmPmFormat = "%I:%M:%S %p";
constexpr std::string_view kExpandedT = "%H:%M:%S";
constexpr std::string_view kExpandedR = "%H:%M";
constexpr std::string_view kHour24 = "%H";
constexpr const char* kConversionFlags = "_-0^#";
constexpr int32_t kStyleHourOnly = 0;
constexpr int32_t kStyleNoSeconds = 1;

// A run of literal text, or one conversion such as "%H" or "%-OI".
struct Token {
  bool conversion = false;
  char letter = 0;
  std::string text;
};

using Tokens = std::vector<Token>;

bool IsAsciiSpace(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

bool IsAsciiPunctuation(char ch) {
  return (ch >= '!' && ch <= '/') || (ch >= ':' && ch <= '@') || (ch >= '[' && ch <= '`') ||
         (ch >= '{' && ch <= '~');
}

// Text between two fields that only separates them (":" or " "), as
// opposed to a unit that belongs to a field ("h", or a non-ASCII word).
bool IsSeparator(const std::string& text) {
  if (text.empty()) {
    return false;
  }
  for (char ch : text) {
    if (!IsAsciiSpace(ch) && !IsAsciiPunctuation(ch)) {
      return false;
    }
  }
  return true;
}

bool IsWhitespace(const std::string& text) {
  if (text.empty()) {
    return false;
  }
  for (char ch : text) {
    if (!IsAsciiSpace(ch)) {
      return false;
    }
  }
  return true;
}

void AppendLiteral(Tokens& tokens, std::string_view text) {
  if (text.empty()) {
    return;
  }
  if (tokens.empty() || tokens.back().conversion) {
    tokens.push_back(Token{});
  }
  tokens.back().text.append(text);
}

// Length of the conversion that starts with '%' at text[0], or 0 when the
// text ends before its conversion character.
size_t ConversionLength(std::string_view text) {
  size_t pos = 1;
  while (pos < text.size() && std::strchr(kConversionFlags, text[pos]) != nullptr) {
    ++pos;
  }
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    ++pos;
  }
  if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'O')) {
    ++pos;
  }
  return pos < text.size() ? pos + 1 : 0;
}

Tokens Tokenize(std::string_view format) {
  Tokens tokens;
  size_t pos = 0;
  while (pos < format.size()) {
    if (format[pos] != '%') {
      const size_t next = format.find('%', pos);
      const size_t end = next == std::string_view::npos ? format.size() : next;
      AppendLiteral(tokens, format.substr(pos, end - pos));
      pos = end;
      continue;
    }
    const size_t length = ConversionLength(format.substr(pos));
    if (length == 0) {
      AppendLiteral(tokens, format.substr(pos));
      break;
    }
    const std::string_view conversion = format.substr(pos, length);
    if (conversion.back() == '%') {
      // "%%" prints a percent sign: literal text.
      AppendLiteral(tokens, conversion);
    } else {
      tokens.push_back(Token{true, conversion.back(), std::string(conversion)});
    }
    pos += length;
  }
  return tokens;
}

void AppendTokens(Tokens& target, const Tokens& source) {
  for (const Token& token : source) {
    if (token.conversion) {
      target.push_back(token);
    } else {
      AppendLiteral(target, token.text);
    }
  }
}

// Replaces %T and %R, and %r when amPm is given, by their fields.
Tokens Expand(std::string_view format, std::string_view amPm) {
  Tokens result;
  for (const Token& token : Tokenize(format)) {
    if (token.conversion && token.letter == 'T') {
      AppendTokens(result, Tokenize(kExpandedT));
    } else if (token.conversion && token.letter == 'R') {
      AppendTokens(result, Tokenize(kExpandedR));
    } else if (token.conversion && token.letter == 'r' && !amPm.empty()) {
      AppendTokens(result, Expand(amPm, {}));
    } else if (token.conversion) {
      result.push_back(token);
    } else {
      AppendLiteral(result, token.text);
    }
  }
  return result;
}

bool IsConversion(const Tokens& tokens, size_t index) {
  return index < tokens.size() && tokens[index].conversion;
}

bool IsLiteral(const Tokens& tokens, size_t index) {
  return index < tokens.size() && !tokens[index].conversion;
}

// Removes the field at index with the separator before it ("%H:%M" loses
// ":%M"), or, for a leading field or a field with units, what belongs to
// it after it ("%S:" or the "s" of "%Ss").
void RemoveFieldAt(Tokens& tokens, size_t index) {
  if (index >= 2 && IsLiteral(tokens, index - 1) && IsConversion(tokens, index - 2) &&
      IsSeparator(tokens[index - 1].text)) {
    tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(index - 1),
                 tokens.begin() + static_cast<std::ptrdiff_t>(index + 1));
    return;
  }
  if (IsLiteral(tokens, index + 1)) {
    std::string& after = tokens[index + 1].text;
    if (IsSeparator(after) && IsConversion(tokens, index + 2)) {
      after.clear();
    } else {
      size_t unitEnd = 0;
      while (unitEnd < after.size() && !IsAsciiSpace(after[unitEnd])) {
        ++unitEnd;
      }
      after.erase(0, unitEnd);
    }
    if (after.empty()) {
      tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(index + 1));
    }
  }
  tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(index));
}

// Removes an AM/PM marker with the white space that set it apart.
void RemoveMarkerAt(Tokens& tokens, size_t index) {
  if (IsLiteral(tokens, index + 1) && IsWhitespace(tokens[index + 1].text)) {
    tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(index + 1));
  } else if (index >= 1 && IsLiteral(tokens, index - 1) && IsWhitespace(tokens[index - 1].text)) {
    tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(index - 1));
    --index;
  }
  tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(index));
}

// Joins literal runs that a removal left side by side.
void MergeLiterals(Tokens& tokens) {
  Tokens merged;
  AppendTokens(merged, tokens);
  tokens.swap(merged);
}

template <typename Predicate>
size_t FindConversion(const Tokens& tokens, Predicate matches) {
  for (size_t index = 0; index < tokens.size(); ++index) {
    if (tokens[index].conversion && matches(tokens[index].letter)) {
      return index;
    }
  }
  return tokens.size();
}

void RemoveFields(Tokens& tokens, char letter) {
  const auto matches = [letter](char candidate) { return candidate == letter; };
  for (size_t index = FindConversion(tokens, matches); index < tokens.size();
       index = FindConversion(tokens, matches)) {
    RemoveFieldAt(tokens, index);
    MergeLiterals(tokens);
  }
}

void ForceTwentyFourHours(Tokens& tokens) {
  for (Token& token : tokens) {
    if (token.conversion && (token.letter == 'I' || token.letter == 'l')) {
      token.letter = 'H';
      token.text = kHour24;
    }
  }
  const auto isMarker = [](char letter) { return letter == 'p' || letter == 'P'; };
  for (size_t index = FindConversion(tokens, isMarker); index < tokens.size();
       index = FindConversion(tokens, isMarker)) {
    RemoveMarkerAt(tokens, index);
    MergeLiterals(tokens);
  }
}

std::string Render(const Tokens& tokens) {
  std::string text;
  for (const Token& token : tokens) {
    text += token.text;
  }
  size_t begin = 0;
  while (begin < text.size() && IsAsciiSpace(text[begin])) {
    ++begin;
  }
  size_t end = text.size();
  while (end > begin && IsAsciiSpace(text[end - 1])) {
    --end;
  }
  return text.substr(begin, end - begin);
}

}  // namespace

std::string XpTimePattern(std::string_view timeFormat, std::string_view amPmFormat,
                          int32_t style, bool force24h) {
  std::string_view amPm = amPmFormat;
  if (amPm.empty() || amPm.find("%r") != std::string_view::npos) {
    amPm = kDefaultAmPmFormat;
  }
  const std::string_view base = timeFormat.empty() ? amPm : timeFormat;
  Tokens tokens = Expand(base, amPm);
  if (style == kStyleHourOnly || style == kStyleNoSeconds) {
    RemoveFields(tokens, 'S');
  }
  if (style == kStyleHourOnly) {
    RemoveFields(tokens, 'M');
  }
  if (force24h) {
    ForceTwentyFourHours(tokens);
  }
  return Render(tokens);
}
