#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "framework/suite/SfModdXML.h"
#include "platform/fs/XpFile.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/value/XpIniArray.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Fault;
using testsupport::SysCall;
using VTEntry = ::SfModdXML::VTEntry;

constexpr const char* kPlistHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<plist version=\"1.0\">\n<dict>\n";
constexpr const char* kPlistTail = "</dict>\n</plist>\n";
constexpr const char* kModdHeader = "<key>XMLFileType</key><string>ModdXML</string>";

// A metadata list whose only element holds metaBody.
std::string OneMetaData(const std::string& metaBody) {
  return std::string(kModdHeader) + "<key>MetaDataList</key><array><dict>" + metaBody +
         "</dict></array>";
}

// Switches the whole process to a locale for one scope.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : saved_(std::setlocale(LC_ALL, nullptr)) {
    active_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
  bool IsActive() const { return active_; }

 private:
  std::string saved_;
  bool active_ = false;
};

class ModdFixture : public testsupport::HermeticTest {
 protected:
  XpString PathOf(const std::string& name) const {
    return XpString::FromUtf8((Root() / name).string());
  }

  // Writes a property list whose root dictionary holds body.
  XpString WritePlist(const std::string& name, const std::string& body) const {
    std::ofstream(Root() / name) << kPlistHead << body << kPlistTail;
    return PathOf(name);
  }

  XpString WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream out(Root() / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return PathOf(name);
  }

  // Loads a document whose metadata dictionary holds metaBody.
  void LoadMeta(const std::string& metaBody) {
    ASSERT_EQ(document_.Load(WritePlist("meta.modd", OneMetaData(metaBody))), kXpOk) << metaBody;
  }

  void InitDocument() { ASSERT_EQ(document_.InitHeader(), kXpOk); }

  // The text of the index-th entry of "VTList".
  std::string VTText(int32_t index) const {
    const XpIniElement* list = document_.GetMetaData()->Find(u"VTList");
    XpString text;
    if (list == nullptr || list->GetAt(index) == nullptr ||
        list->GetAt(index)->GetString(&text) != kXpOk) {
      return "<none>";
    }
    return text.ToMultiByte().ToStdString();
  }

  ::SfModdXML document_;
};
using SfModdXML = ModdFixture;

TEST_F(SfModdXML, FavoriteSideFileAsTheImportWritesIt) {
  InitDocument();
  ASSERT_EQ(document_.SetFavoriteList({3, 7}, false), kXpOk);
  const XpString path = PathOf("clip.modd");
  ASSERT_EQ(document_.SaveToFile(path), kXpOk);

  ::SfModdXML reread;
  ASSERT_EQ(reread.Load(path), kXpOk);
  EXPECT_EQ(reread.GetFavoriteList(), (std::vector<int32_t>{3, 7}));

  XpIniDict raw;
  ASSERT_EQ(raw.LoadFromFile(path), kXpOk);
  EXPECT_EQ(raw.GetCount(), 2);
  XpString type;
  ASSERT_NE(raw.Find(u"XMLFileType"), nullptr);
  ASSERT_EQ(raw.Find(u"XMLFileType")->GetString(&type), kXpOk);
  EXPECT_EQ(type.ToMultiByte().ToStdString(), "ModdXML");
  const XpIniElement* list = raw.Find(u"MetaDataList");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->GetType(), kXpIniTypeArray);
  ASSERT_EQ(list->GetCount(), 1);
  const XpIniElement* meta = list->GetAt(0);
  ASSERT_EQ(meta->GetType(), kXpIniTypeDict);
  EXPECT_EQ(meta->GetCount(), 1);
  const XpIniElement* favorites = meta->Find(u"FavoriteList");
  ASSERT_NE(favorites, nullptr);
  ASSERT_EQ(favorites->GetCount(), 2);
  int64_t first = 0;
  int64_t second = 0;
  ASSERT_EQ(favorites->GetAt(0)->GetInt64(&first), kXpOk);
  ASSERT_EQ(favorites->GetAt(1)->GetInt64(&second), kXpOk);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(second, 7);

  EXPECT_EQ(reread.SetFavoriteList({1}, false), kXpErrValueKeyExists);
  EXPECT_EQ(reread.GetFavoriteList(), (std::vector<int32_t>{3, 7}));
  EXPECT_EQ(reread.SetFavoriteList({}, true), kXpOk);
  ASSERT_NE(reread.GetMetaData()->Find(u"FavoriteList"), nullptr);
  EXPECT_EQ(reread.GetMetaData()->Find(u"FavoriteList")->GetCount(), 0);
}

