#include "setup/config/UserLanguageTransform.h"

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/HermeticTest.h"

namespace {

using UserLanguageTransform = testsupport::HermeticTest;

uint32_t Transform(uint32_t lcid) {
  uint32_t number = 12345;
  EXPECT_TRUE(::UserLanguageTransform(lcid, &number));
  return number;
}

TEST_F(UserLanguageTransform, ByLcid) {
  struct Case {
    uint32_t lcid;
    uint32_t transform;
  };
  const Case cases[] = {
      {2057, 1033},   {3082, 3082},   {1034, 3082}, {1041, 0},    {66567, 1031},
      {133124, 2052}, {197636, 1028}, {4100, 1033}, {3076, 1033}, {9999, 1033},
      {0, 1033},      {1031, 1031},   {20490, 3082}, {6156, 1036}, {2064, 1040},
      {1042, 1042},   {2067, 1043},   {2070, 1046}, {1049, 1049}, {2077, 1053},
      {2052, 2052},   {1028, 1028},   {1045, 1045}, {136196, 1033}, {5124, 1033},
  };
  for (const Case& c : cases) EXPECT_EQ(Transform(c.lcid), c.transform) << c.lcid;
}

TEST_F(UserLanguageTransform, ByPosixLocale) {
  struct Case {
    const char* locale;
    uint32_t lcid;
    uint32_t transform;
  };
  const Case cases[] = {
      {"ja_JP.UTF-8", 1041, 0},      {"de_AT", 3079, 1031},       {"es_MX.UTF-8", 2058, 3082},
      {"zh_TW", 1028, 1028},         {"pt", 1046, 1046},          {"C", 1033, 1033},
      {"POSIX", 1033, 1033},         {"", 1033, 1033},            {"xx_YY", 1033, 1033},
      {"de_XX.UTF-8", 1031, 1031},   {"sr_RS@latin", 2074, 1033}, {"sr_RS.UTF-8@latin", 2074, 1033},
      {"uz_UZ.UTF-8@cyrillic", 2115, 1033}, {"en_GB.ISO-8859-1", 2057, 1033},
      {"zh_SG", 4100, 1033},         {"zh_HK.UTF-8", 3076, 1033}, {"fr_CA@euro", 3084, 1036},
      {"es_ES", 3082, 3082},         {"es", 1034, 3082},
  };
  for (const Case& c : cases) {
    const uint32_t lcid = SetupLcidFromLocale(c.locale);
    EXPECT_EQ(lcid, c.lcid) << c.locale;
    EXPECT_EQ(Transform(lcid), c.transform) << c.locale;
  }
}

TEST_F(UserLanguageTransform, LocaleComesFromTheFirstSetVariable) {
  SetEnv("LC_ALL", "");
  SetEnv("LC_MESSAGES", "");
  SetEnv("LANG", "ja_JP.UTF-8");
  EXPECT_EQ(SetupUserLocaleFromEnvironment(), "ja_JP.UTF-8");
  SetEnv("LC_MESSAGES", "de_AT");
  EXPECT_EQ(SetupUserLocaleFromEnvironment(), "de_AT");
  SetEnv("LC_ALL", "es_MX.UTF-8");
  EXPECT_EQ(SetupUserLocaleFromEnvironment(), "es_MX.UTF-8");
  ::unsetenv("LC_ALL");
  ::unsetenv("LC_MESSAGES");
  ::unsetenv("LANG");
  EXPECT_EQ(SetupUserLocaleFromEnvironment(), "");
  EXPECT_EQ(SetupLcidFromLocale(SetupUserLocaleFromEnvironment()), 1033u);
}

}  // namespace
