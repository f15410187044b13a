#include "platform/path/XpPath.h"

#include <locale.h>
#include <wctype.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/system/XpMountTable.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr char16_t kDot = u'.';
constexpr const char16_t* kRootPath = u"/";
constexpr const char16_t* kInvalidFileNameChars = u"\\/:,;*?\"<>|";

bool EndsWithSeparator(const XpString& path) {
  const int32_t length = path.GetLength();
  return length > 0 && path.CStr()[length - 1] == kXpPathSeparator;
}

// White space as the C.UTF-8 locale classifies it, whatever the user's
// locale is.
bool IsSpace(char16_t ch) {
  static const locale_t cLocale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (cLocale == static_cast<locale_t>(0)) {
    return ch == u' ' || (ch >= u'\t' && ch <= u'\r');
  }
  return ::iswspace_l(static_cast<wint_t>(ch), cLocale) != 0;
}

bool IsSpaceOrDot(char16_t ch) { return ch == kDot || IsSpace(ch); }

template <typename Predicate>
XpString Trim(const XpString& text, Predicate drop, bool trailingToo) {
  const std::u16string_view view = text.View();
  size_t start = 0;
  while (start < view.size() && drop(view[start])) ++start;
  size_t end = view.size();
  while (trailingToo && end > start && drop(view[end - 1])) --end;
  if (start == 0 && end == view.size()) return text;
  return XpString(view.substr(start, end - start));
}

}  // namespace

XpString XpPathGetExtension(const XpString& path) {
  const int32_t dot = path.ReverseFind(kDot);
  if (dot < 0 || dot < path.ReverseFind(kXpPathSeparator)) return XpString();
  return path.Mid(dot);
}

XpString XpPathGetLeafName(const XpString& path) {
  XpString trimmed = path;
  while (EndsWithSeparator(trimmed)) trimmed = trimmed.Left(trimmed.GetLength() - 1);
  return XpPathGetFileName(trimmed);
}

XpString XpPathGetFileName(const XpString& path) {
  const int32_t separator = path.ReverseFind(kXpPathSeparator);
  if (separator < 0) return path;
  return path.Mid(separator + 1);
}

void XpPathSplit(const XpString& path, XpString* dir, XpString* name, XpString* ext) {
  XpString work = path;
  if (work.GetLength() > 1 && EndsWithSeparator(work)) work = work.Left(work.GetLength() - 1);
  const int32_t separator = work.ReverseFind(kXpPathSeparator);
  int32_t dot = work.ReverseFind(kDot);
  if (dot < separator) dot = -1;
  const int32_t nameStart = separator + 1;
  if (dir != nullptr) *dir = work.Left(nameStart);
  if (name != nullptr) {
    *name = dot >= 0 ? work.Mid(nameStart, dot - nameStart) : work.Mid(nameStart);
  }
  if (ext != nullptr) *ext = dot >= 0 ? work.Mid(dot) : XpString();
}

XpString XpPathGetDirectory(const XpString& path) {
  XpString dir;
  XpPathSplit(path, &dir, nullptr, nullptr);
  return dir;
}

XpString XpPathGetBaseName(const XpString& path) {
  XpString name;
  XpPathSplit(path, nullptr, &name, nullptr);
  return name;
}

XpString XpPathJoin(const XpString& dir, const XpString& name) {
  XpString joined = dir;
  if (!dir.IsEmpty() && !EndsWithSeparator(dir)) joined += kXpPathSeparator;
  const bool leadingSeparator = !name.IsEmpty() && name.CStr()[0] == kXpPathSeparator;
  joined += leadingSeparator ? name.Mid(1) : name;
  return joined;
}

void XpPathAddTrailingBackslash(XpString& path) {
  if (!EndsWithSeparator(path)) path += kXpPathSeparator;
}

void XpPathRemoveTrailingBackslash(XpString& path) {
  if (EndsWithSeparator(path)) path = path.Left(path.GetLength() - 1);
}

int XpPathGetRelation(const XpString& a, const XpString& b) {
  XpString first = a;
  XpString second = b;
  XpPathAddTrailingBackslash(first);
  XpPathAddTrailingBackslash(second);
  const std::u16string_view longer = first.GetLength() >= second.GetLength() ? first.View() : second.View();
  const std::u16string_view shorter = first.GetLength() >= second.GetLength() ? second.View() : first.View();
  if (longer.substr(0, shorter.size()) != shorter) return kXpPathUnrelated;
  if (longer.size() == shorter.size()) return kXpPathSame;
  return first.GetLength() > second.GetLength() ? kXpPathInside : kXpPathContains;
}

XpString XpPathGetRoot(const XpString& path) {
  if (path.IsEmpty() || path.CStr()[0] != kXpPathSeparator) return XpString();
  XpMountTable table;
  // An unreadable mount table is empty and finds no mount: the root is "/".
  (void)table.Load();
  const XpMountEntry* entry = table.FindContaining(path);
  if (entry == nullptr) return XpString(kRootPath);
  XpString root = entry->mountPoint;
  XpPathAddTrailingBackslash(root);
  return root;
}

XpString XpPathRelativeToRoot(const XpString& path) {
  const XpString root = XpPathGetRoot(path);
  if (root.IsEmpty()) return path;
  const std::u16string_view view = path.View();
  size_t start = static_cast<size_t>(root.GetLength());
  if (start > view.size()) return XpString();
  while (start < view.size() && view[start] == kXpPathSeparator) ++start;
  return XpString(view.substr(start));
}

XpString XpPathMakeAbsolute(const XpString& path) {
  if (path.IsEmpty() || path.CStr()[0] == kXpPathSeparator) {
    return path;
  }
  std::error_code error;
  const XpStringA bytes = path.ToMultiByte();
  const std::filesystem::path absolute =
      std::filesystem::absolute(std::string(bytes.View()), error);
  if (error) {
    return path;
  }
  const std::string text = absolute.lexically_normal().string();
  return XpStringA(text.c_str(), static_cast<int32_t>(text.size())).ToWide();
}

const char16_t* XpGetInvalidFileNameChars() { return kInvalidFileNameChars; }

XpString XpTrimLeadingSpaces(const XpString& text) { return Trim(text, IsSpace, false); }

XpString XpTrimSpacesAndDots(const XpString& text) { return Trim(text, IsSpaceOrDot, true); }
