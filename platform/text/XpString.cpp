#include "platform/text/XpString.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <new>
#include <string>

#include "platform/text/XpStringRep.h"
#include "platform/text/XpUtf.h"

namespace {

using Core = XpStringCoreW;

// Case folding never follows the user's locale.
locale_t FoldingLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

int32_t FoldCase(char16_t unit) {
  const locale_t locale = FoldingLocale();
  if (locale == static_cast<locale_t>(nullptr)) {
    return unit >= u'A' && unit <= u'Z' ? unit - u'A' + u'a' : unit;
  }
  return static_cast<int32_t>(towlower_l(static_cast<wint_t>(unit), locale));
}

}  // namespace

XpString::XpString() : rep_(Core::ThreadEmpty()) { Refresh(); }

XpString::XpString(const char16_t* text) : XpString(Core::ViewOf(text)) {}

XpString::XpString(const char16_t* text, int32_t length) : XpString(Core::ViewOf(text, length)) {}

XpString::XpString(std::u16string_view text) : rep_(Core::FromView(text)) { Refresh(); }

XpString::XpString(const XpString& other) : chars_(other.chars_), rep_(other.rep_) { Core::Retain(rep_); }

XpString::XpString(XpString&& other) noexcept {
  Core::Take(rep_, other.rep_);
  other.Refresh();
  Refresh();
}

XpString::~XpString() {
  Core::Release(rep_);
  rep_ = nullptr;
  chars_ = nullptr;
}

XpString& XpString::operator=(const XpString& other) {
  if (Core::Share(rep_, other.rep_)) Refresh();
  return *this;
}

XpString& XpString::operator=(XpString&& other) noexcept {
  if (this == &other) return *this;
  Core::Take(rep_, other.rep_);
  other.Refresh();
  Refresh();
  return *this;
}

XpString& XpString::operator=(const char16_t* text) {
  if (Core::AssignText(rep_, text)) Refresh();
  return *this;
}

void XpString::Clone(XpString& target) const { target = *this; }

XpString& XpString::operator+=(const char16_t* text) {
  if (Core::AppendText(rep_, text)) Refresh();
  return *this;
}

XpString& XpString::operator+=(const XpString& text) {
  if (Core::Append(rep_, text.CStr(), text.GetLength())) Refresh();
  return *this;
}

XpString& XpString::operator+=(char16_t ch) {
  if (Core::Append(rep_, &ch, 1)) Refresh();
  return *this;
}

const char16_t* XpString::CStr() const { return Core::Chars(rep_); }

const char16_t* XpString::CharPtr(int32_t index) const { return CStr() + index; }

int32_t XpString::GetLength() const { return Core::Length(rep_); }

bool XpString::IsEmpty() const { return GetLength() == 0; }

std::u16string_view XpString::View() const { return Core::ViewOfRep(rep_); }

int32_t XpString::Find(char16_t ch, int32_t start) const {
  const std::u16string_view text = View();
  const size_t from = static_cast<size_t>(std::max(start, 0));
  if (from >= text.size()) return -1;
  const size_t found = text.find(ch, from);
  return found == std::u16string_view::npos ? -1 : static_cast<int32_t>(found);
}

int32_t XpString::ReverseFind(char16_t ch) const {
  const size_t found = View().rfind(ch);
  return found == std::u16string_view::npos ? -1 : static_cast<int32_t>(found);
}

int XpString::Compare(const char16_t* text) const {
  return Core::Compare(View(), Core::ViewOf(text));
}

int XpString::CompareNoCase(const char16_t* text) const {
  const std::u16string_view mine = View();
  const std::u16string_view theirs = Core::ViewOf(text);
  const size_t common = std::min(mine.size(), theirs.size());
  for (size_t i = 0; i < common; ++i) {
    const int32_t difference = FoldCase(mine[i]) - FoldCase(theirs[i]);
    if (difference != 0) return Core::Sign(difference);
  }
  return Core::Sign(static_cast<int>(mine.size() > theirs.size()) -
                    static_cast<int>(mine.size() < theirs.size()));
}

XpString XpString::Left(int32_t count) const { return Core::Left(*this, count); }

XpString XpString::Right(int32_t count) const {
  const int32_t length = GetLength();
  if (count >= length) return *this;
  if (count <= 0) return XpString();
  return XpString(CStr() + (length - count), count);
}

XpString XpString::Mid(int32_t start, int32_t count) const {
  const int32_t from = std::max(start, 0);
  const int32_t length = GetLength();
  if (from >= length) return XpString();
  return Right(length - from).Left(count);
}

XpString XpString::Mid(int32_t start) const {
  const int32_t from = std::max(start, 0);
  return Mid(from, GetLength() - std::min(from, GetLength()));
}