TEST_F(SfModdXML, HeaderGoesOnlyOnce) {
  EXPECT_EQ(document_.GetMetaData(), nullptr);
  EXPECT_EQ(document_.InitHeader(), kXpOk);
  EXPECT_NE(document_.GetMetaData(), nullptr);
  EXPECT_EQ(document_.InitHeader(), kXpErrValueKeyExists);
  EXPECT_EQ(document_.Find(u"MetaDataList")->GetCount(), 1);
}

TEST_F(SfModdXML, LoadRefusesWhatIsNoModdDocument) {
  struct Row {
    std::string name;
    std::optional<std::string> body;  // none: no file at all
    XpResult expected;
  };
  const std::vector<Row> rows = {
      {"content info",
       "<key>XMLFileType</key><string>ContentInfoXML</string>"
       "<key>MetaDataList</key><array><dict/></array>",
       kXpErrGeneric},
      {"no type", "<key>MetaDataList</key><array><dict/></array>", kXpErrGeneric},
      {"type not a string",
       "<key>XMLFileType</key><integer>1</integer>"
       "<key>MetaDataList</key><array><dict/></array>",
       kXpErrGeneric},
      {"no metadata list", kModdHeader, kXpErrGeneric},
      {"empty metadata list", std::string(kModdHeader) + "<key>MetaDataList</key><array/>",
       kXpErrGeneric},
      {"metadata list not an array",
       std::string(kModdHeader) + "<key>MetaDataList</key><dict><key>0</key><dict/></dict>",
       kXpErrGeneric},
      {"metadata not a dictionary",
       std::string(kModdHeader) + "<key>MetaDataList</key><array><string>x</string></array>",
       kXpErrGeneric},
      {"missing file", std::nullopt, kXpErrFileNotFound},
      {"valid", OneMetaData(""), kXpOk},
  };
  for (const Row& row : rows) {
    ::SfModdXML document;
    const XpString path = row.body ? WritePlist("doc.modd", *row.body) : PathOf("absent.modd");
    if (!row.body) fs::remove(Root() / "absent.modd");
    EXPECT_EQ(document.Load(path), row.expected) << row.name;
    EXPECT_EQ(document.GetMetaData() != nullptr, row.expected == kXpOk) << row.name;
  }
  ::SfModdXML document;
  EXPECT_EQ(document.Load(XpString()), kXpErrPathNotFound);
}

TEST_F(SfModdXML, FailedLoadDropsTheEarlierMetadata) {
  InitDocument();
  EXPECT_EQ(document_.Load(WritePlist("other.modd", kModdHeader)), kXpErrGeneric);
  EXPECT_EQ(document_.GetMetaData(), nullptr);
  EXPECT_EQ(document_.SetRating(3, true), kXpErrGeneric);
}

TEST_F(SfModdXML, GettersClampOrFallBackToTheirDefaults) {
  struct Row {
    std::string metaBody;
    int32_t rating;
    double duration;
    int64_t fileSize;
    bool edited;
  };
  const std::vector<Row> rows = {
      {"", 0, -1.0, -1, false},
      {"<key>Rating</key><integer>9</integer>", 5, -1.0, -1, false},
      {"<key>Rating</key><integer>-3</integer>", 0, -1.0, -1, false},
      {"<key>Rating</key><integer>4</integer>", 4, -1.0, -1, false},
      {"<key>Rating</key><integer>4294967300</integer>", 5, -1.0, -1, false},
      {"<key>Rating</key><string>4</string>", 0, -1.0, -1, false},
      {"<key>Duration</key><real>12.5</real>", 0, 12.5, -1, false},
      {"<key>Duration</key><integer>12</integer>", 0, -1.0, -1, false},
      {"<key>FileSize</key><integer>5000000000</integer>", 0, -1.0, 5000000000, false},
      {"<key>FileSize</key><string>12</string>", 0, -1.0, -1, false},
      {"<key>IsEdited</key><true/>", 0, -1.0, -1, true},
      {"<key>IsEdited</key><integer>1</integer>", 0, -1.0, -1, false},
  };
  for (const Row& row : rows) {
    LoadMeta(row.metaBody);
    EXPECT_EQ(document_.GetRating(), row.rating) << row.metaBody;
    EXPECT_EQ(document_.GetDuration(), row.duration) << row.metaBody;
    EXPECT_EQ(document_.GetFileSize(), row.fileSize) << row.metaBody;
    EXPECT_EQ(document_.IsEdited(), row.edited) << row.metaBody;
  }
}

