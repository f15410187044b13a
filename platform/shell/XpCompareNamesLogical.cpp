#include "platform/shell/XpCompareNamesLogical.h"

#include <locale.h>
#include <wctype.h>

#include <string_view>

namespace {

constexpr char16_t kFirstSurrogate = 0xD800;
constexpr char16_t kLastSurrogate = 0xDFFF;

bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }

// Lower case as the C.UTF-8 locale folds it, whatever the user's locale is.
char16_t Fold(char16_t ch) {
  static const locale_t cLocale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (ch >= kFirstSurrogate && ch <= kLastSurrogate) return ch;
  if (cLocale == static_cast<locale_t>(0)) {
    return ch >= u'A' && ch <= u'Z' ? static_cast<char16_t>(ch - u'A' + u'a') : ch;
  }
  const wint_t folded = ::towlower_l(static_cast<wint_t>(ch), cLocale);
  return folded <= 0xFFFF ? static_cast<char16_t>(folded) : ch;
}

int Sign(int value) { return (value > 0) - (value < 0); }

// Compares the digit runs that start at a[i] and b[j] by value and moves
// both indexes past them.
int CompareNumbers(std::u16string_view a, size_t& i, std::u16string_view b, size_t& j) {
  while (i < a.size() && a[i] == u'0') ++i;
  while (j < b.size() && b[j] == u'0') ++j;
  const size_t aStart = i;
  const size_t bStart = j;
  while (i < a.size() && IsDigit(a[i])) ++i;
  while (j < b.size() && IsDigit(b[j])) ++j;
  const size_t aLength = i - aStart;
  const size_t bLength = j - bStart;
  if (aLength != bLength) return aLength < bLength ? -1 : 1;
  return Sign(a.substr(aStart, aLength).compare(b.substr(bStart, bLength)));
}

}  // namespace

int XpCompareNamesLogical(const XpString& a, const XpString& b) {
  const std::u16string_view x = a.View();
  const std::u16string_view y = b.View();
  size_t i = 0;
  size_t j = 0;
  while (i < x.size() && j < y.size()) {
    if (IsDigit(x[i]) && IsDigit(y[j])) {
      const int order = CompareNumbers(x, i, y, j);
      if (order != 0) return order;
      continue;
    }
    const char16_t cx = Fold(x[i]);
    const char16_t cy = Fold(y[j]);
    if (cx != cy) return cx < cy ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < x.size()) return 1;
  if (j < y.size()) return -1;
  return 0;
}
