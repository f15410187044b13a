#include "setup/settings/SetupSettings.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "setup/tests/SetupTestSupport.h"

namespace {

using setuptest::CompleteSettings;
using setuptest::IniFile;

class SetupSettingsFixture : public setuptest::SetupFixture {
 protected:
  // Writes settings and reads them back; the result of Read.
  bool ReadBack(const IniFile& file) {
    WriteSettings(file);
    return settings_.Read(ProgramFolder() + u"setup.ini");
  }

  SetupSettings settings_;
};
using SetupSettings = SetupSettingsFixture;

TEST_F(SetupSettings, SettingsValueSelectsTheInstallModes) {
  struct Case {
    const char* text;
    bool valid;
    const char16_t* installMode;
    const char16_t* fileConfigurationMode;
  };
  const Case cases[] = {
      {"10004", true, u"2", u"2"},   {"6", true, u"5", u"1"},      {"2", true, u"1", u"1"},
      {"10", true, u"3", u"3"},      {"8", true, u"0", u"0"},      {"40008", true, u"4", u"4"},
      {"12", true, u"0", u"0"},      {" 0x2", true, u"1", u"1"},   {"10zz", true, u"3", u"3"},
      {"-1", true, u"5", u"1"},      {"4", true, u"2", u"2"},      {"40010", true, u"3", u"3"},
      {"0", false, nullptr, nullptr}, {"zz", false, nullptr, nullptr},
      {"100000000", false, nullptr, nullptr}, {"", false, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    IniFile file = CompleteSettings();
    file.general["Settings"] = c.text;
    EXPECT_EQ(ReadBack(file), c.valid) << c.text;
    if (!c.valid) {
      EXPECT_EQ(settings_.GetSettingsValue(), 0u) << c.text;
      continue;
    }
    EXPECT_EQ(settings_.GetInstallMode(), c.installMode) << c.text;
    EXPECT_EQ(settings_.GetFileConfigurationMode(), c.fileConfigurationMode) << c.text;
  }
}

TEST_F(SetupSettings, ParsesAsThirtyTwoBitHexadecimal) {
  struct Case {
    const char16_t* text;
    std::optional<uint32_t> value;
  };
  const Case cases[] = {
      {u"ffffffff", 0xFFFFFFFFu}, {u"0X1f", 0x1Fu},       {u"+10", 0x10u},
      {u"\t 10", 0x10u},          {u"-FFFFFFFF", 1u},     {u"-2", 0xFFFFFFFEu},
      {u"0x", 0u},                {u"0xg", 0u},           {u"00000000010", 0x10u},
      {u"100000000", std::nullopt}, {u"-100000000", std::nullopt},
      {u"fffffffff0", std::nullopt}, {u"x10", std::nullopt}, {u"- 1", std::nullopt},
      {u"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(::SetupSettings::ParseSettingsValue(c.text), c.value)
        << XpString(c.text).ToMultiByte().ToStdString();
  }
}

TEST_F(SetupSettings, ValuesAreCutToTheirBuffers) {
  IniFile file = CompleteSettings();
  file.general["InstallerID"] = std::string(300, 'i');
  file.bootstrap["ProductName"] = std::string(300, 'p');
  ASSERT_TRUE(ReadBack(file));
  EXPECT_EQ(settings_.InstallerId().GetLength(), 260);
  EXPECT_EQ(settings_.ProductName().GetLength(), 259);
}

TEST_F(SetupSettings, NamesMatchWithoutCaseAndValuesAreTrimmed) {
  WriteProgramFile("setup.ini",
                   "[general]\ninstallerid=QMV-1\nSETTINGS = 2\nTarget = \"QMV.msi\" \n"
                   "extract= 'p.zip'\n[BOOTSTRAP]\nerrorcaptiontext=%s Setup\n");
  ASSERT_TRUE(settings_.Read(ProgramFolder() + u"setup.ini"));
  EXPECT_EQ(settings_.InstallerId(), u"QMV-1");
  EXPECT_EQ(settings_.Target(), u"QMV.msi");
  EXPECT_EQ(settings_.Extract(), u"p.zip");
  EXPECT_EQ(settings_.ErrorCaptionText(), u"%s Setup");
  EXPECT_EQ(settings_.ProductName(), u"");
}

TEST_F(SetupSettings, Utf16FileReadsTheSame) {
  IniFile file = CompleteSettings();
  file.general["Existence"] = "Telvane";
  file.bootstrap["ProductName"] = "QMV \xC3\xA9";
  const std::string utf8 = file.Text();
  ASSERT_TRUE(ReadBack(file));
  const ::SetupSettings fromUtf8 = settings_;

  const std::u16string wide(XpString::FromUtf8(utf8).View());
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : wide) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  WriteProgramFile("setup.ini", bytes);
  ::SetupSettings fromUtf16;
  ASSERT_TRUE(fromUtf16.Read(ProgramFolder() + u"setup.ini"));
  EXPECT_EQ(fromUtf16.InstallerId(), fromUtf8.InstallerId());
  EXPECT_EQ(fromUtf16.Existence(), u"Telvane");
  EXPECT_EQ(fromUtf16.ProductName(), u"QMV \u00E9");
  EXPECT_EQ(fromUtf16.GetSettingsValue(), fromUtf8.GetSettingsValue());
  EXPECT_EQ(fromUtf16.ErrorCaptionText(), fromUtf8.ErrorCaptionText());
}

TEST_F(SetupSettings, RequiredKeysAndAllKeysRead) {
  struct Case {
    const char* section;
    const char* key;
  };
  const Case required[] = {{"general", "InstallerID"},
                           {"general", "Target"},
                           {"general", "Settings"},
                           {"bootstrap", "ErrorCaptionText"}};
  for (const Case& c : required) {
    IniFile file = CompleteSettings();
    file.general["PrepareMsg"] = "TRUE";
    (std::string(c.section) == "general" ? file.general : file.bootstrap).erase(c.key);
    EXPECT_FALSE(ReadBack(file)) << c.key;
    // The keys after the failing one are still read.
    EXPECT_EQ(settings_.ProductName(), u"QMV") << c.key;
    EXPECT_TRUE(settings_.IsPrepareMsgOn()) << c.key;
  }
  EXPECT_FALSE(settings_.Read(ProgramFolder() + u"missing.ini"));
  EXPECT_EQ(settings_.ProductName(), u"");
}

TEST_F(SetupSettings, FlagTextsCompareAsTheirUsesAsk) {
  struct Case {
    const char* text;
    bool exactTrue;
    bool anyCaseTrue;
  };
  const Case cases[] = {{"True", true, true}, {"true", false, true}, {"TRUE", false, true},
                        {"Truee", false, false}, {"", false, false}};
  for (const Case& c : cases) {
    IniFile file = CompleteSettings();
    file.general["SupressVW"] = c.text;
    file.general["PrepareMsg"] = c.text;
    file.general["RequireReboot"] = c.text;
    ASSERT_TRUE(ReadBack(file));
    EXPECT_EQ(settings_.IsWatcherSuppressed(), c.exactTrue) << c.text;
    EXPECT_EQ(settings_.IsPrepareMsgOn(), c.anyCaseTrue) << c.text;
    EXPECT_EQ(settings_.IsRebootRequired(), c.anyCaseTrue) << c.text;
  }
}

}  // namespace
