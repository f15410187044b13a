#include "accessor/app/K2AccessorCommandLineInfo.h"

namespace {

constexpr const char16_t* kFlagSalvage = u"salvage";
constexpr const char16_t* kFlagYes = u"yes";
constexpr const char16_t* kFlagHelp = u"help";

}  // namespace

K2AccessorCommandLineInfo::K2AccessorCommandLineInfo() = default;

K2AccessorCommandLineInfo::~K2AccessorCommandLineInfo() = default;

XpStringVector K2AccessorCommandLineInfo::GetKnownFlags() const {
  XpStringVector flags = SfAccessorCommandLineInfo::GetKnownFlags();
  flags.emplace_back(kFlagSalvage);
  flags.emplace_back(kFlagYes);
  flags.emplace_back(kFlagHelp);
  return flags;
}

void K2AccessorCommandLineInfo::ParseParam(const char16_t* param, bool isFlag, bool isLast) {
  SfAccessorCommandLineInfo::ParseParam(param, isFlag, isLast);
  if (isFlag) {
    if (m_strLastFlag.CompareNoCase(kFlagSalvage) == 0) {
      m_bSalvage = true;
    } else if (m_strLastFlag.CompareNoCase(kFlagYes) == 0) {
      m_bAssumeYes = true;
    } else if (m_strLastFlag.CompareNoCase(kFlagHelp) == 0) {
      m_bHelp = true;
    }
  } else if (isLast && m_bImport) {
    m_strLastParam = u"";
  }
  if (m_strImportPath.Compare(m_strLastParam.CStr()) == 0) {
    m_strLastParam = u"";
  }
}
