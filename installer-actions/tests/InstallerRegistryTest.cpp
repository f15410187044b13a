#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "InstallerTestSupport.h"
#include "platform/registry/XpRegistryTree.h"
#include "platform/testsupport/FaultInjection.h"

namespace installertest {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Utf16Bytes(std::u16string_view text, bool terminated = true) {
  std::vector<uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  if (terminated) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

class InstallerRegistry : public InstallerTest {
 protected:
  XpRegistryStore& Machine() { return XpRegistryStore::ForRoot(XpRegistryRoot::kLocalMachine); }
  void SetText(const XpString& key, const XpString& name, std::u16string_view text, bool terminated = true) {
    ASSERT_EQ(Machine().CreateKey(key), kXpOk);
    ASSERT_EQ(Machine().SetValue(key, name, kXpRegSz, Utf16Bytes(text, terminated)), kXpOk);
  }
  bool ValueExists(const XpString& key, const XpString& name) {
    return Machine().QueryValue(key, name, nullptr, nullptr) == kXpOk;
  }
  fs::path RegistryDir() const { return std::getenv("KAVO_REGISTRY_DIR"); }

  testsupport::FaultInjection faults_;
};

TEST_F(InstallerRegistry, QueryAnswersMoreDataRatherThanPartOfAText) {
  SetText(u"Soft/A", u"v", u"abc");
  auto common = MakeLoggingObject();
  struct Case {
    uint32_t room;
    uint32_t result;
    uint32_t size;
    const char* logged;
  } cases[] = {
      {8, 0, 8, "Insuffisient: 0"},
      {6, 234, 8, "Insuffisient: 1"},
      {0, 234, 8, "Insuffisient: 1"},
  };
  for (const Case& c : cases) {
    fs::remove(LogPath());
    std::vector<uint8_t> buffer(16, 0xEE);
    uint32_t type = 0;
    uint32_t size = c.room;
    EXPECT_EQ(common->QueryLocalMachineValue(u"Soft/A", u"v", &type, buffer.data(), &size), c.result);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(type, kXpRegSz);
    const std::vector<uint8_t> expected =
        c.result == 0 ? Utf16Bytes(u"abc") : std::vector<uint8_t>(8, 0xEE);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 8), expected) << c.room;
    EXPECT_NE(ReadFile(LogPath()).find(c.logged), std::string::npos) << ReadFile(LogPath());
  }
  // The size alone is told without a buffer.
  uint32_t size = 0;
  EXPECT_EQ(common->QueryLocalMachineValue(u"Soft/A", u"v", nullptr, nullptr, &size), 0u);
  EXPECT_EQ(size, 8u);
}

TEST_F(InstallerRegistry, ATextThatFillsTheBufferExactlyDoesNotFit) {
  const std::u16string long260(260, u'p');
  SetText(u"Soft/A", u"path", long260);
  // Stored without its terminator: the reader still gets one.
  SetText(u"Soft/A", u"bare", u"xy", false);
  auto common = MakeObject();
  std::vector<uint8_t> buffer(1024);
  uint32_t size = 520;
  EXPECT_EQ(common->QueryLocalMachineValue(u"Soft/A", u"path", nullptr, buffer.data(), &size), 234u);
  EXPECT_EQ(size, 522u);
  size = 522;
  EXPECT_EQ(common->QueryLocalMachineValue(u"Soft/A", u"path", nullptr, buffer.data(), &size), 0u);
  size = 4;
  EXPECT_EQ(common->QueryLocalMachineValue(u"Soft/A", u"bare", nullptr, buffer.data(), &size), 234u);
  EXPECT_EQ(size, 6u);
  size = 6;
  EXPECT_EQ(common->QueryLocalMachineValue(u"Soft/A", u"bare", nullptr, buffer.data(), &size), 0u);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 6), Utf16Bytes(u"xy"));
}