TEST_F(SfModdXML, ScalarsRoundTripThroughTheFile) {
  InitDocument();
  const XpDateTime shot(2009, 10, 8, 14, 30, 15);
  ASSERT_EQ(document_.SetDateTimeOriginal(shot, false), kXpOk);
  ASSERT_EQ(document_.SetDuration(93.25, false), kXpOk);
  ASSERT_EQ(document_.SetRating(-2, false), kXpOk);
  ASSERT_EQ(document_.SetCheckCode(u"0A1B2C3D", false), kXpOk);
  ASSERT_EQ(document_.SetFileSize(6000000000LL, false), kXpOk);
  ASSERT_EQ(document_.SetLabelList({u"beach", u"\u00e9t\u00e9"}, false), kXpOk);
  const XpString path = PathOf("scalars.modd");
  ASSERT_EQ(document_.SaveToFile(path), kXpOk);

  ::SfModdXML reread;
  ASSERT_EQ(reread.Load(path), kXpOk);
  XpDateTime date;
  ASSERT_EQ(reread.GetDateTimeOriginal(&date), kXpOk);
  EXPECT_TRUE(date.IsValid());
  EXPECT_EQ(date.GetValue(), shot.GetValue());
  EXPECT_EQ(reread.GetDuration(), 93.25);
  EXPECT_EQ(reread.GetRating(), 0);
  int64_t storedRating = 0;
  ASSERT_EQ(reread.GetMetaData()->Find(u"Rating")->GetInt64(&storedRating), kXpOk);
  EXPECT_EQ(storedRating, -2);
  XpString code;
  ASSERT_EQ(reread.GetCheckCode(&code), kXpOk);
  EXPECT_EQ(code.ToMultiByte().ToStdString(), "0A1B2C3D");
  EXPECT_EQ(reread.GetFileSize(), 6000000000LL);
  const XpStringVector labels = reread.GetLabelList();
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].ToMultiByte().ToStdString(), "beach");
  EXPECT_EQ(labels[1].ToMultiByte().ToStdString(), "\xc3\xa9t\xc3\xa9");
}

TEST_F(SfModdXML, OverwriteFlagDecidesForExistingKeysOnly) {
  InitDocument();
  EXPECT_EQ(document_.SetCheckCode(u"11111111", false), kXpOk);
  EXPECT_EQ(document_.SetCheckCode(u"22222222", false), kXpErrValueKeyExists);
  XpString code;
  ASSERT_EQ(document_.GetCheckCode(&code), kXpOk);
  EXPECT_EQ(code.ToMultiByte().ToStdString(), "11111111");
  EXPECT_EQ(document_.SetCheckCode(u"33333333", true), kXpOk);
  ASSERT_EQ(document_.GetCheckCode(&code), kXpOk);
  EXPECT_EQ(code.ToMultiByte().ToStdString(), "33333333");

  EXPECT_EQ(document_.SetDuration(1.5, true), kXpOk);
  EXPECT_EQ(document_.SetDuration(2.5, false), kXpErrValueKeyExists);
  EXPECT_EQ(document_.GetDuration(), 1.5);
  EXPECT_EQ(document_.SetLabelList({u"a"}, true), kXpOk);
  EXPECT_EQ(document_.SetLabelList({u"b"}, false), kXpErrValueKeyExists);
  EXPECT_EQ(document_.GetLabelList().size(), 1u);
}

