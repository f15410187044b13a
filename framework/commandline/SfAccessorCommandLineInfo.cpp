#include "framework/commandline/SfAccessorCommandLineInfo.h"

#include <string_view>

namespace {

constexpr const char16_t* kFlagExport = u"export";
constexpr const char16_t* kFlagImport = u"import";
constexpr const char16_t* kFlagImportScore = u"importscore";
constexpr const char16_t* kFlagParentWindow = u"parentwindow";

constexpr int kHexDigitBits = 4;
constexpr int kMaxHandleDigits = 8;
constexpr int kDecimalDigitCount = 10;

bool IsBlank(char16_t ch) {
  return ch == u' ' || ch == u'\t' || ch == u'\n' || ch == u'\r' || ch == u'\v' || ch == u'\f';
}

// The value of a hexadecimal digit; -1 for any other character.
int HexDigitValue(char16_t ch) {
  if (ch >= u'0' && ch <= u'9') {
    return ch - u'0';
  }
  if (ch >= u'a' && ch <= u'f') {
    return ch - u'a' + kDecimalDigitCount;
  }
  if (ch >= u'A' && ch <= u'F') {
    return ch - u'A' + kDecimalDigitCount;
  }
  return -1;
}

}  // namespace

bool SfParseHexHandle(const XpString& text, uint32_t* value) {
  std::u16string_view rest = text.View();
  while (!rest.empty() && IsBlank(rest.front())) {
    rest.remove_prefix(1);
  }
  if (rest.starts_with(u"0x") || rest.starts_with(u"0X")) {
    rest.remove_prefix(2);
  }
  uint32_t parsed = 0;
  int digits = 0;
  int significant = 0;
  for (const char16_t ch : rest) {
    const int digit = HexDigitValue(ch);
    if (digit < 0) {
      break;
    }
    ++digits;
    if (significant == 0 && digit == 0) {
      continue;
    }
    if (++significant > kMaxHandleDigits) {
      return false;
    }
    parsed = (parsed << kHexDigitBits) | static_cast<uint32_t>(digit);
  }
  if (digits == 0) {
    return false;
  }
  *value = parsed;
  return true;
}

SfAccessorCommandLineInfo::SfAccessorCommandLineInfo() = default;

SfAccessorCommandLineInfo::~SfAccessorCommandLineInfo() = default;

XpStringVector SfAccessorCommandLineInfo::GetKnownFlags() const {
  XpStringVector flags = XfCommandLineInfo::GetKnownFlags();
  for (const char16_t* flag : {kFlagExport, kFlagImport, kFlagImportScore, kFlagParentWindow}) {
    flags.emplace_back(flag);
  }
  return flags;
}

void SfAccessorCommandLineInfo::ParseParam(const char16_t* param, bool isFlag, bool isLast) {
  XfCommandLineInfo::ParseParam(param, isFlag, isLast);
  if (isFlag) {
    m_strLastFlag = param;
    if (m_strLastFlag.CompareNoCase(kFlagExport) == 0) {
      m_bExport = true;
    } else if (m_strLastFlag.CompareNoCase(kFlagImport) == 0) {
      m_bImport = true;
    } else if (m_strLastFlag.CompareNoCase(kFlagImportScore) == 0) {
      m_bImportScore = true;
    }
    return;
  }
  if (isLast && param != nullptr) {
    m_strLastParam = param;
  }
  if (m_strLastFlag.CompareNoCase(kFlagExport) == 0) {
    m_strExportFile = param;
  } else if (m_strLastFlag.CompareNoCase(kFlagImport) == 0) {
    m_strImportPath = param;
  } else if (m_strLastFlag.CompareNoCase(kFlagParentWindow) == 0) {
    SfParseHexHandle(XpString(param), &m_hParentWnd);
  }
  m_strLastFlag = u"";
}
