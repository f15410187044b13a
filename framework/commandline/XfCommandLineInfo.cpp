#include "framework/commandline/XfCommandLineInfo.h"

#include <string_view>

namespace {

constexpr std::u16string_view kLongFlagPrefix = u"--";
constexpr std::u16string_view kShortFlagPrefix = u"-";
constexpr std::u16string_view kSlashFlagPrefix = u"/";

// The flag name of argument, or false when it is a plain parameter.
bool SplitFlag(const XfCommandLineInfo& info, const XpString& argument, XpString* name) {
  const std::u16string_view text = argument.View();
  // "--" alone is plain, not the flag "-".
  const std::u16string_view dashes =
      text.starts_with(kLongFlagPrefix) ? kLongFlagPrefix : kShortFlagPrefix;
  if (text.starts_with(dashes)) {
    if (text.size() == dashes.size()) {
      return false;
    }
    *name = XpString(text.substr(dashes.size()));
    return true;
  }
  if (text.size() > kSlashFlagPrefix.size() && text.starts_with(kSlashFlagPrefix)) {
    const XpString rest(text.substr(kSlashFlagPrefix.size()));
    if (info.IsKnownFlag(rest)) {
      *name = rest;
      return true;
    }
  }
  return false;
}

}  // namespace

XfCommandLineInfo::XfCommandLineInfo() = default;

XfCommandLineInfo::~XfCommandLineInfo() = default;

void XfCommandLineInfo::ParseParam(const char16_t* param, bool isFlag, bool /*isLast*/) {
  if (isFlag || param == nullptr || !m_strFileName.IsEmpty()) {
    return;
  }
  m_strFileName = param;
}

XpStringVector XfCommandLineInfo::GetKnownFlags() const { return {}; }

bool XfCommandLineInfo::IsKnownFlag(const XpString& name) const {
  for (const XpString& known : GetKnownFlags()) {
    if (name.CompareNoCase(known.CStr()) == 0) {
      return true;
    }
  }
  return false;
}

void XfParseCommandLine(int argc, const char* const* argv, XfCommandLineInfo& info) {
  if (argv == nullptr) {
    return;
  }
  for (int index = 1; index < argc; ++index) {
    const XpString argument = XpStringA(argv[index]).ToWide();
    const bool isLast = index == argc - 1;
    XpString name;
    if (SplitFlag(info, argument, &name)) {
      info.ParseParam(name.CStr(), true, isLast);
    } else {
      info.ParseParam(argument.CStr(), false, isLast);
    }
  }
}
