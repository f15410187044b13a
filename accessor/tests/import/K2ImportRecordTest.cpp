#include "accessor/import/K2ImportRecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "accessor/import/K2MakeDCFObjFromImportedObject.h"
#include "accessor/tests/task/TaskTestSupport.h"
#include "camerastore/dcf/K2DCFObj.h"
#include "camerastore/dcf/XpDCFObj.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/tags/XpGPSInfo.h"
#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/XpFile.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/value/XpIniDict.h"

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kTagExif = 34665;
constexpr uint16_t kTagGps = 34853;
constexpr uint16_t kTagDateTime = 306;
constexpr double kTenthOfASecond = 0.1 / 86400.0;

// A tag tree with IFD 0 (with an Exif IFD and, when given, a GPS IFD) as
// the JPEG writer takes it.
class TagTree {
 public:
  TagTree() : tags_(new XpTiffTagManager()) {
    EXPECT_TRUE(tags_->Reset());
    ifd0_ = new XpTiffTagIFD();
    exif_ = new XpTiffTagIFD();
    XpTiffTagDataIFD* exifPointer = XpTiffTagDataIFD::Create(kTagExif, 0);
    exifPointer->AddIFD(exif_);
    ifd0_->SetEntry(exifPointer);
    tags_->GetRoot()->AddIFD(ifd0_);
  }

  XpTiffTagIFD& Ifd0() { return *ifd0_; }
  XpTiffTagIFD& Exif() { return *exif_; }
  void SetGps(const XpGPSInfo& info) {
    auto* gps = new XpTiffTagIFD();
    EXPECT_EQ(info.WriteToIFD(*gps), kXpOk);
    XpTiffTagDataIFD* pointer = XpTiffTagDataIFD::Create(kTagGps, 0);
    pointer->AddIFD(gps);
    ifd0_->SetEntry(pointer);
  }
  XpSharedPtr<XpTiffTagManager> Get() const { return tags_; }

 private:
  XpSharedPtr<XpTiffTagManager> tags_;
  XpTiffTagIFD* ifd0_ = nullptr;
  XpTiffTagIFD* exif_ = nullptr;
};

struct Rational3 {
  uint32_t numbers[6];
};

void SetCoordinate(XpGPSRef& reference, XpGPSRational3& coordinate, char16_t letter,
                   const Rational3& parts) {
  reference.present = true;
  reference.value = letter;
  coordinate.present = true;
  for (uint32_t i = 0; i < XpGPSRational3::kNumbers; ++i) coordinate.numbers[i] = parts.numbers[i];
}

class ImportRecordFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    pc_ = Dir("pc/x");
  }

  fs::path Pc(const std::string& name) const { return pc_ / name; }
  XpString WPc(const std::string& name) const { return XpString::FromUtf8(Pc(name).string()); }

  K2ImportedObject Object(const std::vector<std::string>& names,
                          std::vector<int32_t> favourites = {}) const {
    K2ImportedObject object;
    for (const std::string& name : names) object.files.push_back(WPc(name));
    object.favourites = std::move(favourites);
    object.date = XpDateTime(2024, 5, 6, 7, 8, 9);
    return object;
  }

  // The one content of a record built from object.
  XpIniDict* BuildOne(K2ImportRecord& record, const K2ImportedObject& object) {
    EXPECT_EQ(record.Build({object}, XpString::FromUtf8(pc_.string())), kXpOk);
    return Content(record, 0);
  }

  static XpIniDict* Content(const K2ImportRecord& record, uint32_t index) {
    XpIniElement* group = record.FindContentsGroup(K2ImportRecord::kGroupName);
    return dynamic_cast<XpIniDict*>(SfContentInfoXML::GetContents(group, index));
  }

  static std::vector<std::string> Keys(const XpIniDict* dict) {
    std::vector<std::string> keys;
    XpString key;
    for (uint32_t i = 0; dict != nullptr && dict->GetKeyAt(i, &key) == kXpOk; ++i) {
      keys.push_back(key.ToMultiByte().ToStdString());
    }
    return keys;
  }

  static std::optional<int64_t> Integer(const XpIniDict* dict, const char16_t* key) {
    int64_t value = 0;
    const XpIniElement* element = dict->Find(key);
    if (element == nullptr || element->GetType() != kXpIniTypeInt ||
        element->GetInt64(&value) != kXpOk) {
      return std::nullopt;
    }
    return value;
  }

  static std::optional<double> Real(const XpIniDict* dict, const char16_t* key) {
    double value = 0.0;
    const XpIniElement* element = dict->Find(key);
    if (element == nullptr || element->GetType() != kXpIniTypeReal ||
        element->GetReal(&value) != kXpOk) {
      return std::nullopt;
    }
    return value;
  }

  static std::optional<std::string> Text(const XpIniDict* dict, const char16_t* key) {
    XpString value;
    const XpIniElement* element = dict->Find(key);
    if (element == nullptr || element->GetType() != kXpIniTypeString ||
        element->GetString(&value) != kXpOk) {
      return std::nullopt;
    }
    return value.ToMultiByte().ToStdString();
  }

  fs::path pc_;
};

