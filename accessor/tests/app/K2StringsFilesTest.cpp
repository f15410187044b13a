#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "accessor/app/K2AccessorApplication.h"
#include "accessor/tests/app/AccessorTestSupport.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/strings/XfStringsManager.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/xml/XpXmlDocument.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// What a text takes.
enum class Args {
  kNone,
  kText,        // %s
  kNumber,      // %d
  kPercent,     // %d%%
  kHourMin,     // %d %d
  kTwoInserts,  // %1 %2
  kThreeInserts,
  kCountAndText,  // %d %s
};

const char* Placeholders(Args args) {
  switch (args) {
    case Args::kNone:
      return "";
    case Args::kText:
      return "%s";
    case Args::kNumber:
      return "%d";
    case Args::kPercent:
      return "%d%%";
    case Args::kHourMin:
      return "%d %d";
    case Args::kTwoInserts:
      return "%1 %2";
    case Args::kThreeInserts:
      return "%1 %2 %3";
    case Args::kCountAndText:
      return "%d %s";
  }
  return "";
}

struct KeyGroup {
  const char* prefix;
  std::vector<const char*> names;
  Args args;
};

const KeyGroup kKeyGroups[] = {
    {"UI/ImportConfirm/", {"0-0"}, Args::kNone},
    {"UI/ImportProgress/", {"0-0", "1-0", "8-0", "8-5"}, Args::kNone},
    {"UI/ExportConfirm/", {"0-0", "1-0", "1-1", "1-2", "6-0", "8-0", "8-1", "8-2", "8-3"}, Args::kNone},
    {"UI/ExportProgress/", {"0-0", "1-0", "8-0"}, Args::kNone},
    {"UI/ExportSetting/", {"0-0", "1-0", "1-1", "1-2", "2-0", "2-1", "6-0", "6-1", "7-0", "7-1", "8-0"}, Args::kNone},
    {"UI/SalvageReport/", {"0-0"}, Args::kNone},
    {"UI/SalvageProgress/", {"0-0", "1-0", "8-3"}, Args::kNone},
    {"UI/CommonConfirm/", {"8-0", "8-1"}, Args::kNone},
    {"Strings/", {"Calculating", "ApplicationName"}, Args::kNone},
    {"FileBrowser/", {"SelectFolder"}, Args::kNone},
    {"Application/", {"QMV Portable", "MaintenanceToolName"}, Args::kNone},
    {"Format/Duration/", {"Calculating"}, Args::kNone},
    {"Messages/Errors/",
     {"OnlySupportImages", "CannotBootYouNeedToEndInitializeTool", "CannotBootBecauseSetupQMV", "UnkownError",
      "CannotCreateFolderBecauseReadOnly", "CannotCopyBecauseDiskFull", "XdbAccessError", "XdbCopyError",
      "ProcessingWasDiscontinuedByTheReadingAttribute", "CameraDisconnected", "NotEnoughSpaceOnCamera",
      "UnableToStartOperationBecauseOfTemporaryFolderWasNotFound", "DiskFull", "CannotExportBecauseDCFError"},
     Args::kNone},
    {"Messages/Informations/", {"IncludingNoSupportImages", "ExportFailed", "ExportCompleted"}, Args::kNone},
    {"Messages/Warnings/", {"DoNotConnectCamera", "NoNewImages"}, Args::kNone},
    {"Messages/Confirms/", {"ExportingWithoutConverting", "ExportingStop", "ImportingStop", "SalvageStop"},
     Args::kNone},
    {"Messages/Errors/", {"CannotBootBecauseThereAreNoSomeModules"}, Args::kText},
    {"UI/ImportProgress/", {"8-1", "8-2"}, Args::kText},
    {"UI/ExportProgress/", {"8-1", "8-2"}, Args::kText},
    {"UI/SalvageProgress/", {"8-0", "8-1"}, Args::kText},
    {"Messages/Errors/", {"CannotWriteMoreThanLimitedNumber"}, Args::kNumber},
    {"UI/ImportProgress/", {"8-3"}, Args::kPercent},
    {"UI/ExportProgress/", {"8-3"}, Args::kPercent},
    {"UI/SalvageProgress/", {"8-2"}, Args::kPercent},
    {"Format/Duration/", {"SecL", "MinL", "MinMinL", "HourL"}, Args::kNumber},
    {"Format/Duration/", {"HourMinL"}, Args::kHourMin},
    {"Messages/Errors/", {"MutexError", "MutexErrorDuplicateAppsOtherUser"}, Args::kTwoInserts},
    {"Messages/Errors/", {"AbortOperationBecauseOfFreeSpaceSizeDetail"}, Args::kThreeInserts},
    {"Messages/Confirms/", {"ImportStart", "ImportStartAndRemove", "SalvageStart"}, Args::kCountAndText},
};

constexpr const char* kCamerasKey = "Messages/Warnings/FoundSomeConnectedCameras";
constexpr const char* kExportTitleKey = "UI/ExportConfirm/0-0";
// The cameras item named by the export confirmation's title, whatever the
// file calls it.
constexpr const char* kExportTitleItem = "<export title>";

