#include "platform/process/XpCommandLineQuote.h"

#include <string>
#include <string_view>

namespace {

bool NeedsQuotes(std::u16string_view text) {
  if (text.empty()) return true;
  return text.find_first_of(u" \t\"") != std::u16string_view::npos;
}

}  // namespace

XpString XpCommandLineQuote(const XpString& text, bool always) {
  const std::u16string_view view = text.View();
  if (!always && !NeedsQuotes(view)) return text;
  std::u16string quoted = u"\"";
  size_t backslashes = 0;
  for (const char16_t ch : view) {
    if (ch == u'\\') {
      ++backslashes;
      continue;
    }
    if (ch == u'"') {
      // Each backslash before a quote doubles, and the quote is escaped.
      quoted.append(backslashes * 2 + 1, u'\\');
    } else {
      quoted.append(backslashes, u'\\');
    }
    backslashes = 0;
    quoted += ch;
  }
  // Backslashes before the closing quote double.
  quoted.append(backslashes * 2, u'\\');
  quoted += u'"';
  return XpString(std::u16string_view(quoted));
}