using K2ImportRecord = ImportRecordFixture;

TEST_F(K2ImportRecord, AnEmptyListGivesTheHeaderAndOneEmptyGroup) {
  ::K2ImportRecord record;
  ASSERT_EQ(record.Build({}, u"/home/u/Pictures/x/"), kXpOk);

  EXPECT_EQ(Text(&record, u"XMLFileType"), "ContentInfoXML");
  EXPECT_EQ(Text(&record, u"SourceApp"), "Accessor/K2");
  EXPECT_EQ(Text(&record, u"ImportDirPath"), "/home/u/Pictures/x/");
  ASSERT_EQ(record.GetContentsGroupCount(), 1);
  XpIniElement* group = record.GetContentsGroup(0);
  EXPECT_EQ(Text(dynamic_cast<XpIniDict*>(group), u"GroupName"), "ImportedDCFObjects");
  EXPECT_EQ(SfContentInfoXML::GetContentsCount(group), 0);
}

TEST_F(K2ImportRecord, AMovieHasItsTypeDatesFavouritesAndFilesOnly) {
  task_test::WriteBytes(Pc("DSC00007.MPG"), std::string(64, 'm'));
  task_test::WriteBytes(Pc("DSC00007.THM"), std::string(32, 't'));
  task_test::SetModified(Pc("DSC00007.THM"), 1700000000);
  const K2ImportedObject object = Object({"DSC00007.MPG", "DSC00007.THM"}, {2, 5});
  ::K2ImportRecord record;
  const XpIniDict* content = BuildOne(record, object);
  ASSERT_NE(content, nullptr);

  // The file lists the keys in the dictionary's order.
  EXPECT_EQ(Keys(content),
            (std::vector<std::string>{"ContentType", "DateTimeCreated", "DateTimeModefied",
                                      "DateTimeOriginal", "FavoriteList", "Files"}));
  XpSharedPtr<K2DCFObj> shot = K2MakeDCFObjFromImportedObject(object);
  const auto kind = static_cast<int32_t>(shot->GetDCFObj()->GetFormatKind());
  EXPECT_EQ(Integer(content, u"ContentType"), static_cast<int64_t>(kind));
  EXPECT_EQ(Real(content, u"DateTimeOriginal"), object.date.GetValue());
  XpDateTime modified;
  ASSERT_EQ(XpFile(WPc("DSC00007.THM")).GetTimes(nullptr, &modified, nullptr), kXpOk);
  EXPECT_EQ(Real(content, u"DateTimeModefied"), modified.GetValue());

  const XpIniElement* favourites = content->Find(u"FavoriteList");
  ASSERT_NE(favourites, nullptr);
  ASSERT_EQ(favourites->GetCount(), 2);
  int64_t number = 0;
  ASSERT_EQ(favourites->GetAt(0)->GetInt64(&number), kXpOk);
  EXPECT_EQ(number, 2);
  ASSERT_EQ(favourites->GetAt(1)->GetInt64(&number), kXpOk);
  EXPECT_EQ(number, 5);

  const XpIniElement* files = content->Find(u"Files");
  ASSERT_NE(files, nullptr);
  ASSERT_EQ(SfContentInfoXML::GetFileCount(content), 2);
  XpString path;
  ASSERT_EQ(SfContentInfoXML::GetFile(content, 0, &path), kXpOk);
  EXPECT_EQ(path, object.files[0]);
  ASSERT_EQ(SfContentInfoXML::GetFile(content, 1, &path), kXpOk);
  EXPECT_EQ(path, object.files[1]);
}