TEST_F(SfModdXML, OverwriteReplacesAKeyOfTheWrongType) {
  LoadMeta("<key>Rating</key><string>high</string><key>FavoriteList</key><string>1</string>");
  EXPECT_EQ(document_.SetRating(4, false), kXpErrValueKeyExists);
  EXPECT_EQ(document_.SetRating(4, true), kXpOk);
  EXPECT_EQ(document_.GetRating(), 4);
  EXPECT_EQ(document_.SetFavoriteList({2, 5}, true), kXpOk);
  EXPECT_EQ(document_.GetFavoriteList(), (std::vector<int32_t>{2, 5}));
}

TEST_F(SfModdXML, MissingKeysAndAFreshDocumentGiveTheirCodes) {
  LoadMeta("");
  XpDateTime date(2000, 1, 1, 0, 0, 0);
  EXPECT_EQ(document_.GetDateTimeOriginal(&date), kXpErrValueNotFound);
  EXPECT_EQ(date.GetYear(), 2000);
  XpString code = u"kept";
  EXPECT_EQ(document_.GetCheckCode(&code), kXpErrValueNotFound);
  EXPECT_TRUE(document_.GetFavoriteList().empty());
  EXPECT_TRUE(document_.GetLabelList().empty());

  ::SfModdXML fresh;
  XpMemoryFile clip;
  EXPECT_EQ(fresh.SetDateTimeOriginal(XpDateTime(2000, 1, 1, 0, 0, 0), true), kXpErrGeneric);
  EXPECT_EQ(fresh.SetDuration(1.0, true), kXpErrGeneric);
  EXPECT_EQ(fresh.SetRating(1, true), kXpErrGeneric);
  EXPECT_EQ(fresh.SetCheckCode(u"00000000", true), kXpErrGeneric);
  EXPECT_EQ(fresh.SetFileSize(1, true), kXpErrGeneric);
  EXPECT_EQ(fresh.SetFavoriteList({1}, true), kXpErrGeneric);
  EXPECT_EQ(fresh.SetLabelList({u"a"}, true), kXpErrGeneric);
  EXPECT_EQ(fresh.SetGroupType(u"Division"), kXpErrGeneric);
  EXPECT_EQ(fresh.AddGroupFile(u"/a.mts", u"00000000", 1), kXpErrGeneric);
  EXPECT_EQ(fresh.AddAVCHDDivisionInfo(1, &clip), kXpErrGeneric);
  EXPECT_EQ(fresh.AddVTEntry(VTEntry{}), kXpErrValueNotFound);
  EXPECT_EQ(fresh.GetVTCount(), -1);
  EXPECT_EQ(fresh.GetDateTimeOriginal(&date), kXpErrGeneric);
  EXPECT_EQ(fresh.GetCheckCode(&code), kXpErrGeneric);
  EXPECT_EQ(fresh.RemoveVTList(), kXpErrGeneric);
  EXPECT_EQ(fresh.GetCount(), 0);
}

TEST_F(SfModdXML, DateOutsideTheRangeReadsAsNotValid) {
  LoadMeta("<key>DateTimeOriginal</key><real>9999999</real>");
  XpDateTime date;
  EXPECT_EQ(document_.GetDateTimeOriginal(&date), kXpOk);
  EXPECT_FALSE(date.IsValid());
  LoadMeta("<key>DateTimeOriginal</key><string>today</string>");
  XpDateTime untouched(2001, 2, 3, 0, 0, 0);
  EXPECT_EQ(document_.GetDateTimeOriginal(&untouched), kXpErrValueNotSupported);
  EXPECT_EQ(untouched.GetYear(), 2001);
}

