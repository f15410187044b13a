#include "accessor/import/K2ImportNames.h"

#include <string>
#include <string_view>

#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"

namespace {

constexpr int32_t kShortDateStyle = 0;
constexpr char16_t kReplacement = u'-';
constexpr char16_t kFirstPrintable = u' ';
constexpr const char16_t* kMovieExtension = u".MPG";
constexpr const char16_t* kThumbnailExtension = u".THM";

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

bool IsInvalidNameChar(char16_t ch) {
  if (ch < kFirstPrintable) return true;
  return std::u16string_view(XpGetInvalidFileNameChars()).find(ch) != std::u16string_view::npos;
}

XpString ReplaceInvalidNameChars(const XpString& text) {
  std::u16string units(text.View());
  for (char16_t& ch : units) {
    if (IsInvalidNameChar(ch)) ch = kReplacement;
  }
  return XpString(std::u16string_view(units));
}

// The first count units of text, one fewer when that would split a pair.
XpString LeftWithoutSplit(const XpString& text, int32_t count) {
  if (count <= 0) return XpString();
  if (count >= text.GetLength()) return text;
  const std::u16string_view units = text.View();
  if (IsHighSurrogate(units[count - 1]) && IsLowSurrogate(units[count])) --count;
  return text.Left(count);
}

int32_t Utf8Length(const XpString& text) { return text.ToMultiByte().GetLength(); }

// text without its last character.
XpString DropLastChar(const XpString& text) {
  const std::u16string_view units = text.View();
  int32_t length = text.GetLength();
  if (length >= 2 && IsLowSurrogate(units[length - 1]) && IsHighSurrogate(units[length - 2])) {
    --length;
  }
  return text.Left(length - 1);
}

// text cut at a character boundary until it takes at most maxBytes of
// UTF-8.
XpString FitBytes(XpString text, int32_t maxBytes) {
  while (!text.IsEmpty() && Utf8Length(text) > maxBytes) text = DropLastChar(text);
  return text;
}

// The dot folders name the folder itself or its parent.
XpString WithoutDotName(const XpString& name) {
  if (name == u"." || name == u"..") return XpString(u"-");
  return name;
}

// "name(number)", name cut so that the whole fits in a file name.
XpString NumberedName(const XpString& name, int64_t number) {
  const std::string digits = std::to_string(number);
  std::u16string suffix(u"(");
  suffix.append(digits.begin(), digits.end());
  suffix += u')';
  const XpString base = FitBytes(name, kK2MaxFileNameBytes - static_cast<int32_t>(suffix.size()));
  return base + XpString(std::u16string_view(suffix));
}

}  // namespace

XpString K2MakeDateFolderName(const XpDateTime& date) {
  return ReplaceInvalidNameChars(date.FormatDate(kShortDateStyle));
}

bool K2IsPathTaken(const XpString& path, const XpStringVector* reserved) {
  if (XpPathExists(path)) return true;
  if (reserved == nullptr) return false;
  XpString folder = path;
  folder += kXpPathSeparator;
  for (const XpString& entry : *reserved) {
    if (entry.CompareNoCase(folder.CStr()) == 0) return true;
  }
  return false;
}

XpString K2MakeUniqueName(const XpString& parent, const XpString& name,
                          const XpStringVector* reserved) {
  XpString candidate = name;
  for (int64_t number = 1;
       candidate.IsEmpty() || K2IsPathTaken(XpPathJoin(parent, candidate), reserved); ++number) {
    candidate = NumberedName(name, number);
  }
  return candidate;
}

XpString K2MakeDestinationFolderPath(const XpString& title, const XpString& parent,
                                     const XpStringVector* reserved) {
  XpString name = ReplaceInvalidNameChars(title);
  name = LeftWithoutSplit(name, kK2MaxFolderPathUnits - parent.GetLength());
  name = WithoutDotName(FitBytes(name, kK2MaxFileNameBytes));
  name = K2MakeUniqueName(parent, name, reserved);
  XpString folder = XpPathJoin(parent, name);
  XpPathAddTrailingBackslash(folder);
  return folder;
}

bool K2IsMovieWithThumbnail(const XpString& path) {
  XpString folder;
  XpString base;
  XpString extension;
  XpPathSplit(path, &folder, &base, &extension);
  if (extension.CompareNoCase(kMovieExtension) != 0) return false;
  return XpFileExists(folder + base + kThumbnailExtension);
}