TEST_F(K2ImportRecord, AJpegWithoutExifHasItsSizeAndNoTagKeys) {
  task_test::WritePlainJpeg(Pc("DSC00001.JPG"));
  ::K2ImportRecord record;
  const XpIniDict* content = BuildOne(record, Object({"DSC00001.JPG"}));
  ASSERT_NE(content, nullptr);

  EXPECT_EQ(Integer(content, u"ImageWidth"), 16);
  EXPECT_EQ(Integer(content, u"ImageHeight"), 16);
  EXPECT_EQ(Keys(content),
            (std::vector<std::string>{"ContentType", "DateTimeCreated", "DateTimeModefied",
                                      "DateTimeOriginal", "Files", "ImageHeight",
                                      "ImageWidth"}));
}

struct ExifCase {
  const char* name;
  uint32_t exposureNumerator;
  uint32_t exposureDenominator;
  uint32_t focalNumerator;
  uint32_t focalDenominator;
  std::optional<int64_t> exposureNumeratorKey;
  std::optional<int64_t> exposureDenominatorKey;
  std::optional<double> focalLength;
};

TEST_F(K2ImportRecord, ExifTagsGiveTheirKeysAndZeroDenominatorsLeaveThemOut) {
  const ExifCase cases[] = {
      {"zero denominators", 1, 0, 50, 0, std::nullopt, std::nullopt, std::nullopt},
      {"usable rationals", 1, 250, 50, 1, 1, 250, 50.0},
      {"full 32-bit parts", 4294967295u, 4294967295u, 4294967295u, 2, 4294967295, 4294967295,
       2147483647.5},
  };
  for (const ExifCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string("P") + std::to_string(&c - cases) + ".JPG";
    TagTree tags;
    tags.Ifd0().SetAscii(271, "K");
    tags.Ifd0().SetAscii(272, "Z");
    tags.Exif().SetShort(34855, 200);
    tags.Exif().SetShort(37385, 16);
    tags.Exif().SetRational(33434, c.exposureNumerator, c.exposureDenominator);
    tags.Exif().SetRational(37386, c.focalNumerator, c.focalDenominator);
    tags.Exif().SetRational(33437, 28, 10);
    task_test::WriteJpeg(Pc(name), tags.Get());

    ::K2ImportRecord record;
    const XpIniDict* content = BuildOne(record, Object({name}));
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(Integer(content, u"ISOSpeedRatings"), 200);
    EXPECT_EQ(Integer(content, u"Flash"), 16);
    EXPECT_EQ(Text(content, u"Make"), "K");
    EXPECT_EQ(Text(content, u"Model"), "Z");
    EXPECT_EQ(Real(content, u"FNumber"), 2.8);
    EXPECT_EQ(Integer(content, u"ExposureTimeNumerator"), c.exposureNumeratorKey);
    EXPECT_EQ(Integer(content, u"ExposureTimeDenominator"), c.exposureDenominatorKey);
    EXPECT_EQ(Real(content, u"FocalLength"), c.focalLength);
    EXPECT_EQ(Real(content, u"Latitude"), std::nullopt);
  }
}

struct GpsCase {
  const char* name;
  Rational3 latitude;
  char16_t latitudeRef;
  Rational3 longitude;
  char16_t longitudeRef;
  std::optional<double> expectedLatitude;
  std::optional<double> expectedLongitude;
};

