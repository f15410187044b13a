#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/tests/value/PlistTestTrees.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/value/XpIniDict.h"

namespace {

using plisttest::Describe;
using testsupport::Fault;
using testsupport::FaultInjection;
using testsupport::SysCall;

const std::filesystem::path kGoldenFile =
    std::filesystem::path(KAVO_PLIST_TEST_DATA) / "golden.plist";

class XpIniDictXmlFixture : public testsupport::HermeticTest {
 protected:
  static XpString ToXp(const std::filesystem::path& path) {
    return XpStringA(path.c_str()).ToWide();
  }

  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << path;
  }

  // A dictionary that holds something, to show that loads empty it.
  static void Prefill(XpIniDict& dict) { ASSERT_EQ(dict.Add(u"old", kXpIniTypeInt, 1), kXpOk); }

  static std::string Plist(const std::string& dictContent) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<plist version=\"1.0\"><dict>" +
           dictContent + "</dict></plist>\n";
  }

  FaultInjection faults_;
};
using XpIniDictXml = XpIniDictXmlFixture;

TEST_F(XpIniDictXml, GoldenFileIsWrittenByteForByteAndLoadsBack) {
  const std::string golden = ReadFile(kGoldenFile);
  ASSERT_FALSE(golden.empty()) << kGoldenFile;

  XpIniDict dict;
  plisttest::BuildGolden(dict);
  const std::filesystem::path path = Root() / "golden.plist";
  ASSERT_EQ(dict.SaveToFile(ToXp(path)), kXpOk);
  EXPECT_EQ(ReadFile(path), golden);

  XpIniDict loaded;
  Prefill(loaded);
  ASSERT_EQ(loaded.LoadFromFile(ToXp(kGoldenFile)), kXpOk);
  EXPECT_EQ(Describe(loaded), plisttest::kGoldenDescription);

  // The text form holds the same text as the file.
  XpString text;
  ASSERT_EQ(dict.SaveToText(&text), kXpOk);
  EXPECT_EQ(text.ToMultiByte().ToStdString(), golden);
  EXPECT_EQ(dict.SaveToText(nullptr), kXpErrBadArgument);
}

TEST_F(XpIniDictXml, LoadFailuresEmptyTheDictionary) {
  const std::filesystem::path notXml = Root() / "not.xml";
  WriteFile(notXml, "this is not XML");
  const std::filesystem::path wrongRoot = Root() / "root.xml";
  WriteFile(wrongRoot, "<array><true/></array>");
  const std::filesystem::path partial = Root() / "partial.xml";
  WriteFile(partial,
            Plist("<key>a</key><true/><key>b</key><key>c</key><true/><key>d</key><true/>"));
  const struct {
    std::filesystem::path path;
    XpResult result;
    const char* tree;
  } cases[] = {
      {Root() / "missing.plist", kXpErrFileNotFound, "{}"},
      {Root() / "nofolder" / "x.plist", kXpErrPathNotFound, "{}"},
      {"relative.plist", kXpErrPathNotFound, "{}"},
      {notXml, kXpErrValueParse, "{}"},
      {wrongRoot, kXpErrValueStructure, "{}"},
      {partial, kXpErrValueStructure, "{a=b:true}"},
      {"/dev/zero", kXpErrInvalidFile, "{}"},
  };
  for (const auto& c : cases) {
    XpIniDict dict;
    Prefill(dict);
    EXPECT_EQ(dict.LoadFromFile(ToXp(c.path)), c.result) << c.path;
    EXPECT_EQ(Describe(dict), c.tree) << c.path;
  }

  XpIniDict dict;
  Prefill(dict);
  EXPECT_EQ(dict.LoadFromText(u"not XML"), kXpErrValueParse);
  EXPECT_EQ(Describe(dict), "{}");
}

TEST_F(XpIniDictXml, TreesRoundTripThroughFileAndText) {
  XpIniDict empty;
  const std::filesystem::path emptyPath = Root() / "empty.plist";
  ASSERT_EQ(empty.SaveToFile(ToXp(emptyPath)), kXpOk);
  XpIniDict loaded;
  Prefill(loaded);
  EXPECT_EQ(loaded.LoadFromFile(ToXp(emptyPath)), kXpOk);
  EXPECT_EQ(Describe(loaded), "{}");

  XpIniDict every;
  plisttest::BuildEveryType(every);
  ASSERT_EQ(Describe(every), plisttest::kEveryTypeDescription);

  XpString text;
  ASSERT_EQ(every.SaveToText(&text), kXpOk);
  XpIniDict fromText;
  Prefill(fromText);
  EXPECT_EQ(fromText.LoadFromText(text), kXpOk);
  EXPECT_EQ(Describe(fromText), plisttest::kEveryTypeDescription);

  const std::filesystem::path path = Root() / "every.plist";
  ASSERT_EQ(every.SaveToFile(ToXp(path)), kXpOk);
  XpIniDict fromFile;
  EXPECT_EQ(fromFile.LoadFromFile(ToXp(path)), kXpOk);
  EXPECT_EQ(Describe(fromFile), plisttest::kEveryTypeDescription);
  EXPECT_EQ(ReadFile(path), text.ToMultiByte().ToStdString());
}