std::map<std::string, Args> KeyTable() {
  std::map<std::string, Args> keys;
  for (const KeyGroup& group : kKeyGroups) {
    for (const char* name : group.names) {
      keys.emplace(std::string(group.prefix) + name, group.args);
    }
  }
  return keys;
}

// Every text of a strings file by its key path, read straight from the XML
// so that item names holding '/' stay one component.
using Texts = std::map<std::string, std::string>;

XpXmlNode NextElement(XpXmlNode node) {
  while (!node.IsNull() && node.GetType() != XpXmlNodeType::kElement) {
    node = node.GetNextSibling();
  }
  return node;
}

void Flatten(XpXmlNode dict, const std::string& prefix, Texts* texts) {
  for (XpXmlNode key = NextElement(dict.GetFirstChild()); !key.IsNull();) {
    ASSERT_TRUE(key.IsElement("key")) << prefix;
    const XpXmlNode value = NextElement(key.GetNextSibling());
    ASSERT_FALSE(value.IsNull()) << prefix;
    const std::string path =
        (prefix.empty() ? "" : prefix + "/") + key.GetText().ToMultiByte().ToStdString();
    if (value.IsElement("dict")) {
      Flatten(value, path, texts);
    } else {
      ASSERT_TRUE(value.IsElement("string")) << path;
      EXPECT_TRUE(texts->emplace(path, value.GetText().ToMultiByte().ToStdString()).second)
          << "twice: " << path;
    }
    key = NextElement(value.GetNextSibling());
  }
}

Texts ReadTexts(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  XpXmlDocument document;
  EXPECT_EQ(document.Parse(bytes.str()), kXpOk) << path;
  const XpXmlNode root = document.GetRoot();
  EXPECT_TRUE(root.IsElement("plist")) << path;
  const XpXmlNode dict = NextElement(root.GetFirstChild());
  EXPECT_TRUE(dict.IsElement("dict")) << path;
  Texts texts;
  Flatten(dict, "", &texts);
  // The cameras item named by this file's own export title.
  const std::string titleItem = std::string(kCamerasKey) + "/" + texts[kExportTitleKey];
  const auto item = texts.find(titleItem);
  if (item != texts.end()) {
    texts[std::string(kCamerasKey) + "/" + kExportTitleItem] = item->second;
    texts.erase(item);
  }
  return texts;
}

// The conversions and inserts of a text, in order: "%d", "%%", "%1", ...
std::vector<std::string> PlaceholdersOf(const std::string& text) {
  std::vector<std::string> found;
  for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at)) {
    size_t end = at + 1;
    if (end < text.size() && text[end] == '%') {
      ++end;
    } else if (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) {
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) {
        ++end;
      }
    } else {
      while (end < text.size() && std::string_view("-+ #0123456789.*hlLI").find(text[end]) != std::string_view::npos) {
        ++end;
      }
      end = std::min(end + 1, text.size());
    }
    found.push_back(text.substr(at, end - at));
    at = end;
  }
  return found;
}

std::set<std::string> KeysOf(const Texts& texts) {
  std::set<std::string> keys;
  for (const auto& [key, text] : texts) {
    keys.insert(key);
  }
  return keys;
}

Texts ExpectedTestTexts() {
  Texts texts;
  for (const auto& [key, args] : KeyTable()) {
    const std::string placeholders = Placeholders(args);
    texts[key] = "[" + key + "]" + (placeholders.empty() ? "" : " " + placeholders);
  }
  texts[std::string(kCamerasKey) + "/Other"] = "[FoundSomeConnectedCameras/Other]";
  texts[std::string(kCamerasKey) + "/" + kExportTitleItem] = "[FoundSomeConnectedCameras/Export]";
  return texts;
}

// Both files, read as they are and through the framework's look-ups, each
// key with arguments of the types its placeholders take.
class K2StringsFilesLookUp : public testsupport::HermeticTest {
 protected:
  void TearDown() override {
    XfSetStringsSource(XpSharedPtr<IXfStringsSource>());
    HermeticTest::TearDown();
  }

  void Use(const char* path) {
    XpSharedPtr<XfStringsManager> manager(new XfStringsManager());
    ASSERT_EQ(manager->Load(XpString::FromUtf8(path)), kXpOk) << path;
    ASSERT_EQ(XfSetStringsManagers({manager}), kXpOk);
  }