TEST_F(SfModdXML, VTEntryIsStoredWithSixteenDecimalsAndReadBackExactly) {
  InitDocument();
  const VTEntry written{1, -2, 0.1, 0.5, -1.25, 7};
  ASSERT_EQ(document_.AddVTEntry(written), kXpOk);
  EXPECT_EQ(VTText(0), "1:-2:0.1000000000000000:0.5000000000000000:-1.2500000000000000:7");
  const XpString path = PathOf("vt.modd");
  ASSERT_EQ(document_.SaveToFile(path), kXpOk);

  ::SfModdXML reread;
  ASSERT_EQ(reread.Load(path), kXpOk);
  EXPECT_EQ(reread.GetVTCount(), 1);
  VTEntry entry;
  ASSERT_EQ(reread.GetVTEntry(0, &entry), kXpOk);
  EXPECT_EQ(entry.first, 1);
  EXPECT_EQ(entry.second, -2);
  EXPECT_EQ(entry.value1, 0.1);
  EXPECT_EQ(entry.value2, 0.5);
  EXPECT_EQ(entry.value3, -1.25);
  EXPECT_EQ(entry.last, 7);
}

TEST_F(SfModdXML, VTEntryIgnoresACommaLocale) {
  ScopedLocale comma("de_DE.UTF-8");
  if (!comma.IsActive()) GTEST_SKIP() << "no locale with ',' decimals on this system";
  ASSERT_EQ(std::localeconv()->decimal_point[0], ',');
  InitDocument();
  ASSERT_EQ(document_.AddVTEntry(VTEntry{1, -2, 0.1, 0.5, -1.25, 7}), kXpOk);
  EXPECT_EQ(VTText(0), "1:-2:0.1000000000000000:0.5000000000000000:-1.2500000000000000:7");
  VTEntry entry;
  ASSERT_EQ(document_.GetVTEntry(0, &entry), kXpOk);
  EXPECT_EQ(entry.value1, 0.1);
  EXPECT_EQ(entry.value2, 0.5);
  EXPECT_EQ(entry.value3, -1.25);
  EXPECT_EQ(entry.last, 7);
}

TEST_F(SfModdXML, VTEntryParsesFieldsUpToTheFirstBadOne) {
  struct Row {
    std::string text;
    VTEntry expected;  // read over a record of {11, 12, 0, 0, 0, 13}
  };
  const std::vector<Row> rows = {
      {"junk", {11, 12, -1.0, -1.0, -1.0, 13}},
      {"", {11, 12, -1.0, -1.0, -1.0, 13}},
      {"4:x:1.5:2:3:9", {4, 12, -1.0, -1.0, -1.0, 13}},
      {"4:5:1.5:oops:3:9", {4, 5, 1.5, -1.0, -1.0, 13}},
      {"4:5:1.5:2:3:", {4, 5, 1.5, 2.0, 3.0, 13}},
      {"4:5:1.5:2:3:9", {4, 5, 1.5, 2.0, 3.0, 9}},
      {" +4: -5: 1e2:-.5:+0.25: 9tail", {4, -5, 100.0, -0.5, 0.25, 9}},
      {"4 :5:1:2:3:9", {4, 12, -1.0, -1.0, -1.0, 13}},
      {"4:5:1,5:2:3:9", {4, 5, 1.0, -1.0, -1.0, 13}},
      {"99999999999:5:1:2:3:9", {11, 12, -1.0, -1.0, -1.0, 13}},
      {"4:5:0.1000000000000000:2:3:-2147483648", {4, 5, 0.1, 2.0, 3.0, INT32_MIN}},
  };
  InitDocument();
  XpIniElement* list = document_.GetOrCreateVTList();
  ASSERT_NE(list, nullptr);
  for (const Row& row : rows) {
    ASSERT_EQ(list->InsertAt(XpIniArray::kAppend, kXpIniTypeString, XpString::FromUtf8(row.text)),
              kXpOk);
  }
  for (size_t index = 0; index < rows.size(); ++index) {
    const Row& row = rows[index];
    VTEntry entry{11, 12, 0.0, 0.0, 0.0, 13};
    ASSERT_EQ(document_.GetVTEntry(static_cast<int32_t>(index), &entry), kXpOk) << row.text;
    EXPECT_EQ(entry.first, row.expected.first) << row.text;
    EXPECT_EQ(entry.second, row.expected.second) << row.text;
    EXPECT_EQ(entry.value1, row.expected.value1) << row.text;
    EXPECT_EQ(entry.value2, row.expected.value2) << row.text;
    EXPECT_EQ(entry.value3, row.expected.value3) << row.text;
    EXPECT_EQ(entry.last, row.expected.last) << row.text;
  }
}