TEST_F(K2ImportRecord, GpsPositionsAreComputedFromTheUnsignedParts) {
  const Rational3 east = {{139, 1, 45, 1, 0, 1}};
  const double eastDegrees = 139.75;
  const GpsCase cases[] = {
      {"north with seconds", {{35, 1, 40, 1, 30, 1}}, u'N', east, u'E', 35.675, eastDegrees},
      {"south", {{35, 1, 40, 1, 30, 1}}, u'S', east, u'E', -35.675, eastDegrees},
      {"west", {{35, 1, 40, 1, 30, 1}}, u'N', east, u'W', 35.675, -eastDegrees},
      {"fractional minutes", {{35, 1, 4050, 100, 0, 1}}, u'N', east, u'E', 35.675, eastDegrees},
      {"fractional seconds", {{35, 1, 40, 1, 3000, 100}}, u'N', east, u'E', 35.675, eastDegrees},
      {"no seconds, their denominator 0", {{35, 1, 30, 1, 0, 0}}, u'N', east, u'E', 35.5,
       eastDegrees},
      {"seconds over a denominator of 0", {{35, 1, 30, 1, 5, 0}}, u'N', east, u'E',
       std::nullopt, std::nullopt},
      {"minutes denominator 0", {{35, 1, 40, 0, 30, 1}}, u'N', east, u'E', std::nullopt,
       std::nullopt},
      {"longitude reference X", {{35, 1, 40, 1, 30, 1}}, u'N', east, u'X', std::nullopt,
       std::nullopt},
      {"latitude over 90", {{91, 1, 0, 1, 0, 1}}, u'N', east, u'E', std::nullopt,
       std::nullopt},
      {"largest denominators", {{35, 1, 4294967295u, 4294967295u, 0, 1}}, u'N', east, u'E',
       35.0 + 1.0 / 60.0, eastDegrees},
  };
  for (const GpsCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string("G") + std::to_string(&c - cases) + ".JPG";
    XpGPSInfo info;
    SetCoordinate(info.latitudeRef, info.latitude, c.latitudeRef, c.latitude);
    SetCoordinate(info.longitudeRef, info.longitude, c.longitudeRef, c.longitude);
    TagTree tags;
    tags.SetGps(info);
    task_test::WriteJpeg(Pc(name), tags.Get());

    ::K2ImportRecord record;
    const XpIniDict* content = BuildOne(record, Object({name}));
    ASSERT_NE(content, nullptr);
    const std::optional<double> latitude = Real(content, u"Latitude");
    const std::optional<double> longitude = Real(content, u"Longitude");
    ASSERT_EQ(latitude.has_value(), c.expectedLatitude.has_value());
    ASSERT_EQ(longitude.has_value(), c.expectedLongitude.has_value());
    if (latitude) {
      EXPECT_DOUBLE_EQ(*latitude, *c.expectedLatitude);
      EXPECT_DOUBLE_EQ(*longitude, *c.expectedLongitude);
    }
  }
}