TEST_F(InstallerRegistry, ResultCodesAndLoggedHandles) {
  auto common = MakeLoggingObject();
  uint32_t size = 8;
  std::vector<uint8_t> buffer(8);
  EXPECT_EQ(common->QueryLocalMachineValue(u"Missing", u"v", nullptr, buffer.data(), &size), 2u);
  EXPECT_EQ(common->OpenRegistryKey(XpRegistryRoot::kLocalMachine, u""), 1010u);
  SetText(u"Soft/A", u"v", u"abc");
  EXPECT_EQ(common->QueryLocalMachineValue(u"Soft/A", u"w", nullptr, buffer.data(), &size), 2u);
  EXPECT_EQ(common->OpenRegistryKey(XpRegistryRoot::kLocalMachine, u"Soft/A"), 0u);
  const std::string log = ReadFile(LogPath());
  EXPECT_NE(log.find("RegOpenKeyEx Return: 2\r\n\tUse Path: Missing\r\n\tKey Hundle: 0\r\n"), std::string::npos);
  EXPECT_NE(log.find("RegOpenKeyEx Return: 1010\r\n\tUse Path: \r\n\tKey Hundle: 0\r\n"), std::string::npos);
  EXPECT_NE(log.find("RegQueryValueEx Return: 2\r\n"), std::string::npos);
  // An open key shows a number other than 0.
  EXPECT_EQ(log.find("Use Path: Soft/A\r\n\tKey Hundle: 0\r\n"), std::string::npos) << log;

  // The classes root is its own root.
  ASSERT_EQ(XpRegistryStore::ForRoot(XpRegistryRoot::kClassesRoot).CreateKey(u"CLSID/x"), kXpOk);
  ASSERT_EQ(XpRegistryStore::ForRoot(XpRegistryRoot::kClassesRoot)
                .SetValue(u"CLSID/x", u"", kXpRegSz, Utf16Bytes(u"srv")),
            kXpOk);
  size = 8;
  EXPECT_EQ(common->QueryClassesRootValue(u"CLSID/x", u"", nullptr, buffer.data(), &size), 0u);
  EXPECT_EQ(common->QueryLocalMachineValue(u"CLSID/x", u"", nullptr, buffer.data(), &size), 2u);

  // An unreadable store.
  WriteFile(RegistryDir() / "HKEY_LOCAL_MACHINE.reg", "not a registry file");
  EXPECT_EQ(common->QueryLocalMachineValue(u"Soft/A", u"v", nullptr, buffer.data(), &size), 1009u);
}

TEST_F(InstallerRegistry, SetListStopsAtTheFirstFailingRow) {
  auto common = MakeLoggingObject();
  const std::u16string text = u"QMV";
  const uint32_t number = 7;
  const std::vector<InstallerRegistryRow> rows = {
      {u"SOFTWARE/Kavo/QMV", u"appname", kXpRegSz, text.c_str(), 8},
      {u"SOFTWARE/Kavo/QMV", u"count", kXpRegDword, &number, sizeof(number)},
      {u"", u"broken", kXpRegSz, text.c_str(), 8},
      {u"SOFTWARE/Kavo/QMV", u"never", kXpRegSz, text.c_str(), 8},
  };
  EXPECT_EQ(common->SetRegistryValueList(rows), 1010u);
  std::vector<uint8_t> data;
  uint32_t type = 0;
  ASSERT_EQ(Machine().QueryValue(u"SOFTWARE/Kavo/QMV", u"appname", &type, &data), kXpOk);
  EXPECT_EQ(data, Utf16Bytes(u"QMV"));
  ASSERT_EQ(Machine().QueryValue(u"SOFTWARE/Kavo/QMV", u"count", &type, &data), kXpOk);
  EXPECT_EQ(type, kXpRegDword);
  EXPECT_FALSE(ValueExists(u"SOFTWARE/Kavo/QMV", u"never"));
  const std::string log = ReadFile(LogPath());
  EXPECT_NE(log.find("RegSetValueEx Return: 0\r\n\tSet Data: QMV\r\n\tSet Data Size: 8\r\n"), std::string::npos);
  EXPECT_NE(log.find("RegSetValueEx Return: 0\r\n\tSet Data: 7\r\n\tSet Data Size: 4\r\n"), std::string::npos);
}

TEST_F(InstallerRegistry, DeleteValueListStopsAfterTheFirstFailure) {
  for (const char16_t* name : {u"one", u"two", u"three"}) SetText(u"Soft/A", name, u"v");
  ASSERT_EQ(Machine().DeleteValue(u"Soft/A", u"two"), kXpOk);
  auto common = MakeLoggingObject();
  const std::vector<InstallerRegistryRow> rows = {
      {u"Soft/A", u"one"}, {u"Soft/A", u"two"}, {u"Soft/A", u"three"}};
  EXPECT_EQ(common->DeleteRegistryValueList(rows), 2u);
  EXPECT_FALSE(ValueExists(u"Soft/A", u"one"));
  EXPECT_TRUE(ValueExists(u"Soft/A", u"three"));
  EXPECT_NE(ReadFile(LogPath()).find("Return Code: 2\r\n\tReg Key: Soft/A\r\n\tReg Name: two\r\n"),
            std::string::npos);
  EXPECT_EQ(common->DeleteRegistryValue(u"Soft/A", u"three"), 0u);
  EXPECT_EQ(common->DeleteRegistryValue(u"Soft/A", u"three"), 2u);
}