TEST_F(SfModdXML, VTListIsMadeOnUseAndIndexesAreChecked) {
  InitDocument();
  EXPECT_EQ(document_.GetMetaData()->Find(u"VTList"), nullptr);
  EXPECT_EQ(document_.GetVTCount(), 0);
  ASSERT_NE(document_.GetMetaData()->Find(u"VTList"), nullptr);
  ASSERT_EQ(document_.AddVTEntry(VTEntry{1, 2, 3.0, 4.0, 5.0, 6}), kXpOk);
  VTEntry entry;
  EXPECT_EQ(document_.GetVTEntry(1, &entry), kXpErrValueNotFound);
  EXPECT_EQ(document_.GetVTEntry(-1, &entry), kXpErrValueNotFound);
  ASSERT_EQ(document_.GetOrCreateVTList()->InsertAt(XpIniArray::kAppend, kXpIniTypeInt, 5), kXpOk);
  EXPECT_EQ(document_.GetVTEntry(1, &entry), kXpErrValueNotFound);
  EXPECT_EQ(document_.RemoveVTList(), kXpOk);
  EXPECT_EQ(document_.GetMetaData()->Find(u"VTList"), nullptr);
  EXPECT_EQ(document_.RemoveVTList(), kXpOk);

  LoadMeta("<key>VTList</key><string>not a list</string>");
  EXPECT_EQ(document_.GetVTCount(), -1);
  EXPECT_EQ(document_.AddVTEntry(VTEntry{}), kXpErrValueNotFound);
  EXPECT_EQ(document_.GetVTEntry(0, &entry), kXpErrValueNotFound);
}

TEST_F(SfModdXML, GroupFilesMakeADivisionGroup) {
  InitDocument();
  ASSERT_EQ(document_.AddGroupFile(u"/m/00001.MTS", u"0000000A", 100), kXpOk);
  ASSERT_EQ(document_.AddGroupFile(u"/m/00002.MTS", u"0000000B", 200), kXpOk);
  EXPECT_EQ(document_.AddGroupFile(XpString(), u"0000000C", 300), kXpErrValueUnknownType);
  XpString type;
  ASSERT_EQ(document_.GetMetaData()->Find(u"GroupType")->GetString(&type), kXpOk);
  EXPECT_EQ(type.ToMultiByte().ToStdString(), "Division");
  ASSERT_EQ(document_.GetGroupFileCount(), 2);
  const std::vector<std::tuple<std::string, std::string, int64_t>> expected = {
      {"/m/00001.MTS", "0000000A", 100}, {"/m/00002.MTS", "0000000B", 200}};
  for (int32_t index = 0; index < 2; ++index) {
    XpString path;
    XpString code;
    int64_t size = 0;
    ASSERT_EQ(document_.GetGroupFile(index, &path, &code, &size), kXpOk);
    EXPECT_EQ(path.ToMultiByte().ToStdString(), std::get<0>(expected[static_cast<size_t>(index)]));
    EXPECT_EQ(code.ToMultiByte().ToStdString(), std::get<1>(expected[static_cast<size_t>(index)]));
    EXPECT_EQ(size, std::get<2>(expected[static_cast<size_t>(index)]));
  }
  XpString path;
  XpString code;
  int64_t size = 0;
  EXPECT_EQ(document_.GetGroupFile(2, &path, &code, &size), kXpErrValueNotFound);
  EXPECT_EQ(document_.GetGroupFile(2), nullptr);
  EXPECT_EQ(document_.SetGroupType(u"Division"), kXpOk);
  EXPECT_EQ(document_.SetGroupType(u"division"), kXpErrValueKeyExists);
}