  // The key's text with arguments "A1", "B2", "C3" or 7, 42, 2 and 5.
  static std::string Fill(const std::string& key, Args args) {
    const XpString wideKey = XpString::FromUtf8(key);
    const char16_t* k = wideKey.CStr();
    switch (args) {
      case Args::kNone:
        return XfGetString(k).ToMultiByte().ToStdString();
      case Args::kText:
        return XfFormatString(k, XpString(u"A1")).ToMultiByte().ToStdString();
      case Args::kNumber:
        return XfFormatString(k, 7).ToMultiByte().ToStdString();
      case Args::kPercent:
        return XfFormatString(k, 42).ToMultiByte().ToStdString();
      case Args::kHourMin:
        return XfFormatString(k, 2, 5).ToMultiByte().ToStdString();
      case Args::kTwoInserts:
        return XfFormatMessage(k, u"A1", u"B2").ToMultiByte().ToStdString();
      case Args::kThreeInserts:
        return XfFormatMessage(k, u"A1", u"B2", u"C3").ToMultiByte().ToStdString();
      case Args::kCountAndText:
        return XfFormatString(k, 7, XpString(u"A1")).ToMultiByte().ToStdString();
    }
    return "";
  }

  static std::string FilledTail(Args args) {
    switch (args) {
      case Args::kNone:
        return "";
      case Args::kText:
        return " A1";
      case Args::kNumber:
        return " 7";
      case Args::kPercent:
        return " 42%";
      case Args::kHourMin:
        return " 2 5";
      case Args::kTwoInserts:
        return " A1 B2";
      case Args::kThreeInserts:
        return " A1 B2 C3";
      case Args::kCountAndText:
        return " 7 A1";
    }
    return "";
  }
};
using K2StringsFiles = K2StringsFilesLookUp;

TEST_F(K2StringsFiles, TestFileNamesEachKeyAndItsPlaceholders) {
  const Texts texts = ReadTexts(KAVO_ACCESSOR_TEST_STRINGS);
  Texts expected = ExpectedTestTexts();
  // An item name cannot hold '/', so the dialog tests use a title of their
  // own to reach the export title's cameras text.
  expected[std::string(kCamerasKey) + "/Export"] = "[FoundSomeConnectedCameras/Export]";
  EXPECT_EQ(texts, expected);
}

TEST_F(K2StringsFiles, ShippedFileHoldsTheSameKeysWithTheSamePlaceholders) {
  const Texts shipped = ReadTexts(KAVO_ACCESSOR_SHIPPED_STRINGS);
  const Texts test = ExpectedTestTexts();
  EXPECT_EQ(KeysOf(shipped), KeysOf(test));
  for (const auto& [key, text] : shipped) {
    SCOPED_TRACE(key);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.front(), '[');
    const auto expected = test.find(key);
    if (expected != test.end()) {
      EXPECT_EQ(PlaceholdersOf(text), PlaceholdersOf(expected->second));
    }
  }
}

TEST_F(K2StringsFiles, TestFileTextsFormatWithTheirArguments) {
  Use(KAVO_ACCESSOR_TEST_STRINGS);
  for (const auto& [key, args] : KeyTable()) {
    EXPECT_EQ(Fill(key, args), "[" + key + "]" + FilledTail(args));
  }
}

TEST_F(K2StringsFiles, ShippedTextsFormatWithTheirArguments) {
  Use(KAVO_ACCESSOR_SHIPPED_STRINGS);
  for (const auto& [key, args] : KeyTable()) {
    SCOPED_TRACE(key);
    const std::string filled = Fill(key, args);
    EXPECT_FALSE(filled.empty());
    for (const char* part : {"A1", "B2", "C3", "7", "42%"}) {
      if (FilledTail(args).find(part) != std::string::npos) {
        EXPECT_THAT(filled, HasSubstr(part));
      }
    }
    if (args != Args::kPercent) {
      EXPECT_THAT(filled, Not(HasSubstr("%")));
    }
  }
}

// Start-up loads each of these from the program's folder and reports a
// failure when one is missing, so the build puts every one there.
TEST_F(K2StringsFiles, EveryStringsFileTheProgramLoadsLiesBesideItAndLoads) {
  const std::string folder = std::filesystem::path(KAVO_TLVK2ACCESSOR_PATH).parent_path().string();
  for (const char16_t* name : kK2StringsFileNames) {
    const std::string path = folder + "/" + XpString(name).ToMultiByte().ToStdString();
    SCOPED_TRACE(path);
    XfStringsManager manager;
    EXPECT_EQ(manager.Load(XpString::FromUtf8(path)), kXpOk);
  }
}

TEST_F(K2StringsFiles, CamerasWarningFallsBackToOther) {
  Use(KAVO_ACCESSOR_TEST_STRINGS);
  EXPECT_EQ(XfGetStringItem(u"Messages/Warnings/FoundSomeConnectedCameras", u"Import from Camera")
                .ToMultiByte()
                .ToStdString(),
            "[FoundSomeConnectedCameras/Other]");
}

// A property list key is a path, so an entry named by a title that holds
// '/' never loads: such a title gets the "Other" text.
TEST_F(K2StringsFiles, CamerasWarningItemNamedByTitleWithSlashesFallsBackToOther) {
  Use(KAVO_ACCESSOR_TEST_STRINGS);
  EXPECT_EQ(
      XfGetStringItem(u"Messages/Warnings/FoundSomeConnectedCameras", u"[UI/ExportConfirm/0-0]")
          .ToMultiByte()
          .ToStdString(),
      "[FoundSomeConnectedCameras/Other]");
}

}  // namespace
