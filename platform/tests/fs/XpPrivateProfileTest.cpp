#include "platform/fs/XpPrivateProfile.h"

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/fs/FsTestFiles.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

using fstest::ToXp;
using fstest::WriteBytes;
using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;

constexpr uint32_t kRoomy = 261;

const char* const kSample =
    "; install set\r\n"
    "Orphan=before any section\r\n"
    "[ General ]\r\n"
    "  InstallerID =  ABC-1  \r\n"
    "Target = \"QMV.msi\" \r\n"
    "Single='quoted'\r\n"
    "Mixed=\"half'\r\n"
    "Inner=a \"b\" c\r\n"
    "Equals=x=y\r\n"
    "Empty=\r\n"
    "Quotes=\"\"\r\n"
    ";Commented=yes\r\n"
    "   ; Indented=comment\r\n"
    "NoAssign\r\n"
    "InstallerID=second\r\n"
    "[Bootstrap]\n"
    "ProductName=QMV\n"
    "Tabbed\t=\tvalue\t\n"
    "[General]\r"
    "Late=in a second section\r";

// UTF-16LE with its byte-order mark.
std::string Utf16Le(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

class XpPrivateProfile : public testsupport::HermeticTest {
 protected:
  XpString Write(const std::string& name, const std::string& bytes) {
    WriteBytes(Root() / name, bytes);
    return ToXp(Root() / name);
  }
  static XpString Get(const XpString& path, const char16_t* section, const char16_t* key,
                      uint32_t capacity = kRoomy, const char16_t* fallback = u"<default>") {
    return XpGetPrivateProfileString(section, key, fallback, capacity, path);
  }
};

TEST_F(XpPrivateProfile, FindsTrimmedAndUnquotedValues) {
  const XpString path = Write("setup.ini", kSample);
  struct Case {
    const char16_t* section;
    const char16_t* key;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"General", u"InstallerID", u"ABC-1"},
      {u"general", u"installerid", u"ABC-1"},
      {u"  GENERAL ", u" InstallerId\t", u"ABC-1"},
      {u"General", u"Target", u"QMV.msi"},
      {u"General", u"Single", u"quoted"},
      {u"General", u"Mixed", u"\"half'"},
      {u"General", u"Inner", u"a \"b\" c"},
      {u"General", u"Equals", u"x=y"},
      {u"General", u"Empty", u""},
      {u"General", u"Quotes", u""},
      {u"General", u"Late", u"in a second section"},
      {u"Bootstrap", u"ProductName", u"QMV"},
      {u"Bootstrap", u"Tabbed", u"value"},
      // Comments, lines without '=', keys outside any section and keys of
      // another section are not found.
      {u"General", u"Commented", u"<default>"},
      {u"General", u";Commented", u"<default>"},
      {u"General", u"Indented", u"<default>"},
      {u"General", u"NoAssign", u"<default>"},
      {u"General", u"Orphan", u"<default>"},
      {u"", u"Orphan", u"<default>"},
      {u"General", u"ProductName", u"<default>"},
      {u"Missing", u"InstallerID", u"<default>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Get(path, c.section, c.key), c.expected)
        << fstest::ToUtf8(c.section) << "/" << fstest::ToUtf8(c.key);
  }
}

TEST_F(XpPrivateProfile, Utf16FileReadsAsTheUtf8One) {
  const XpString utf8 = Write("utf8.ini", std::string("\xEF\xBB\xBF") + kSample +
                                              "\nName=caf\xC3\xA9\n");
  std::u16string text;
  for (const char* ch = kSample; *ch != '\0'; ++ch) text += static_cast<char16_t>(*ch);
  text += u"\nName=caf\u00E9\n";
  const XpString utf16 = Write("utf16.ini", Utf16Le(text));
  const char16_t* const keys[] = {u"InstallerID", u"Target", u"Late", u"Name", u"Missing"};
  for (const char16_t* key : keys) {
    EXPECT_EQ(Get(utf16, u"General", key), Get(utf8, u"General", key)) << fstest::ToUtf8(key);
  }
  EXPECT_EQ(Get(utf16, u"General", u"Name"), u"caf\u00E9");
  EXPECT_EQ(Get(utf16, u"Bootstrap", u"ProductName"), u"QMV");
}

TEST_F(XpPrivateProfile, ValueAndDefaultAreCutToCapacityLessOne) {
  const XpString path = Write("cut.ini", "[S]\nKey=" + std::string(300, 'x') + "\n");
  struct Case {
    uint32_t capacity;
    int32_t length;
  };
  const Case cases[] = {{261, 260}, {260, 259}, {301, 300}, {500, 300}, {2, 1}, {1, 0}, {0, 0}};
  for (const Case& c : cases) {
    const XpString value = Get(path, u"S", u"Key", c.capacity);
    EXPECT_EQ(value.GetLength(), c.length) << c.capacity;
    EXPECT_EQ(value, XpString(std::u16string(static_cast<size_t>(c.length), u'x')));
  }
  EXPECT_EQ(Get(path, u"S", u"Other", 4, u"fallback"), u"fal");
  EXPECT_EQ(Get(path, u"S", u"Other", 0, u"fallback"), u"");
}

TEST_F(XpPrivateProfile, UnreadableFilesGiveTheDefault) {
  EXPECT_EQ(Get(ToXp(Root() / "missing.ini"), u"S", u"Key"), u"<default>");
  std::filesystem::create_directories(Root() / "folder.ini");
  EXPECT_EQ(Get(ToXp(Root() / "folder.ini"), u"S", u"Key"), u"<default>");
  EXPECT_EQ(Get(Write("empty.ini", ""), u"S", u"Key"), u"<default>");

  const XpString path = Write("faulty.ini", "[S]\nKey=value\n");
  EXPECT_EQ(Get(path, u"S", u"Key"), u"value");
  FaultInjection faults;
  faults.Add(Fault(SysCall::kRead, fstest::ToUtf8(path)).Errno(EIO));
  EXPECT_EQ(Get(path, u"S", u"Key"), u"<default>");
}

TEST_F(XpPrivateProfile, OddUtf16TailAndUndecodableBytesAreHarmless) {
  std::string bytes = Utf16Le(u"[S]\r\nKey=v\r\n");
  bytes += 'K';
  EXPECT_EQ(Get(Write("odd.ini", bytes), u"S", u"Key"), u"v");
  // Bytes that are not UTF-8 come through as their escapes.
  EXPECT_EQ(Get(Write("raw.ini", "[S]\nKey=a\xFF" "b\n"), u"S", u"Key"), u"a\xDCFF" u"b");
}

}  // namespace
