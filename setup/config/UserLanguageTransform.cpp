#include "setup/config/UserLanguageTransform.h"

#include <cstdlib>
#include <span>

namespace {

constexpr const char* kLocaleVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
constexpr char kCodesetMark = '.';
constexpr char kModifierMark = '@';
constexpr char kTerritoryMark = '_';

struct LocaleName {
  const char* name;
  uint32_t lcid;
};

// POSIX names of the identifiers the transform table knows; a language
// alone stands for its primary identifier.
constexpr LocaleName kLocaleNames[] = {
    {"ja", 1041},          {"ja_JP", 1041},       {"de", 1031},          {"de_DE", 1031},
    {"de_CH", 2055},       {"de_AT", 3079},       {"de_LU", 4103},       {"de_LI", 5127},
    {"es", 1034},          {"es_ES", 3082},       {"es_MX", 2058},       {"es_GT", 4106},
    {"es_CR", 5130},       {"es_PA", 6154},       {"es_DO", 7178},       {"es_VE", 8202},
    {"es_CO", 9226},       {"es_PE", 10250},      {"es_AR", 11274},      {"es_EC", 12298},
    {"es_CL", 13322},      {"es_UY", 14346},      {"es_PY", 15370},      {"es_BO", 16394},
    {"es_SV", 17418},      {"es_HN", 18442},      {"es_NI", 19466},      {"es_PR", 20490},
    {"fr", 1036},          {"fr_FR", 1036},       {"fr_BE", 2060},       {"fr_CA", 3084},
    {"fr_CH", 4108},       {"fr_LU", 5132},       {"fr_MC", 6156},       {"it", 1040},
    {"it_IT", 1040},       {"it_CH", 2064},       {"ko", 1042},          {"ko_KR", 1042},
    {"nl", 1043},          {"nl_NL", 1043},       {"nl_BE", 2067},       {"pt", 1046},
    {"pt_BR", 1046},       {"pt_PT", 2070},       {"ru", 1049},          {"ru_RU", 1049},
    {"sv", 1053},          {"sv_SE", 1053},       {"sv_FI", 2077},       {"zh", 1028},
    {"zh_TW", 1028},       {"zh_CN", 2052},       {"zh_HK", 3076},       {"zh_SG", 4100},
    {"zh_MO", 5124},       {"pl", 1045},          {"pl_PL", 1045},       {"bg", 1026},
    {"bg_BG", 1026},       {"ca", 1027},          {"ca_ES", 1027},       {"cs", 1029},
    {"cs_CZ", 1029},       {"da", 1030},          {"da_DK", 1030},       {"el", 1032},
    {"el_GR", 1032},       {"en", 1033},          {"en_US", 1033},       {"en_GB", 2057},
    {"en_AU", 3081},       {"en_CA", 4105},       {"en_NZ", 5129},       {"en_IE", 6153},
    {"en_ZA", 7177},       {"en_JM", 8201},       {"en_BZ", 10249},      {"en_TT", 11273},
    {"en_ZW", 12297},      {"en_PH", 13321},      {"fi", 1035},          {"fi_FI", 1035},
    {"hu", 1038},          {"hu_HU", 1038},       {"is", 1039},          {"is_IS", 1039},
    {"nb", 1044},          {"nb_NO", 1044},       {"no", 1044},          {"no_NO", 1044},
    {"nn", 2068},          {"nn_NO", 2068},       {"ro", 1048},          {"ro_RO", 1048},
    {"hr", 1050},          {"hr_HR", 1050},       {"hr_BA", 4122},       {"sk", 1051},
    {"sk_SK", 1051},       {"sq", 1052},          {"sq_AL", 1052},       {"th", 1054},
    {"th_TH", 1054},       {"tr", 1055},          {"tr_TR", 1055},       {"id", 1057},
    {"id_ID", 1057},       {"uk", 1058},          {"uk_UA", 1058},       {"be", 1059},
    {"be_BY", 1059},       {"sl", 1060},          {"sl_SI", 1060},       {"et", 1061},
    {"et_EE", 1061},       {"lv", 1062},          {"lv_LV", 1062},       {"lt", 1063},
    {"lt_LT", 1063},       {"az", 1068},          {"az_AZ", 1068},       {"az_AZ@cyrillic", 2092},
    {"eu", 1069},          {"eu_ES", 1069},       {"mk", 1071},          {"mk_MK", 1071},
    {"tn", 1074},          {"tn_ZA", 1074},       {"xh", 1076},          {"xh_ZA", 1076},
    {"zu", 1077},          {"zu_ZA", 1077},       {"af", 1078},          {"af_ZA", 1078},
    {"fo", 1080},          {"fo_FO", 1080},       {"mt", 1082},          {"mt_MT", 1082},
    {"se", 1083},          {"se_NO", 1083},       {"se_SE", 2107},       {"se_FI", 3131},
    {"ms", 1086},          {"ms_MY", 1086},       {"ms_BN", 2110},       {"kk", 1087},
    {"kk_KZ", 1087},       {"ky", 1088},          {"ky_KG", 1088},       {"sw", 1089},
    {"sw_KE", 1089},       {"uz", 1091},          {"uz_UZ", 1091},       {"uz_UZ@cyrillic", 2115},
    {"tt", 1092},          {"tt_RU", 1092},       {"mn", 1104},          {"mn_MN", 1104},
    {"cy", 1106},          {"cy_GB", 1106},       {"gl", 1110},          {"gl_ES", 1110},
    {"quz", 1131},         {"quz_BO", 1131},      {"quz_EC", 2155},      {"quz_PE", 3179},
    {"nso", 1132},         {"nso_ZA", 1132},      {"mi", 1153},          {"mi_NZ", 1153},
    {"sr", 3098},          {"sr_RS", 3098},       {"sr_RS@latin", 2074}, {"sr_BA", 7194},
    {"sr_BA@latin", 6170}, {"bs", 5146},          {"bs_BA", 5146},       {"smj", 4155},
    {"smj_NO", 4155},      {"smj_SE", 5179},      {"sma", 6203},         {"sma_NO", 6203},
    {"sma_SE", 7227},      {"sms", 8251},         {"sms_FI", 8251},      {"smn", 9275},
    {"smn_FI", 9275},
};

constexpr uint32_t kJapanese[] = {1041};
constexpr uint32_t kGerman[] = {1031, 2055, 3079, 4103, 5127, 66567};
constexpr uint32_t kSpanish[] = {1034,  2058,  3082,  4106,  5130,  6154,  7178,
                                 8202,  9226,  10250, 11274, 12298, 13322, 14346,
                                 15370, 16394, 17418, 18442, 19466, 20490};
constexpr uint32_t kFrench[] = {1036, 2060, 3084, 4108, 5132, 6156};
constexpr uint32_t kItalian[] = {1040, 2064};
constexpr uint32_t kKorean[] = {1042};
constexpr uint32_t kDutch[] = {1043, 2067};
constexpr uint32_t kPortuguese[] = {1046, 2070};
constexpr uint32_t kRussian[] = {1049};
constexpr uint32_t kSwedish[] = {1053, 2077};
constexpr uint32_t kChineseSimplified[] = {2052, 133124};
constexpr uint32_t kChineseTraditional[] = {1028, 197636};
constexpr uint32_t kPolish[] = {1045};

struct LanguageGroup {
  uint32_t transform;
  std::span<const uint32_t> lcids;
};

// Every identifier not listed here, English ones included, gives 1033.
constexpr LanguageGroup kGroups[] = {
    {0, kJapanese},       {1031, kGerman},  {3082, kSpanish},           {1036, kFrench},
    {1040, kItalian},     {1042, kKorean},  {1043, kDutch},             {1046, kPortuguese},
    {1049, kRussian},     {1053, kSwedish}, {2052, kChineseSimplified}, {1028, kChineseTraditional},
    {1045, kPolish},
};

// "ll_TT.codeset@modifier" without its ".codeset".
std::string WithoutCodeset(std::string_view locale) {
  std::string name(locale);
  const size_t codeset = name.find(kCodesetMark);
  if (codeset == std::string::npos) return name;
  const size_t modifier = name.find(kModifierMark, codeset);
  const size_t length = modifier == std::string::npos ? std::string::npos : modifier - codeset;
  return name.erase(codeset, length);
}

bool FindLcid(std::string_view name, uint32_t* lcid) {
  for (const LocaleName& entry : kLocaleNames) {
    if (name == entry.name) {
      *lcid = entry.lcid;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string SetupUserLocaleFromEnvironment() {
  for (const char* variable : kLocaleVariables) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return std::string();
}

uint32_t SetupLcidFromLocale(std::string_view locale) {
  const std::string name = WithoutCodeset(locale);
  uint32_t lcid = 0;
  if (FindLcid(name, &lcid)) return lcid;
  const std::string_view base = std::string_view(name).substr(0, name.find(kModifierMark));
  if (FindLcid(base, &lcid)) return lcid;
  if (FindLcid(base.substr(0, base.find(kTerritoryMark)), &lcid)) return lcid;
  return kSetupDefaultLcid;
}

bool UserLanguageTransform(uint32_t lcid, uint32_t* number) {
  uint32_t transform = kSetupDefaultLcid;
  for (const LanguageGroup& group : kGroups) {
    for (const uint32_t member : group.lcids) {
      if (member == lcid) transform = group.transform;
    }
  }
  if (number != nullptr) *number = transform;
  return true;
}