TEST_F(InstallerRegistry, DeleteKeyLogsTheSystemMessage) {
  ASSERT_EQ(Machine().CreateKey(u"Soft/A/B"), kXpOk);
  auto common = MakeLoggingObject();
  struct Case {
    const char16_t* key;
    uint32_t result;
    const char* message;
  } cases[] = {
      {u"Soft/A", 5, "Directory not empty"},
      {u"Soft/Missing", 2, "No such file or directory"},
      {u"", 1010, "Invalid argument"},
      {u"Soft/A/B", 0, "Success"},
  };
  for (const Case& c : cases) {
    fs::remove(LogPath());
    EXPECT_EQ(common->DeleteRegistryKey(c.key), c.result);
    EXPECT_EQ(ReadFile(LogPath()),
              std::string("[2026/01/02 03:04:05] : [checkInvalidPathString]\r\n\t") + c.message + "\r\n");
  }
  EXPECT_FALSE(Machine().KeyExists(u"Soft/A/B"));
  EXPECT_TRUE(Machine().KeyExists(u"Soft/A"));
}

TEST_F(InstallerRegistry, EveryoneGrantIsStoredOnceAndFailuresAreReported) {
  auto common = MakeLoggingObject();
  testing::internal::CaptureStderr();
  EXPECT_EQ(common->ChangeRegistrySecurityEveryOne(XpRegistryRoot::kLocalMachine, u"Soft/Missing"), 2u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "RegOpenKeyEx error! (rc=2)\n");
  EXPECT_FALSE(fs::exists(LogPath()));

  ASSERT_EQ(Machine().CreateKey(u"Soft/Settings"), kXpOk);
  EXPECT_EQ(common->ChangeRegistrySecurityEveryOne(XpRegistryRoot::kLocalMachine, u"Soft/Settings"), 0u);
  EXPECT_EQ(common->ChangeRegistrySecurityEveryOne(XpRegistryRoot::kLocalMachine, u"Soft/Settings"), 0u);
  // Read back as another process would: from the file.
  const std::string file = ReadFile(RegistryDir() / "HKEY_LOCAL_MACHINE.reg");
  const std::string grant = ";grant \"EVERYONE\" 001f01ff 3\n";
  EXPECT_NE(file.find("[HKEY_LOCAL_MACHINE\\Soft\\Settings]\n" + grant), std::string::npos) << file;
  EXPECT_EQ(file.find(grant), file.rfind(grant));
  WriteFile(RegistryDir() / "HKEY_LOCAL_MACHINE.reg", file + "\n");
  std::vector<XpRegGrant> grants;
  ASSERT_EQ(Machine().QueryGrants(u"Soft/Settings", &grants), kXpOk);
  EXPECT_EQ(grants, (std::vector<XpRegGrant>{{u"EVERYONE", 0x1F01FF, 3}}));

  ASSERT_EQ(Machine().CreateKey(u"Soft/Other"), kXpOk);
  faults_.Add(testsupport::Fault(testsupport::SysCall::kRename, RegistryDir().string()).Errno(EACCES));
  EXPECT_EQ(common->ChangeRegistrySecurityEveryOne(XpRegistryRoot::kLocalMachine, u"Soft/Other"), 5u);
  faults_.Clear();
  ASSERT_EQ(Machine().QueryGrants(u"Soft/Other", &grants), kXpOk);
  EXPECT_TRUE(grants.empty());
  EXPECT_FALSE(fs::exists(LogPath()));
}

TEST_F(InstallerRegistry, SubkeyAndValuePresence) {
  auto common = MakeObject();
  ASSERT_EQ(Machine().CreateKey(u"Soft/A/B"), kXpOk);
  SetText(u"Soft/V", u"v", u"x");
  struct Case {
    const char16_t* key;
    bool hasSubKey;
    bool hasValue;
  } cases[] = {
      {u"", false, false},
      {u"Soft/Missing", false, false},
      {u"Soft/A", true, false},
      {u"Soft/A/B", false, false},
      {u"Soft/V", false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(common->HasSubKey(XpRegistryRoot::kLocalMachine, c.key), c.hasSubKey)
        << XpString(c.key).ToMultiByte().ToStdString();
    EXPECT_EQ(common->HasValue(XpRegistryRoot::kLocalMachine, c.key), c.hasValue)
        << XpString(c.key).ToMultiByte().ToStdString();
  }
}

}  // namespace
}  // namespace installertest
