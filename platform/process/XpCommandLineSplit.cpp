#include "platform/process/XpCommandLineSplit.h"

#include <string>
#include <string_view>

namespace {

bool IsBlank(char16_t ch) { return ch == u' ' || ch == u'\t'; }

size_t CountBackslashes(std::u16string_view text, size_t start) {
  size_t end = start;
  while (end < text.size() && text[end] == u'\\') ++end;
  return end - start;
}

}  // namespace

XpStringVector XpCommandLineSplit(const XpString& commandLine) {
  const std::u16string_view text = commandLine.View();
  XpStringVector arguments;
  std::u16string current;
  bool inArgument = false;
  bool quoted = false;
  size_t i = 0;
  while (i < text.size()) {
    const char16_t ch = text[i];
    if (!quoted && IsBlank(ch)) {
      if (inArgument) {
        arguments.emplace_back(std::u16string_view(current));
        current.clear();
        inArgument = false;
      }
      ++i;
      continue;
    }
    inArgument = true;
    if (ch == u'\\') {
      const size_t count = CountBackslashes(text, i);
      i += count;
      const bool beforeQuote = i < text.size() && text[i] == u'"';
      if (!beforeQuote) {
        current.append(count, u'\\');
        continue;
      }
      current.append(count / 2, u'\\');
      if (count % 2 == 1) {
        current += u'"';
        ++i;
      }
      // After an even run the quote is read as a quote on the next turn.
      continue;
    }
    if (ch == u'"') {
      const bool doubled = quoted && i + 1 < text.size() && text[i + 1] == u'"';
      if (doubled) {
        current += u'"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    current += ch;
    ++i;
  }
  if (inArgument) arguments.emplace_back(std::u16string_view(current));
  return arguments;
}