TEST_F(K2ImportRecord, APicturesModificationDateIsItsFileDate) {
  struct Case {
    const char* name;
    int64_t fileOffsetSeconds;
    bool takesTagDate;
  } cases[] = {{"one second after the tag", 1, true},
               {"one second before the tag", -1, true},
               {"two seconds after the tag", 2, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string("D") + std::to_string(&c - cases) + ".JPG";
    // The writer stamps the picture's DateTime itself.
    task_test::WriteJpeg(Pc(name), TagTree().Get());
    XpDateTime tagged;
    ASSERT_TRUE(XpFormatChecker::ReadTagDate(
        WPc(name), XpFormatChecker::DetectFormatKind(WPc(name)), kTagDateTime, tagged));
    task_test::SetModified(Pc(name), tagged.ToTime64() + c.fileOffsetSeconds);
    XpDateTime fileTime;
    ASSERT_EQ(XpFile(WPc(name)).GetTimes(nullptr, &fileTime, nullptr), kXpOk);

    ::K2ImportRecord record;
    const XpIniDict* content = BuildOne(record, Object({name}));
    ASSERT_NE(content, nullptr);
    const std::optional<double> modified = Real(content, u"DateTimeModefied");
    ASSERT_TRUE(modified.has_value());
    // Dates read from text and from the file differ in the last bits only.
    EXPECT_NEAR(*modified, c.takesTagDate ? tagged.GetValue() : fileTime.GetValue(),
                kTenthOfASecond);
  }
}

TEST_F(K2ImportRecord, AContentWithoutFileTimesEndsTheBuildAndTheSavedFileKeepsTheOnesBefore) {
  task_test::WritePlainJpeg(Pc("DSC00001.JPG"));
  const std::vector<K2ImportedObject> objects = {Object({"DSC00001.JPG"}),
                                                 Object({"DSC00002.JPG"}),
                                                 Object({"DSC00001.JPG"})};
  ::K2ImportRecord record;
  EXPECT_EQ(record.Build(objects, XpString::FromUtf8(pc_.string())), kXpErrGeneric);
  const XpString saved = XpString::FromUtf8((Root() / "record.xml").string());
  ASSERT_EQ(record.SaveToFile(saved), kXpOk);

  SfContentInfoXML loaded;
  ASSERT_EQ(loaded.LoadFromFile(saved), kXpOk);
  XpIniElement* group = loaded.FindContentsGroup(u"ImportedDCFObjects");
  ASSERT_EQ(SfContentInfoXML::GetContentsCount(group), 1);
  XpString path;
  ASSERT_EQ(SfContentInfoXML::GetFile(SfContentInfoXML::GetContents(group, 0), 0, &path), kXpOk);
  EXPECT_EQ(path, WPc("DSC00001.JPG"));
  EXPECT_EQ(Text(&loaded, u"SourceApp"), "Accessor/K2");
}

TEST_F(K2ImportRecord, InnerStepsRefuseNullArguments) {
  ::K2ImportRecord record;
  XpIniDict content;
  EXPECT_EQ(record.AddContentProperties(XpSharedPtr<K2DCFObj>(), &content), kXpErrBadArgument);
  EXPECT_EQ(record.AddContentProperties(K2MakeDCFObjFromImportedObject(Object({"a.JPG"})),
                                        nullptr),
            kXpErrBadArgument);
  EXPECT_EQ(record.AddPictureProperties(XpSharedPtr<XpDCFObj>(new XpDCFObj()), nullptr),
            kXpErrBadArgument);
  // An object without files cannot tell its file times.
  EXPECT_EQ(record.AddContent(K2ImportedObject(), &content), kXpErrGeneric);
  EXPECT_EQ(Real(&content, u"DateTimeCreated"), std::nullopt);
}

TEST_F(K2ImportRecord, AnUnreadablePictureOnlyLeavesOutThePictureKeys) {
  task_test::WriteBytes(Pc("DSC00003.JPG"), "not a picture");
  ::K2ImportRecord record;
  const XpIniDict* content = BuildOne(record, Object({"DSC00003.JPG"}, {1}));
  ASSERT_NE(content, nullptr);
  EXPECT_EQ(Keys(content),
            (std::vector<std::string>{"ContentType", "DateTimeCreated", "DateTimeModefied",
                                      "DateTimeOriginal", "FavoriteList", "Files"}));
}

TEST_F(K2ImportRecord, TheDcfObjectCarriesDateAndFavouritesOnlyWithFiles) {
  task_test::WritePlainJpeg(Pc("DSC00001.JPG"));
  const K2ImportedObject object = Object({"DSC00001.JPG"}, {1, 3});
  XpSharedPtr<K2DCFObj> shot = K2MakeDCFObjFromImportedObject(object);
  ASSERT_TRUE(shot);
  EXPECT_EQ(shot->GetDate().GetValue(), object.date.GetValue());
  EXPECT_EQ(shot->GetSubList(), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(shot->GetDCFObj()->GetPictureFile()->GetPath(), object.files[0]);

  K2ImportedObject empty = object;
  empty.files.clear();
  XpSharedPtr<K2DCFObj> none = K2MakeDCFObjFromImportedObject(empty);
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->GetDate().IsValid());
  EXPECT_TRUE(none->GetSubList().empty());
}

}  // namespace