TEST_F(XpIniDictXml, TextThatXmlCannotCarryIsReplacedSoTheFileLoadsAgain) {
  const struct {
    const char16_t* saved;
    const char16_t* loaded;
  } cases[] = {
      {u"a\u0001b", u"a\ufffdb"},
      {u"line\r\nnext\rlast\n", u"line\r\nnext\rlast\n"},
      {u"file\xdc80name", u"file\ufffdname"},
  };
  for (const auto& c : cases) {
    XpIniDict dict;
    ASSERT_EQ(dict.Add(u"s", kXpIniTypeString, c.saved), kXpOk);
    const std::filesystem::path path = Root() / "text.plist";
    ASSERT_EQ(dict.SaveToFile(ToXp(path)), kXpOk);
    XpIniDict loaded;
    ASSERT_EQ(loaded.LoadFromFile(ToXp(path)), kXpOk);
    XpString value;
    ASSERT_NE(loaded.Find(u"s"), nullptr);
    ASSERT_EQ(loaded.Find(u"s")->GetString(&value), kXpOk);
    EXPECT_EQ(value, c.loaded) << XpString(c.saved).ToMultiByte().ToStdString();
  }
}

TEST_F(XpIniDictXml, IndentedFileAndForeignDeclarationsLoad) {
  const std::filesystem::path path = Root() / "indented.plist";
  WriteFile(
      path,
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist>\n<plist version=\"1.0\">\n"
      "<dict>\n\t<key>n</key>\n\t<integer> 12 </integer>\n\t<key>s</key>\n\t<string>  </string>\n"
      "\t<key>l</key>\n\t<array>\n\t\t<real>0.5</real>\n\t</array>\n</dict>\n</plist>\n");
  XpIniDict dict;
  EXPECT_EQ(dict.LoadFromFile(ToXp(path)), kXpOk);
  EXPECT_EQ(Describe(dict), "{l=[r:0.5],n=i:12,s=s:'  '}");

  // A text is UTF-16: whatever its declaration names, it is read as such.
  EXPECT_EQ(dict.LoadFromText(u"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                              u"<plist><dict><key>\u00e9</key><true/></dict></plist>"),
            kXpOk);
  EXPECT_EQ(Describe(dict), "{\xc3\xa9=b:true}");
}

TEST_F(XpIniDictXml, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
  const std::filesystem::path folder = Dir("out");
  const std::filesystem::path path = folder / "settings.plist";
  const std::string old = Plist("<key>old</key><true/>");
  XpIniDict dict;
  plisttest::BuildGolden(dict);

  const struct {
    const char* name;
    Fault fault;
    XpResult result;
  } cases[] = {
      {"disk full", Fault(SysCall::kWrite, folder.string()).Errno(ENOSPC).AfterBytes(10),
       kXpErrDiskFull},
      {"access denied", Fault(SysCall::kOpen, folder.string()).Errno(EACCES).ForWriting(),
       kXpErrAccessDenied},
      {"flush fails", Fault(SysCall::kFsync, folder.string()).Errno(ENOSPC), kXpErrDiskFull},
      {"rename fails", Fault(SysCall::kRename, folder.string()).Errno(EROFS), kXpErrAccessDenied},
  };
  for (const auto& c : cases) {
    WriteFile(path, old);
    const int id = faults_.Add(c.fault);
    EXPECT_EQ(dict.SaveToFile(ToXp(path)), c.result) << c.name;
    EXPECT_GT(faults_.Hits(id), 0) << c.name;
    faults_.Clear();
    EXPECT_EQ(ReadFile(path), old) << c.name;
    const auto entries = std::distance(std::filesystem::directory_iterator(folder),
                                       std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 1) << c.name;
  }

  EXPECT_EQ(dict.SaveToFile(ToXp(Root() / "nofolder" / "x.plist")), kXpErrPathNotFound);
  EXPECT_EQ(dict.SaveToFile(u"relative.plist"), kXpErrPathNotFound);
  EXPECT_EQ(dict.SaveToFile(ToXp(folder) + u"/"), kXpErrPathNotFound);
}

TEST_F(XpIniDictXml, SaveReplacesTheFileAndKeepsItsPermissions) {
  const std::filesystem::path path = Root() / "settings.plist";
  WriteFile(path, Plist("<key>old</key><true/>"));
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);

  XpIniDict dict;
  ASSERT_EQ(dict.Add(u"new", kXpIniTypeBool, true), kXpOk);
  ASSERT_EQ(dict.SaveToFile(ToXp(path)), kXpOk);
  EXPECT_EQ(ReadFile(path), Plist("<key>new</key><true/>"));
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(XpIniDictXml, UnsafeInputNeverBringsInForeignText) {
  const std::filesystem::path secret = Root() / "hostname";
  WriteFile(secret, "SECRET-HOST");
  XpIniDict dict;
  const std::string external = "<!DOCTYPE plist [<!ENTITY x SYSTEM \"file://" + secret.string() +
                               "\">]><plist><dict><key>s</key><string>&x;</string>"
                               "<key>t</key><true/></dict></plist>";
  EXPECT_EQ(dict.LoadFromText(XpStringA(external.c_str()).ToWide()), kXpOk);
  EXPECT_EQ(Describe(dict), "{s=s:'',t=b:true}");

  std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY e0 \"lol\">";
  for (int level = 1; level <= 10; ++level) {
    bomb += "<!ENTITY e" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i) {
      bomb += "&e" + std::to_string(level - 1) + ";";
    }
    bomb += "\">";
  }
  bomb += "]><plist><dict><key>s</key><string>&e10;</string></dict></plist>";
  const std::filesystem::path bombPath = Root() / "bomb.plist";
  WriteFile(bombPath, bomb);

  const auto start = std::chrono::steady_clock::now();
  const XpResult result = dict.LoadFromFile(ToXp(bombPath));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  if (result == kXpOk) {
    EXPECT_EQ(Describe(dict), "{s=s:''}");
  } else {
    EXPECT_EQ(result, kXpErrValueParse);
    EXPECT_EQ(Describe(dict), "{}");
  }
}

}  // namespace
