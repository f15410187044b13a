#include "platform/registry/XpRegistryStore.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs/XpSysCalls.h"
#include "platform/registry/XpRegistryText.h"
#include "platform/registry/XpRegistryTree.h"
#include "platform/testsupport/AgedFiles.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n";

Bytes TextBytes(std::u16string_view text) {
  Bytes bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

Bytes DwordBytes(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Replaces the file the way another program would: a new file renamed over.
void ReplaceText(const fs::path& path, const std::string& text) {
  const fs::path temp = path.string() + ".new";
  std::ofstream(temp, std::ios::binary) << text;
  ASSERT_EQ(XpSysCalls::Posix().Rename(temp.c_str(), path.c_str(), 0), 0);
}

class RegistryStoreFixture : public testsupport::HermeticTest {
 protected:
  ::XpRegistryStore& User() { return ::XpRegistryStore::ForRoot(XpRegistryRoot::kCurrentUser); }
  ::XpRegistryStore& Machine() { return ::XpRegistryStore::ForRoot(XpRegistryRoot::kLocalMachine); }
  fs::path RegistryDir() const { return std::getenv("KAVO_REGISTRY_DIR"); }
  fs::path UserFile() const { return RegistryDir() / "HKEY_CURRENT_USER.reg"; }
  std::vector<std::string> FilesInRegistryDir() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(RegistryDir())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  Bytes ValueOf(const XpString& key, const XpString& name, uint32_t* type = nullptr) {
    Bytes data;
    uint32_t ignored = 0;
    EXPECT_EQ(User().QueryValue(key, name, type != nullptr ? type : &ignored, &data), kXpOk)
        << testing::PrintToString(key) << " " << testing::PrintToString(name);
    return data;
  }

  testsupport::FaultInjection faults_;
};
using XpRegistryStore = RegistryStoreFixture;

TEST_F(XpRegistryStore, LocatesItsFilesFromTheEnvironment) {
  EXPECT_EQ(User().FilePath(), UserFile().string());
  EXPECT_EQ(Machine().FilePath(), (RegistryDir() / "HKEY_LOCAL_MACHINE.reg").string());
  EXPECT_EQ(::XpRegistryStore::ForRoot(XpRegistryRoot::kClassesRoot).FilePath(),
            (RegistryDir() / "HKEY_CLASSES_ROOT.reg").string());

  SetEnv("KAVO_REGISTRY_DIR", "");
  const fs::path config = std::getenv("XDG_CONFIG_HOME");
  const fs::path userFile = config / "kavo/registry/HKEY_CURRENT_USER.reg";
  EXPECT_EQ(User().FilePath(), userFile.string());
  EXPECT_EQ(Machine().FilePath(), "/var/lib/kavo/registry/HKEY_LOCAL_MACHINE.reg");
  EXPECT_EQ(::XpRegistryStore::ForRoot(XpRegistryRoot::kClassesRoot).FilePath(),
            "/var/lib/kavo/registry/HKEY_CLASSES_ROOT.reg");

  // The user's folder is made on the first change, and the file is private.
  ASSERT_EQ(User().CreateKey(u"Software"), kXpOk);
  ASSERT_TRUE(fs::exists(userFile));
  EXPECT_EQ(fs::status(userFile).permissions() & fs::perms::all, fs::perms(0600));

  SetEnv("XDG_CONFIG_HOME", "");
  EXPECT_EQ(User().FilePath(),
            (fs::path(std::getenv("HOME")) / ".config/kavo/registry/HKEY_CURRENT_USER.reg").string());
}

TEST_F(XpRegistryStore, MissingFileIsAnEmptyRoot) {
  EXPECT_TRUE(User().KeyExists(u""));
  EXPECT_FALSE(User().KeyExists(u"Software"));
  XpStringVector names{u"stale"};
  EXPECT_EQ(User().EnumSubkeys(u"", &names), kXpOk);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(User().QueryValue(u"", u"x", nullptr, nullptr), kXpErrFileNotFound);
  EXPECT_EQ(User().SetValue(u"Software", u"x", kXpRegDword, DwordBytes(1)), kXpErrFileNotFound);
  EXPECT_FALSE(fs::exists(UserFile()));
}

TEST_F(XpRegistryStore, WritesTheExportFormat) {
  ASSERT_EQ(User().CreateKey(u"Software\\A\\Empty"), kXpOk);
  ASSERT_EQ(User().SetValue(u"Software\\A", u"Name", kXpRegSz, TextBytes(u"say \"hi\" C:\\x")), kXpOk);
  ASSERT_EQ(User().SetValue(u"Software/A", u"", kXpRegSz, TextBytes(u"default")), kXpOk);
  ASSERT_EQ(User().SetValue(u"Software\\A", u"Count", kXpRegDword, DwordBytes(10)), kXpOk);
  ASSERT_EQ(User().SetValue(u"Software\\A", u"Data", kXpRegBinary, {0x00, 0x01, 0xfe, 0xff}), kXpOk);
  ASSERT_EQ(User().SetValue(u"Software\\A", u"Path", kXpRegExpandSz, TextBytes(u"%")), kXpOk);
  ASSERT_EQ(User().SetValue(u"Software\\A", u"List", kXpRegMultiSz, {0x61, 0, 0, 0, 0, 0}), kXpOk);
  ASSERT_EQ(User().SetValue(u"Software\\A", u"Big", kXpRegQword, {1, 0, 0, 0, 0, 0, 0, 0}), kXpOk);
  ASSERT_EQ(User().SetValue(u"Software\\A", u"Lines", kXpRegSz, TextBytes(u"a\nb")), kXpOk);
  ASSERT_EQ(User().SetValue(u"", u"AtRoot", kXpRegDword, DwordBytes(0xFFFFFFFF)), kXpOk);
  EXPECT_EQ(ReadText(UserFile()), std::string(kHeader) +
                                      "\n"
                                      "[HKEY_CURRENT_USER]\n"
                                      "\"AtRoot\"=dword:ffffffff\n"
                                      "\n"
                                      "[HKEY_CURRENT_USER\\Software]\n"
                                      "\n"
                                      "[HKEY_CURRENT_USER\\Software\\A]\n"
                                      "\"Name\"=\"say \\\"hi\\\" C:\\\\x\"\n"
                                      "@=\"default\"\n"
                                      "\"Count\"=dword:0000000a\n"
                                      "\"Data\"=hex:00,01,fe,ff\n"
                                      "\"Path\"=hex(2):25,00,00,00\n"
                                      "\"List\"=hex(7):61,00,00,00,00,00\n"
                                      "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"
                                      "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00\n"
                                      "\n"
                                      "[HKEY_CURRENT_USER\\Software\\A\\Empty]\n"
                                      "\n");
  EXPECT_EQ(FilesInRegistryDir(),
            (std::vector<std::string>{"HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER.reg.lock"}));
}

TEST_F(XpRegistryStore, EveryValueReadsBackIdenticalFromTheFile) {
  Bytes longBinary;
  for (int i = 0; i < 100; ++i) longBinary.push_back(static_cast<uint8_t>(i * 7));
  const struct {
    const char16_t* name;
    uint32_t type;
    Bytes data;
  } values[] = {
      {u"Text", kXpRegSz, TextBytes(u"Größe 日本 \U0001F600")},
      {u"Empty", kXpRegSz, TextBytes(u"")},
      {u"", kXpRegSz, TextBytes(u"the default")},
      {u"@", kXpRegSz, TextBytes(u"a value named @")},
      {u"quote\"back\\slash", kXpRegSz, TextBytes(u"\\\"")},
      {u"CarriageReturn", kXpRegSz, TextBytes(u"a\rb")},
      {u"LoneSurrogate", kXpRegSz, TextBytes(u"a\xD800" u"b")},
      {u"OddSize", kXpRegSz, {0x61, 0x00, 0x62}},
      {u"NoSize", kXpRegSz, {}},
      {u"Dword", kXpRegDword, DwordBytes(0x12345678)},
      {u"ShortDword", kXpRegDword, {0x01, 0x02}},
      {u"Binary", kXpRegBinary, {}},
      {u"LongBinary", kXpRegBinary, longBinary},
      {u"Expand", kXpRegExpandSz, TextBytes(u"%HOME%/x")},
      {u"Multi", kXpRegMultiSz, {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}},
      {u"Qword", kXpRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
      {u"TypeNone", kXpRegNone, {9}},
      {u"TypeLarge", 0x12345, {0xAB}},
  };
  ASSERT_EQ(User().CreateKey(u"Software\\Kinds"), kXpOk);
  for (const auto& value : values) {
    ASSERT_EQ(User().SetValue(u"Software\\Kinds", value.name, value.type, value.data), kXpOk)
        << testing::PrintToString(XpString(value.name));
  }
  // A copy of the file, put back by rename, makes the store load it afresh.
  const std::string written = ReadText(UserFile());
  ReplaceText(UserFile(), written);
  XpStringVector names;
  ASSERT_EQ(User().EnumValues(u"Software\\Kinds", &names), kXpOk);
  ASSERT_EQ(names.size(), std::size(values));
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(names[i], XpString(values[i].name));
    uint32_t type = 0;
    EXPECT_EQ(ValueOf(u"Software\\Kinds", values[i].name, &type), values[i].data) << i;
    EXPECT_EQ(type, values[i].type) << i;
  }
  // And the text is a fixed point of reading and writing.
  XpRegKey reread(XpString{});
  ASSERT_EQ(XpRegistryText::Parse(written, u"HKEY_CURRENT_USER", reread), kXpOk);
  EXPECT_EQ(XpRegistryText::Write(reread, u"HKEY_CURRENT_USER"), written);
  EXPECT_NE(written.find("\\\n  "), std::string::npos) << "long binary data is wrapped";
}

TEST_F(XpRegistryStore, ReadsAHandWrittenFile) {
  std::ofstream(UserFile(), std::ios::binary)
      << "\xEF\xBB\xBF" "Windows Registry Editor Version 5.00\r\n"
         "\r\n"
         "; written by hand\r\n"
         "[HKEY_CURRENT_USER\\Software\\A\\B]\r\n"
         "\"Deep\"=dword:7\r\n"
         "[hkey_current_user\\software\\a]\r\n"
         "\"Bytes\" = hex:01,02,\\\r\n"
         "    03,FF\r\n"
         "\"Text\"=\"x\\\\y\"   \r\n"
         "\"Multi\"=hex(7):61,00,00,00,\\\r\n"
         "  00,00\r\n";
  EXPECT_EQ(ValueOf(u"Software\\A\\B", u"deep"), DwordBytes(7));
  EXPECT_EQ(ValueOf(u"Software\\A", u"Bytes"), (Bytes{1, 2, 3, 0xFF}));
  EXPECT_EQ(ValueOf(u"Software\\A", u"Text"), TextBytes(u"x\\y"));
  EXPECT_EQ(ValueOf(u"Software\\A", u"Multi"), (Bytes{0x61, 0, 0, 0, 0, 0}));
  XpStringVector names;
  ASSERT_EQ(User().EnumSubkeys(u"", &names), kXpOk);
  EXPECT_EQ(names, XpStringVector{u"Software"});
  ASSERT_EQ(User().EnumSubkeys(u"SOFTWARE", &names), kXpOk);
  EXPECT_EQ(names, XpStringVector{u"A"});
}

TEST_F(XpRegistryStore, NeverOverwritesAFileItCannotRead) {
  const char* bodies[] = {
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n",
      "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n",
      "Windows Registry Editor Version 5.00\n\"x\"=dword:1\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:123456789\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"open\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:1g\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n\"x\"=-\n",
      "Windows Registry Editor Version 5.00\n[-HKEY_CURRENT_USER\\A]\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A\n",
  };
  for (const char* body : bodies) {
    ReplaceText(UserFile(), body);
    EXPECT_FALSE(User().KeyExists(u"A")) << body;
    EXPECT_EQ(User().QueryValue(u"A", u"x", nullptr, nullptr), kXpErrInvalidFile) << body;
    EXPECT_EQ(User().CreateKey(u"A"), kXpErrInvalidFile) << body;
    EXPECT_EQ(ReadText(UserFile()), body);
  }
}

TEST_F(XpRegistryStore, NamesMatchWithoutCaseAndKeepTheirCaseAndOrder) {
  ASSERT_EQ(User().CreateKey(u"Software\\Zeta"), kXpOk);
  ASSERT_EQ(User().CreateKey(u"software\\alpha"), kXpOk);
  ASSERT_EQ(User().CreateKey(u"SOFTWARE/Mid/"), kXpOk);
  ASSERT_EQ(User().SetValue(u"Software", u"B", kXpRegDword, DwordBytes(1)), kXpOk);
  ASSERT_EQ(User().SetValue(u"Software", u"a", kXpRegDword, DwordBytes(2)), kXpOk);
  ASSERT_EQ(User().SetValue(u"SOFTWARE", u"b", kXpRegDword, DwordBytes(3)), kXpOk);

  XpStringVector names;
  ASSERT_EQ(User().EnumSubkeys(u"", &names), kXpOk);
  EXPECT_EQ(names, XpStringVector{u"Software"});
  ASSERT_EQ(User().EnumSubkeys(u"\\software\\", &names), kXpOk);
  EXPECT_EQ(names, (XpStringVector{u"Zeta", u"alpha", u"Mid"}));
  ASSERT_EQ(User().EnumValues(u"Software", &names), kXpOk);
  EXPECT_EQ(names, (XpStringVector{u"B", u"a"}));
  EXPECT_EQ(ValueOf(u"software", u"B"), DwordBytes(3));
  EXPECT_EQ(User().EnumValues(u"Software\\None", &names), kXpErrFileNotFound);
}

TEST_F(XpRegistryStore, DeletesKeysAndValues) {
  ASSERT_EQ(User().CreateKey(u"A\\B\\C"), kXpOk);
  ASSERT_EQ(User().SetValue(u"A", u"v", kXpRegDword, DwordBytes(1)), kXpOk);
  EXPECT_EQ(User().DeleteKey(u"A\\B"), kXpErrDirNotEmpty);
  EXPECT_TRUE(User().KeyExists(u"A\\B\\C"));
  EXPECT_EQ(User().DeleteKey(u"a\\b\\c"), kXpOk);
  EXPECT_EQ(User().DeleteKey(u"A\\B\\C"), kXpErrFileNotFound);
  EXPECT_EQ(User().DeleteKey(u"A\\B"), kXpOk);
  EXPECT_EQ(User().DeleteKey(u""), kXpErrBadArgument);

  ASSERT_EQ(User().CreateKey(u"T\\U\\V"), kXpOk);
  EXPECT_EQ(User().DeleteKeyTree(u"t/u"), kXpOk);
  EXPECT_TRUE(User().KeyExists(u"T"));
  EXPECT_FALSE(User().KeyExists(u"T\\U"));
  EXPECT_EQ(User().DeleteKeyTree(u"T\\U"), kXpErrFileNotFound);
  EXPECT_EQ(User().DeleteKeyTree(u"/"), kXpErrBadArgument);
  EXPECT_TRUE(User().KeyExists(u"A"));

  EXPECT_EQ(User().DeleteValue(u"A", u"V"), kXpOk);
  EXPECT_EQ(User().DeleteValue(u"A", u"v"), kXpErrFileNotFound);
  EXPECT_EQ(User().DeleteValue(u"Missing", u"v"), kXpErrFileNotFound);
  EXPECT_EQ(ReadText(UserFile()), std::string(kHeader) +
                                      "\n[HKEY_CURRENT_USER\\A]\n\n[HKEY_CURRENT_USER\\T]\n\n");
}

TEST_F(XpRegistryStore, RefusesNamesTheFileCannotHold) {
  EXPECT_EQ(User().CreateKey(u"A\nB"), kXpErrBadArgument);
  ASSERT_EQ(User().CreateKey(u"A"), kXpOk);
  EXPECT_EQ(User().SetValue(u"A", u"two\nlines", kXpRegDword, DwordBytes(1)), kXpErrBadArgument);
  EXPECT_EQ(User().SetValue(u"A", u"lone\xDA00", kXpRegDword, DwordBytes(1)), kXpErrBadArgument);
  XpStringVector names;
  ASSERT_EQ(User().EnumValues(u"A", &names), kXpOk);
  EXPECT_TRUE(names.empty());
}

TEST_F(XpRegistryStore, ReloadsWhenTheFileChanges) {
  ASSERT_EQ(User().CreateKey(u"A"), kXpOk);
  ASSERT_EQ(User().SetValue(u"A", u"v", kXpRegDword, DwordBytes(1)), kXpOk);
  ReplaceText(UserFile(), std::string(kHeader) + "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:00000002\n");
  EXPECT_EQ(ValueOf(u"A", u"v"), DwordBytes(2));
  // An edit in place is seen as well.
  std::ofstream(UserFile(), std::ios::binary | std::ios::trunc)
      << kHeader << "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:00000003\n\"w\"=dword:4\n";
  EXPECT_EQ(ValueOf(u"A", u"w"), DwordBytes(4));
  // A change is made to the file as it is now.
  ASSERT_EQ(User().SetValue(u"A", u"x", kXpRegDword, DwordBytes(5)), kXpOk);
  EXPECT_EQ(ReadText(UserFile()), std::string(kHeader) +
                                      "\n[HKEY_CURRENT_USER\\A]\n\"v\"=dword:00000003\n"
                                      "\"w\"=dword:00000004\n\"x\"=dword:00000005\n\n");
  fs::remove(UserFile());
  EXPECT_FALSE(User().KeyExists(u"A"));
}

TEST_F(XpRegistryStore, RefusedWriteChangesNothing) {
  ASSERT_EQ(User().CreateKey(u"A"), kXpOk);
  ASSERT_EQ(User().SetValue(u"A", u"v", kXpRegDword, DwordBytes(1)), kXpOk);
  const std::string before = ReadText(UserFile());

  // Access errors stop a change before it is made; a failed save takes back
  // the change it had made in memory.
  using testsupport::SysCall;
  const struct {
    SysCall call;
    int error;
    XpResult result;
    XpResult existingKeyResult;
  } faults[] = {
      {SysCall::kAccess, EACCES, kXpErrAccessDenied, kXpErrAccessDenied},
      {SysCall::kAccess, EROFS, kXpErrAccessDenied, kXpErrAccessDenied},
      {SysCall::kWrite, ENOSPC, kXpErrDiskFull, kXpOk},
      {SysCall::kWrite, EIO, kXpErrDeviceNotReady, kXpOk},
      {SysCall::kFsync, EIO, kXpErrDeviceNotReady, kXpOk},
      {SysCall::kRename, EROFS, kXpErrAccessDenied, kXpOk},
  };
  for (const auto& fault : faults) {
    faults_.Clear();
    faults_.Add(testsupport::Fault(fault.call, RegistryDir().string()).Errno(fault.error));
    EXPECT_EQ(User().SetValue(u"A", u"v", kXpRegDword, DwordBytes(2)), fault.result);
    EXPECT_EQ(User().SetValue(u"A", u"w", kXpRegDword, DwordBytes(2)), fault.result);
    EXPECT_EQ(User().CreateKey(u"A"), fault.existingKeyResult);
    EXPECT_EQ(User().CreateKey(u"B"), fault.result);
    EXPECT_EQ(User().DeleteKeyTree(u"A"), fault.result);
    EXPECT_EQ(ValueOf(u"A", u"v"), DwordBytes(1)) << fault.error;
    EXPECT_EQ(User().QueryValue(u"A", u"w", nullptr, nullptr), kXpErrFileNotFound) << fault.error;
    EXPECT_FALSE(User().KeyExists(u"B")) << fault.error;
    EXPECT_TRUE(User().KeyExists(u"A")) << fault.error;
    EXPECT_EQ(ReadText(UserFile()), before);
  }
  faults_.Clear();
  EXPECT_EQ(User().SetValue(u"A", u"v", kXpRegDword, DwordBytes(2)), kXpOk);
  EXPECT_EQ(ValueOf(u"A", u"v"), DwordBytes(2));
  EXPECT_EQ(FilesInRegistryDir(),
            (std::vector<std::string>{"HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER.reg.lock"}));
}

TEST_F(XpRegistryStore, GrantsAreCommentLinesThatEveryRewriteKeeps) {
  const XpRegGrant everyone{u"EVERYONE", 0x1F01FF, kXpRegInheritObjects | kXpRegInheritContainers};
  EXPECT_EQ(User().SetGrant(u"Missing", everyone), kXpErrFileNotFound);
  ASSERT_EQ(User().CreateKey(u"A\\B"), kXpOk);
  EXPECT_EQ(User().SetGrant(u"A\\B", XpRegGrant{u"", 1, 0}), kXpErrBadArgument);
  ASSERT_EQ(User().SetGrant(u"A\\B", everyone), kXpOk);
  // Set again, or under another case of the name: still one grant.
  ASSERT_EQ(User().SetGrant(u"A\\B", everyone), kXpOk);
  ASSERT_EQ(User().SetGrant(u"a/b", XpRegGrant{u"everyone", 0x20019, 0}), kXpOk);
  ASSERT_EQ(User().SetValue(u"A\\B", u"v", kXpRegDword, DwordBytes(1)), kXpOk);
  EXPECT_EQ(ReadText(UserFile()), std::string(kHeader) +
                                      "\n[HKEY_CURRENT_USER\\A]\n\n"
                                      "[HKEY_CURRENT_USER\\A\\B]\n;grant \"everyone\" 00020019 0\n"
                                      "\"v\"=dword:00000001\n\n");
  ASSERT_EQ(User().SetGrant(u"A\\B", everyone), kXpOk);

  // Read back from the file as another program wrote it; malformed grant
  // lines are plain comments.
  ReplaceText(UserFile(), std::string(kHeader) +
                              "[HKEY_CURRENT_USER\\A\\B]\n;grant \"EVERYONE\" 001f01ff 3\n"
                              ";grant \"X\" 1f01ff\n;grant Y 1 2\n;grant \"Z\" 1 -2\n"
                              "\"v\"=dword:00000001\n");
  std::vector<XpRegGrant> grants;
  ASSERT_EQ(User().QueryGrants(u"A\\B", &grants), kXpOk);
  EXPECT_EQ(grants, std::vector<XpRegGrant>{everyone});
  EXPECT_EQ(User().QueryGrants(u"Missing", &grants), kXpErrFileNotFound);
  ASSERT_EQ(User().CreateKey(u"C"), kXpOk);
  EXPECT_NE(ReadText(UserFile()).find("[HKEY_CURRENT_USER\\A\\B]\n;grant \"EVERYONE\" 001f01ff 3\n"),
            std::string::npos);

  faults_.Add(testsupport::Fault(testsupport::SysCall::kAccess, RegistryDir().string()).Errno(EACCES));
  EXPECT_EQ(User().SetGrant(u"C", everyone), kXpErrAccessDenied);
  faults_.Clear();
  ASSERT_EQ(User().QueryGrants(u"C", &grants), kXpOk);
  EXPECT_TRUE(grants.empty());
}

TEST_F(XpRegistryStore, ChangesOfAnotherProcessAreSeenAndKept) {
  ASSERT_EQ(User().CreateKey(u"Shared"), kXpOk);
  ASSERT_EQ(User().SetValue(u"Shared", u"parent", kXpRegDword, DwordBytes(1)), kXpOk);

  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([](testsupport::ChildChannel&) {
    auto& store = ::XpRegistryStore::ForRoot(XpRegistryRoot::kCurrentUser);
    return store.SetValue(u"Shared", u"child", kXpRegSz, TextBytes(u"from the child")) == kXpOk ? 0 : 1;
  }));
  ASSERT_EQ(child.Wait(), 0);

  EXPECT_EQ(ValueOf(u"Shared", u"child"), TextBytes(u"from the child"));
  ASSERT_EQ(User().SetValue(u"Shared", u"later", kXpRegDword, DwordBytes(2)), kXpOk);
  XpStringVector names;
  ASSERT_EQ(User().EnumValues(u"Shared", &names), kXpOk);
  EXPECT_EQ(names, (XpStringVector{u"parent", u"child", u"later"}));
}

TEST_F(XpRegistryStore, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kWriters = 2;
  constexpr int kValuesEach = 200;
  ASSERT_EQ(User().CreateKey(u"Race"), kXpOk);

  testsupport::ForkedChild children[kWriters];
  for (int writer = 0; writer < kWriters; ++writer) {
    ASSERT_TRUE(children[writer].Start([writer](testsupport::ChildChannel& channel) {
      auto& store = ::XpRegistryStore::ForRoot(XpRegistryRoot::kCurrentUser);
      channel.SignalReady();
      channel.WaitForGo();
      for (int i = 0; i < kValuesEach; ++i) {
        XpString name;
        EXPECT_EQ(name.Format(u"w%d_%d", writer, i), kXpOk);
        if (store.SetValue(u"Race", name, kXpRegDword, DwordBytes(writer * 1000 + i)) != kXpOk) return 1;
      }
      return 0;
    }));
  }
  for (auto& child : children) ASSERT_TRUE(child.WaitReady());
  for (auto& child : children) child.LetGo();
  for (auto& child : children) EXPECT_EQ(child.Wait(), 0);

  XpStringVector names;
  ASSERT_EQ(User().EnumValues(u"Race", &names), kXpOk);
  EXPECT_EQ(names.size(), static_cast<size_t>(kWriters * kValuesEach));
  for (int writer = 0; writer < kWriters; ++writer) {
    for (int i = 0; i < kValuesEach; ++i) {
      XpString name;
      EXPECT_EQ(name.Format(u"w%d_%d", writer, i), kXpOk);
      Bytes data;
      ASSERT_EQ(User().QueryValue(u"Race", name, nullptr, &data), kXpOk) << writer << " " << i;
      EXPECT_EQ(data, DwordBytes(writer * 1000 + i));
    }
  }
}

TEST_F(XpRegistryStore, AWriterKilledAtAnyMomentLeavesAFileWithEveryAcknowledgedValueKill) {
  constexpr int kKills = 10;
  ASSERT_EQ(User().CreateKey(u"K"), kXpOk);
  // The user's own file beside the registry, old enough to look stale.
  const fs::path notes = RegistryDir() / ".notes.tmp";
  std::ofstream(notes) << "mine";
  std::random_device seeds;
  const unsigned seed = seeds();
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> moment(0, 150);
  for (int kill = 0; kill < kKills; ++kill) {
    int acks[2];
    ASSERT_EQ(::pipe2(acks, O_CLOEXEC), 0);
    testsupport::ForkedChild child;
    // The child sets values one after another and acknowledges each that
    // was set by writing its number.
    ASSERT_TRUE(child.Start([&](testsupport::ChildChannel& channel) {
      auto& store = ::XpRegistryStore::ForRoot(XpRegistryRoot::kCurrentUser);
      channel.SignalReady();
      for (int32_t i = 0;; ++i) {
        XpString name;
        EXPECT_EQ(name.Format(u"v%d_%d", kill, i), kXpOk);
        if (store.SetValue(u"K", name, kXpRegDword, DwordBytes(static_cast<uint32_t>(i))) != kXpOk) {
          return 1;
        }
        if (XpSysCalls::Posix().Write(acks[1], &i, sizeof i) != static_cast<ssize_t>(sizeof i)) return 2;
      }
    }));
    ASSERT_EQ(XpSysCalls::Posix().Close(acks[1]), 0);
    ASSERT_TRUE(child.WaitReady());
    std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
    child.Kill();
    EXPECT_EQ(child.Wait(), -1) << "the writer failed before the kill";
    std::vector<int32_t> acknowledged;
    int32_t number = 0;
    while (XpSysCalls::Posix().Read(acks[0], &number, sizeof number) == sizeof number) {
      acknowledged.push_back(number);
    }
    ASSERT_EQ(XpSysCalls::Posix().Close(acks[0]), 0);

    XpRegKey root{XpString()};
    ASSERT_EQ(XpRegistryText::Parse(ReadText(UserFile()), u"HKEY_CURRENT_USER", root), kXpOk)
        << "seed " << seed << ", kill " << kill;
    const XpRegKey* key = root.Find(u"K");
    ASSERT_NE(key, nullptr);
    for (int32_t i : acknowledged) {
      XpString name;
      EXPECT_EQ(name.Format(u"v%d_%d", kill, i), kXpOk);
      const XpRegValue* value = key->FindValue(name);
      ASSERT_NE(value, nullptr) << "seed " << seed << ", kill " << kill << ", value " << i;
      EXPECT_EQ(value->data, DwordBytes(static_cast<uint32_t>(i)));
    }
  }
  // The next save clears what a killed writer left, and nothing else.
  testsupport::AgedFiles aged(".notes.tmp", std::chrono::seconds(120));
  ASSERT_EQ(User().SetValue(u"K", u"after", kXpRegDword, DwordBytes(1)), kXpOk);
  EXPECT_EQ(FilesInRegistryDir(), (std::vector<std::string>{".notes.tmp", "HKEY_CURRENT_USER.reg",
                                                            "HKEY_CURRENT_USER.reg.lock"}));
  EXPECT_EQ(ReadText(notes), "mine");
}

}  // namespace
