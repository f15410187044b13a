#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "TlvFormerSuiteFixture.h"
#include "installer-actions/tlvproc/DesktopEntryShortcut.h"

namespace installertest {
namespace {

namespace fs = std::filesystem;

// The suite takes the class's name; the class itself is ::DesktopEntryShortcut.
using DesktopEntryShortcut = TlvFormerSuiteTest;

TEST_F(DesktopEntryShortcut, ResolvesApplicationsAndLinks) {
  auto common = MakeObject();
  const struct Case {
    const char* label;
    std::string content;
    const char* target;   // null: no target
    const char* address;  // null: no address
  } cases[] = {
      {"quoted exec", "[Desktop Entry]\nType=Application\nExec=\"/opt/K T/B.exe\" %f\n", "\"/opt/K T/B.exe\" %f",
       nullptr},
      {"crlf and blanks", "[Desktop Entry]\r\nType = Application\r\nExec = /usr/bin/true  \r\n", "/usr/bin/true",
       nullptr},
      {"byte-order mark", "\xEF\xBB\xBF[Desktop Entry]\nType=Application\nExec=a b\n", "a b", nullptr},
      {"first exec wins", "[Desktop Entry]\nExec=first\nType=Application\nExec=second\n", "first", nullptr},
      {"link", "[Desktop Entry]\nType=Link\nURL=https://support.kavo.example/reg\n", nullptr,
       "https://support.kavo.example/reg"},
      {"link without url", "[Desktop Entry]\nType=Link\n", nullptr, nullptr},
      {"no type", "[Desktop Entry]\nExec=/usr/bin/true\n", nullptr, nullptr},
      {"another type", "[Desktop Entry]\nType=Directory\nExec=/usr/bin/true\n", nullptr, nullptr},
      {"type is case-sensitive", "[Desktop Entry]\nType=application\nExec=/usr/bin/true\n", nullptr, nullptr},
      {"another group", "[Desktop Action New]\nType=Application\nExec=/usr/bin/true\n", nullptr, nullptr},
      {"key of another group", "[Desktop Entry]\nType=Application\n[Other]\nExec=/usr/bin/true\n", nullptr,
       nullptr},
      {"empty exec", "[Desktop Entry]\nType=Application\nExec=\n", nullptr, nullptr},
      {"binary", std::string("[Desktop Entry]\nType=Application\nExec=/bin/x\n") + std::string(1, '\0') + "\x01",
       nullptr, nullptr},
      {"not utf-8", "[Desktop Entry]\nType=Application\nExec=/bin/\xff\xfe\n", nullptr, nullptr},
      {"empty file", "", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const fs::path path = Root() / "entries" / "e.desktop";
    WriteFile(path, c.content);
    const ::DesktopEntryShortcut entry(XpString::FromUtf8(path.string()));
    XpString target = u"unchanged";
    const uint32_t resolved = entry.ResolveTarget(target);
    if (c.target != nullptr) {
      EXPECT_EQ(resolved, 0u) << c.label;
      EXPECT_EQ(target.ToMultiByte().ToStdString(), c.target) << c.label;
    } else {
      EXPECT_EQ(resolved, InstallerCommonFunction::kNotFound) << c.label;
      EXPECT_EQ(target.ToMultiByte().ToStdString(), "unchanged") << c.label;
    }
    XpString address;
    const uint32_t read = entry.ReadAddress(*common, address);
    if (c.address != nullptr) {
      EXPECT_EQ(read, 0u) << c.label;
      EXPECT_EQ(address.ToMultiByte().ToStdString(), c.address) << c.label;
    } else {
      EXPECT_EQ(read, InstallerCommonFunction::kNotFound) << c.label;
    }
  }
}

TEST_F(DesktopEntryShortcut, MissingFileAndFolderResolveToNothing) {
  for (const fs::path& path : {Root() / "missing.desktop", Dir("folder.desktop")}) {
    const ::DesktopEntryShortcut entry(XpString::FromUtf8(path.string()));
    XpString target;
    EXPECT_EQ(entry.ResolveTarget(target), InstallerCommonFunction::kNotFound) << path;
    EXPECT_EQ(entry.GetKind(), ::DesktopEntryShortcut::Kind::kNone) << path;
  }
}

}  // namespace
}  // namespace installertest