int32_t XpString::Replace(const char16_t* search, const char16_t* replacement) {
  const std::u16string_view pattern = Core::ViewOf(search);
  if (pattern.empty()) return 0;
  const std::u16string_view substitute = Core::ViewOf(replacement);
  const std::u16string_view text = View();

  int64_t matches = 0;
  for (size_t at = text.find(pattern); at != std::u16string_view::npos;
       at = text.find(pattern, at + pattern.size())) {
    ++matches;
  }
  if (matches == 0) return 0;
  const int64_t newLength = static_cast<int64_t>(text.size()) +
                            matches * (static_cast<int64_t>(substitute.size()) - static_cast<int64_t>(pattern.size()));
  if (newLength > Core::kMaxLength) return 0;

  auto* work = static_cast<char16_t*>(std::malloc(static_cast<size_t>(newLength + 1) * sizeof(char16_t)));
  if (work == nullptr) return 0;
  char16_t* out = work;
  size_t done = 0;
  for (size_t at = text.find(pattern); at != std::u16string_view::npos;
       at = text.find(pattern, at + pattern.size())) {
    out = std::copy(text.begin() + static_cast<ptrdiff_t>(done), text.begin() + static_cast<ptrdiff_t>(at), out);
    out = std::copy(substitute.begin(), substitute.end(), out);
    done = at + pattern.size();
  }
  std::copy(text.begin() + static_cast<ptrdiff_t>(done), text.end(), out);
  const bool assigned = Core::Assign(rep_, work, static_cast<int32_t>(newLength));
  std::free(work);
  if (!assigned) return 0;
  Refresh();
  return static_cast<int32_t>(matches);
}

XpStringA XpString::ToMultiByte() const {
  try {
    const std::string bytes = XpUtf16ToUtf8(View());
    return XpStringA(bytes.data(), static_cast<int32_t>(std::min<size_t>(bytes.size(), Core::kMaxLength)));
  } catch (const std::bad_alloc&) {
    return XpStringA();
  }
}

XpString XpString::FromUtf8(std::string_view bytes) {
  XpString wide;
  XpStringA(bytes).ToWideInto(wide);
  return wide;
}

int32_t XpString::CapacityForTest() const { return Core::Capacity(rep_); }

XpString XpString::Join(std::u16string_view a, std::u16string_view b) {
  XpString joined;
  if (a.size() + b.size() > static_cast<size_t>(Core::kMaxLength)) return joined;
  const auto total = static_cast<int32_t>(a.size() + b.size());
  XpStringRep* rep = Core::Create(a.data(), static_cast<int32_t>(a.size()), Core::WantedCapacity(total));
  if (rep == nullptr) return joined;
  std::copy(b.begin(), b.end(), rep->buffer + a.size());
  rep->length = total;
  rep->buffer[total] = u'\0';
  Core::Release(joined.rep_);
  joined.rep_ = rep;
  joined.Refresh();
  return joined;
}

void XpString::Refresh() { chars_ = rep_ != nullptr ? rep_->buffer : nullptr; }

XpResult XpString::AssignFormatted(const char16_t* format, const XpFormatArg* args, size_t count,
                                   bool append) {
  XpFormatBuffer text;
  const XpResult result = XpFormatTo(text, format, args, count);
  if (XpFailed(result)) return result;
  if (text.Size() > static_cast<size_t>(Core::kMaxLength)) return kXpErrOutOfMemory;
  const auto length = static_cast<int32_t>(text.Size());
  const char16_t* units = text.View().data();
  const bool done = append ? Core::Append(rep_, units, length) : Core::Assign(rep_, units, length);
  if (!done) return kXpErrOutOfMemory;
  Refresh();
  return kXpOk;
}

bool operator==(const XpString& a, const XpString& b) { return a.View() == b.View(); }
bool operator==(const XpString& a, const char16_t* b) { return a.View() == Core::ViewOf(b); }
bool operator==(const char16_t* a, const XpString& b) { return b == a; }
bool operator!=(const XpString& a, const XpString& b) { return !(a == b); }
bool operator!=(const XpString& a, const char16_t* b) { return !(a == b); }
bool operator!=(const char16_t* a, const XpString& b) { return !(b == a); }
bool operator<(const XpString& a, const XpString& b) { return a.View() < b.View(); }

XpString operator+(const XpString& a, const XpString& b) { return XpString::Join(a.View(), b.View()); }
XpString operator+(const XpString& a, const char16_t* b) {
  return XpString::Join(a.View(), Core::ViewOf(b));
}
XpString operator+(const char16_t* a, const XpString& b) {
  return XpString::Join(Core::ViewOf(a), b.View());
}
