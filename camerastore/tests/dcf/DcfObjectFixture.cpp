#include "camerastore/tests/dcf/DcfObjectFixture.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <new>

#include <gtest/gtest.h>

#include "imaging/geometry/XpRect.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tags/XpTiffTagData.h"
#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpFile.h"

namespace dcftest {
namespace {

constexpr uint16_t kMakeTag = 271;
constexpr uint16_t kModelTag = 272;
constexpr uint16_t kExifIFDTag = 34665;
constexpr uint16_t kGPSIFDTag = 34853;
constexpr uint16_t kDateTimeOriginalTag = 36867;
constexpr uint16_t kRationalType = 5;
constexpr uint16_t kByteType = 1;

constexpr uint8_t kApp1Marker = 0xE1;
constexpr int32_t kPictureWidth = 16;
constexpr int32_t kPictureHeight = 8;

// A GPS rational triple.
XpTiffTagDataBase* Rationals(uint16_t tag, const uint32_t (&parts)[6]) {
  XpTiffTagDataBase* value = XpTiffTagDataCreate(kRationalType, tag, 3);
  std::memcpy(value->GetData(), parts, sizeof parts);
  return value;
}

XpTiffTagIFD* GpsIFD() {
  auto* gps = new XpTiffTagIFD();
  const uint8_t version[4] = {2, 2, 0, 0};
  XpTiffTagDataBase* versionValue = XpTiffTagDataCreate(kByteType, 0, 4);
  std::memcpy(versionValue->GetData(), version, sizeof version);
  gps->SetEntry(versionValue);
  gps->SetAscii(1, "N");
  gps->SetEntry(Rationals(2, {35, 1, 39, 1, 2940, 100}));
  gps->SetAscii(3, "E");
  gps->SetEntry(Rationals(4, {139, 1, 44, 1, 3000, 100}));
  return gps;
}

}  // namespace

std::unique_ptr<XpTiffTagManager> MakeExifTags(const ExifFields& fields) {
  auto tags = std::make_unique<XpTiffTagManager>();
  EXPECT_TRUE(tags->Reset());
  auto* ifd0 = new XpTiffTagIFD();
  if (!fields.make.empty()) {
    ifd0->SetAscii(kMakeTag, fields.make.c_str());
  }
  if (!fields.model.empty()) {
    ifd0->SetAscii(kModelTag, fields.model.c_str());
  }
  auto* exif = new XpTiffTagIFD();
  if (!fields.dateTimeOriginal.empty()) {
    exif->SetAscii(kDateTimeOriginalTag, fields.dateTimeOriginal.c_str());
  }
  XpTiffTagDataIFD* exifValue = XpTiffTagDataIFD::Create(kExifIFDTag, 0);
  exifValue->AddIFD(exif);
  ifd0->SetEntry(exifValue);
  if (fields.gps) {
    XpTiffTagDataIFD* gpsValue = XpTiffTagDataIFD::Create(kGPSIFDTag, 0);
    gpsValue->AddIFD(GpsIFD());
    ifd0->SetEntry(gpsValue);
  }
  tags->GetRoot()->AddIFD(ifd0);
  return tags;
}

void DcfObjectTest::SetUp() {
  VolumeTest::SetUp();
  sysfs_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
  testsupport::FakeMount camera;
  camera.mountPoint = Cam().string();
  camera.fileSystemType = "vfat";
  camera.source = "/dev/sdb1";
  camera.major = 8;
  camera.minor = 17;
  sysfs_->AddMount(camera);
}

std::filesystem::path DcfObjectTest::CamFile(const std::string& relative,
                                             const std::string& bytes) const {
  const std::filesystem::path path = Cam() / relative;
  std::filesystem::create_directories(path.parent_path());
  fstest::WriteBytes(path, bytes);
  return path;
}

std::filesystem::path DcfObjectTest::CamJpeg(const std::string& relative,
                                             std::unique_ptr<XpTiffTagManager> tags) const {
  const std::filesystem::path path = Cam() / relative;
  std::filesystem::create_directories(path.parent_path());
  XpPixmapBGR24NoHandle pixmap;
  EXPECT_EQ(pixmap.Allocate(kPictureWidth, kPictureHeight), kXpOk);
  const XpPlaneBase& plane = *pixmap.GetPlane(0);
  for (int32_t y = 0; y < kPictureHeight; ++y) {
    std::memset(plane.Row(y), 0x80, static_cast<size_t>(kPictureWidth) * 3);
  }
  XpImageIoJpeg writer(XpImageIoJpeg::kDefaultQuality, u"dcf test");
  EXPECT_EQ(writer.WriteToPath(&pixmap, XpSharedPtr<XpTiffTagManager>(tags.release()),
                               fstest::ToXp(path), nullptr, XpRect(), false, false),
            kXpOk);
  return path;
}

std::filesystem::path DcfObjectTest::ShotFile(const std::string& name,
                                              const std::string& bytes) const {
  const std::filesystem::path path = CamFile("DCIM/100ZXDCF/" + name, bytes);
  SetMtime(path, kShotTime);
  return path;
}

std::vector<std::filesystem::path> DcfObjectTest::JpegAndThumbnail() const {
  return {ShotFile("DSC00001.JPG", kJpegBytes), ShotFile("DSC00001.THM", kThumbnailBytes)};
}

std::filesystem::path DcfObjectTest::CamJpegWithoutExif(const std::string& relative) const {
  const std::filesystem::path path = CamJpeg(relative, nullptr);
  const std::string bytes = fstest::ReadBytes(path);
  // SOI, then segments of marker and big-endian length up to the first one
  // that is not an APPn.
  std::string kept = bytes.substr(0, 2);
  size_t at = 2;
  while (at + 4 <= bytes.size() && static_cast<uint8_t>(bytes[at]) == 0xFF &&
         (static_cast<uint8_t>(bytes[at + 1]) & 0xF0) == 0xE0) {
    const size_t length = (static_cast<size_t>(static_cast<uint8_t>(bytes[at + 2])) << 8) |
                          static_cast<uint8_t>(bytes[at + 3]);
    if (static_cast<uint8_t>(bytes[at + 1]) != kApp1Marker) {
      kept += bytes.substr(at, 2 + length);
    }
    at += 2 + length;
  }
  kept += bytes.substr(at);
  EXPECT_LT(kept.size(), bytes.size()) << "no Exif block to cut";
  fstest::WriteBytes(path, kept);
  return path;
}

XpSharedPtr<XpAbstractFSObj> DcfObjectTest::FileMember(const std::filesystem::path& path) {
  if (std::filesystem::is_directory(path)) {
    return XpSharedPtr<XpAbstractFSObj>(new XpDir(fstest::ToXp(path)));
  }
  return XpSharedPtr<XpAbstractFSObj>(new XpFile(fstest::ToXp(path)));
}

void DcfObjectTest::AddMembers(::XpDCFObj& shot, const std::vector<std::filesystem::path>& paths) {
  for (const std::filesystem::path& path : paths) {
    ASSERT_EQ(shot.AddFile(FileMember(path)), kXpOk) << path;
  }
}

std::set<std::string> DcfObjectTest::NamesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

void DcfObjectTest::SetMtime(const std::filesystem::path& path, time_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

}  // namespace dcftest