TEST_F(SfModdXML, GroupTypeAndListOfAnotherKindRefuse) {
  struct Row {
    std::string metaBody;
    XpResult expected;
  };
  const std::vector<Row> rows = {
      {"<key>GroupType</key><string>Other</string>", kXpErrValueKeyExists},
      {"<key>GroupType</key><integer>1</integer>", kXpErrValueNoRoot},
      {"<key>GroupFileList</key><string>x</string>", kXpErrValueNoRoot},
  };
  for (const Row& row : rows) {
    LoadMeta(row.metaBody);
    EXPECT_EQ(document_.AddGroupFile(u"/m/a.MTS", u"00000000", 1), row.expected) << row.metaBody;
    EXPECT_EQ(document_.GetGroupFileCount(), 0) << row.metaBody;
  }
}

TEST_F(SfModdXML, GroupFilesAreFoundInTheSecondMetadataElement) {
  const std::string entry =
      "<dict><key>FilePath</key><string>/m/b.MTS</string>"
      "<key>CheckCode</key><string>DEADBEEF</string>"
      "<key>FileSize</key><integer>42</integer></dict>";
  const std::string body = std::string(kModdHeader) +
                           "<key>MetaDataList</key><array><dict/><dict>"
                           "<key>GroupFileList</key><array>" +
                           entry + "<string>odd</string></array></dict></array>";
  ASSERT_EQ(document_.Load(WritePlist("second.modd", body)), kXpOk);
  ASSERT_EQ(document_.GetGroupFileCount(), 2);
  XpString path;
  XpString code;
  int64_t size = 0;
  ASSERT_EQ(document_.GetGroupFile(0, &path, &code, &size), kXpOk);
  EXPECT_EQ(path.ToMultiByte().ToStdString(), "/m/b.MTS");
  EXPECT_EQ(code.ToMultiByte().ToStdString(), "DEADBEEF");
  EXPECT_EQ(size, 42);
  EXPECT_EQ(document_.GetGroupFile(1), nullptr);
  EXPECT_EQ(document_.GetGroupFile(1, &path, &code, &size), kXpErrValueNotFound);
}

TEST_F(SfModdXML, GroupFileWithAFieldOfTheWrongTypeIsNotRead) {
  LoadMeta(
      "<key>GroupFileList</key><array><dict><key>FilePath</key><string>/m/c.MTS</string>"
      "<key>CheckCode</key><string>00000001</string>"
      "<key>FileSize</key><string>9</string></dict></array>");
  XpString path = u"kept";
  XpString code;
  int64_t size = 5;
  EXPECT_EQ(document_.GetGroupFile(0, &path, &code, &size), kXpErrValueNotFound);
  EXPECT_EQ(path.ToMultiByte().ToStdString(), "kept");
  EXPECT_EQ(size, 5);
}

TEST_F(SfModdXML, DivisionInfoKeepsTheWholeClipFile) {
  std::vector<uint8_t> bytes(256);
  for (size_t index = 0; index < bytes.size(); ++index) bytes[index] = static_cast<uint8_t>(index);
  XpFile clip(WriteBytes("00001.CPI", bytes));
  ASSERT_EQ(clip.Open(kXpOpenRead), kXpOk);
  InitDocument();
  ASSERT_EQ(document_.AddAVCHDDivisionInfo(1000, &clip), kXpOk);
  const XpString path = PathOf("division.modd");
  ASSERT_EQ(document_.SaveToFile(path), kXpOk);

  ::SfModdXML reread;
  ASSERT_EQ(reread.Load(path), kXpOk);
  EXPECT_EQ(reread.GetAVCHDDivisionInfoCount(), 1);
  int64_t size = 0;
  XpMemoryFile destination;
  ASSERT_EQ(destination.Open(kXpOpenReadWrite), kXpOk);
  ASSERT_EQ(destination.Write("stale", 5, nullptr), kXpOk);
  ASSERT_EQ(reread.GetAVCHDDivisionInfo(0, &size, &destination), kXpOk);
  EXPECT_EQ(size, 1000);
  ASSERT_EQ(destination.GetSize(), 256);
  const uint8_t* stored = static_cast<const uint8_t*>(destination.GetBuffer());
  EXPECT_EQ(std::vector<uint8_t>(stored, stored + 256), bytes);
  EXPECT_EQ(reread.GetAVCHDDivisionInfo(1), nullptr);
  EXPECT_EQ(reread.GetAVCHDDivisionInfo(1, &size, &destination), kXpErrValueNotFound);
}

TEST_F(SfModdXML, DivisionInfoRefusesAListOfAnotherKindAndUndoesAFailedEntry) {
  LoadMeta("<key>AVCHDDivisionInfoList</key><string>x</string>");
  XpMemoryFile clip;
  EXPECT_EQ(document_.AddAVCHDDivisionInfo(1, &clip), kXpErrValueNoRoot);
  EXPECT_EQ(document_.GetAVCHDDivisionInfoCount(), 0);

  ::SfModdXML fresh;
  ASSERT_EQ(fresh.InitHeader(), kXpOk);
  XpFile clipFile(WriteBytes("broken.CPI", std::vector<uint8_t>(64, 1)));
  testsupport::FaultInjection faults;
  faults.Add(Fault(SysCall::kRead, (Root() / "broken.CPI").string()).Errno(EIO));
  ASSERT_EQ(clipFile.Open(kXpOpenRead), kXpOk);
  EXPECT_EQ(fresh.AddAVCHDDivisionInfo(1, &clipFile), kXpErrDeviceNotReady);
  EXPECT_EQ(fresh.GetAVCHDDivisionInfoCount(), 0);
}

TEST_F(SfModdXML, CheckCodeFoldsTheFirstBlockOfTheFile) {
  struct Row {
    std::string name;
    std::optional<std::vector<uint8_t>> bytes;  // none: no file
    XpResult expected;
    std::string code;
  };
  std::vector<uint8_t> longTail(3073, 0);
  longTail.back() = 0x55;
  std::vector<uint8_t> word(3072, 0);
  word[0] = 0x78;
  word[1] = 0x56;
  word[2] = 0x34;
  word[3] = 0x12;
  std::vector<uint8_t> odd = {0x01, 0x02, 0x03, 0x04, 0x10, 0x20};
  const std::vector<Row> rows = {
      {"four bytes", std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04}, kXpOk, "04030201"},
      {"partial word", odd, kXpOk, "04032211"},
      {"empty", std::vector<uint8_t>{}, kXpErrGeneric, "untouched"},
      {"missing", std::nullopt, kXpErrGeneric, "untouched"},
      {"all ones", std::vector<uint8_t>(3072, 0xFF), kXpOk, "00000000"},
      {"byte past the block", longTail, kXpOk, "00000000"},
      {"one word", word, kXpOk, "12345678"},
  };
  for (const Row& row : rows) {
    const XpString path = row.bytes ? WriteBytes("movie.mts", *row.bytes) : PathOf("none.mts");
    XpString code = u"untouched";
    EXPECT_EQ(::SfModdXML::CalcCheckCode(path, &code), row.expected) << row.name;
    EXPECT_EQ(code.ToMultiByte().ToStdString(), row.code) << row.name;
  }
}

TEST_F(SfModdXML, CheckCodeSurvivesShortReadsAndReportsReadErrors) {
  std::vector<uint8_t> bytes(4000);
  for (size_t index = 0; index < bytes.size(); ++index)
    bytes[index] = static_cast<uint8_t>(index * 7);
  const XpString path = WriteBytes("movie.mts", bytes);
  XpString whole;
  ASSERT_EQ(::SfModdXML::CalcCheckCode(path, &whole), kXpOk);

  testsupport::FaultInjection faults;
  faults.Add(Fault(SysCall::kRead, (Root() / "movie.mts").string()).AtMost(7));
  XpString chunked;
  ASSERT_EQ(::SfModdXML::CalcCheckCode(path, &chunked), kXpOk);
  EXPECT_EQ(chunked.ToMultiByte().ToStdString(), whole.ToMultiByte().ToStdString());

  faults.Clear();
  faults.Add(Fault(SysCall::kRead, (Root() / "movie.mts").string()).Errno(EIO));
  XpString failed = u"untouched";
  EXPECT_EQ(::SfModdXML::CalcCheckCode(path, &failed), kXpErrDeviceNotReady);
  EXPECT_EQ(failed.ToMultiByte().ToStdString(), "untouched");
}

}  // namespace
