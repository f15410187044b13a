#include "accessor/tests/tools/ExportFixture.h"

#include <gtest/gtest.h>

// libjpeg needs FILE and size_t first.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include <jpeglib.h>

#include "accessor/settings/K2ExportConfig.h"
#include "framework/suite/SfContentInfoXML.h"
#include "imaging/geometry/XpRect.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "outside/fsk/k2xdb/K2xdbTool.h"
#include "platform/registry/XpRegistry.h"
#include "platform/text/XpString.h"
#include "platform/value/XpIniElement.h"

namespace export_fixture {

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kExifIfdTag = 34665;
constexpr uint16_t kDateTimeOriginalTag = 36867;
constexpr uint16_t kMakeTag = 271;
constexpr int32_t kCameraPictureSide = 32;
constexpr int kPlainQuality = 85;
constexpr unsigned char kPackHeader[] = {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x00, 0x01};

uint8_t Ramp(int32_t at, int32_t length) { return static_cast<uint8_t>(255 * at / std::max(1, length - 1)); }

XpSharedPtr<XpTiffTagManager> Tags(const char* shotAt) {
  XpSharedPtr<XpTiffTagManager> tags(new XpTiffTagManager());
  EXPECT_TRUE(tags->Reset());
  auto* ifd0 = new XpTiffTagIFD();
  ifd0->SetAscii(kMakeTag, "KAVO");
  if (shotAt != nullptr) {
    auto* exif = new XpTiffTagIFD();
    exif->SetAscii(kDateTimeOriginalTag, shotAt);
    XpTiffTagDataIFD* pointer = XpTiffTagDataIFD::Create(kExifIfdTag, 0);
    pointer->AddIFD(exif);
    ifd0->SetEntry(pointer);
  }
  tags->GetRoot()->AddIFD(ifd0);
  return tags;
}

}  // namespace

void WritePicture(const fs::path& path, int32_t width, int32_t height, const char* shotAt) {
  fs::create_directories(path.parent_path());
  XpPixmapBGR24NoHandle pixmap;
  ASSERT_EQ(pixmap.Allocate(width, height), kXpOk);
  const XpPlaneBase& plane = *pixmap.GetPlane(0);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = plane.Row(y);
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x] = Ramp(x, width);
      row[3 * x + 1] = Ramp(y, height);
      row[3 * x + 2] = 96;
    }
  }
  XpImageIoJpeg writer(XpImageIoJpeg::kDefaultQuality, u"Kavo export test");
  ASSERT_EQ(writer.WriteToPath(&pixmap, Tags(shotAt), XpString::FromUtf8(path.string()), nullptr,
                               XpRect(), false, false),
            kXpOk);
}

void WritePlainPicture(const fs::path& path, int32_t width, int32_t height) {
  fs::create_directories(path.parent_path());
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  jpeg_compress_struct compress{};
  jpeg_error_mgr errors{};
  compress.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compress);
  jpeg_stdio_dest(&compress, file);
  compress.image_width = static_cast<JDIMENSION>(width);
  compress.image_height = static_cast<JDIMENSION>(height);
  compress.input_components = 3;
  compress.in_color_space = JCS_RGB;
  jpeg_set_defaults(&compress);
  jpeg_set_quality(&compress, kPlainQuality, TRUE);
  jpeg_start_compress(&compress, TRUE);
  std::vector<JSAMPLE> row(static_cast<size_t>(width) * 3);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x] = Ramp(x, width);
      row[3 * x + 1] = 200;
      row[3 * x + 2] = Ramp(y, height);
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(&compress, rows, 1);
  }
  jpeg_finish_compress(&compress);
  jpeg_destroy_compress(&compress);
  std::fclose(file);
}

void ReadPictureSize(const fs::path& path, int32_t* width, int32_t* height) {
  *width = 0;
  *height = 0;
  FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr) << path;
  jpeg_decompress_struct decompress{};
  jpeg_error_mgr errors{};
  decompress.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&decompress);
  jpeg_stdio_src(&decompress, file);
  if (jpeg_read_header(&decompress, TRUE) == JPEG_HEADER_OK) {
    *width = static_cast<int32_t>(decompress.image_width);
    *height = static_cast<int32_t>(decompress.image_height);
  }
  jpeg_destroy_decompress(&decompress);
  std::fclose(file);
}

void WriteMovie(const fs::path& path, int64_t bytes) {
  std::string data(reinterpret_cast<const char*>(kPackHeader), sizeof(kPackHeader));
  data.resize(static_cast<size_t>(bytes), '\0');
  WriteBytes(path, data);
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    const std::string relative = it->path().lexically_relative(root).string();
    files[relative] = it->is_directory() ? std::string("<folder>") : ReadBytes(it->path());
  }
  return files;
}

void MakeDatabase(const fs::path& folder) {
  std::ostringstream out;
  std::ostringstream err;
  K2xdbTool tool(out, err);
  ASSERT_EQ(tool.Run({"init", folder.string()}), K2xdbTool::kDone) << err.str();
}

void MakeCamera(testsupport::FakeSysfs& fake, const fs::path& mountPoint, int32_t pictures) {
  testsupport::FakeVolume volume;
  volume.mountPoint = mountPoint.string();
  volume.vendorId = kCameraVendor;
  volume.productId = kCameraProduct;
  volume.label = "CAMERA";
  fake.AddVolume(volume);
  fs::create_directories(mountPoint / "DCIM");
  for (int32_t number = 1; number <= pictures; ++number) {
    char name[32];
    std::snprintf(name, sizeof(name), "DSC%05d.JPG", number);
    WritePicture(mountPoint / "DCIM" / "100ABCDE" / name, kCameraPictureSide, kCameraPictureSide,
                 "2023:01:01 10:00:00");
  }
  MakeDatabase(mountPoint / "DBFILES");
}

void WriteRegistry(const fs::path& tempDir, bool convert) {
  XpRegistry machine;
  ASSERT_EQ(machine.Open(K2ExportConfig::kVersionKeyPath, XpRegistry::kRootLocalMachine, XpRegistry::kAccessWrite),
            kXpOk);
  ASSERT_EQ(machine.SetString(K2ExportConfig::kVersionValue, u"1.0"), kXpOk);
  XpRegistry user;
  const XpString settings = XpString(K2ExportConfig::kVersionKeyPath) + u"\\1.0";
  ASSERT_EQ(user.Open(settings, XpRegistry::kRootCurrentUser, XpRegistry::kAccessWrite), kXpOk);
  ASSERT_EQ(user.SetDword(K2ExportConfig::kChangeImageFileSizeValue, convert ? 1 : 0), kXpOk);
  ASSERT_EQ(user.SetDword(K2ExportConfig::kImageFileSizeValue, 0), kXpOk);
  ASSERT_EQ(user.SetDword(K2ExportConfig::kPictureCuttingValue, 0), kXpOk);
  ASSERT_EQ(user.SetString(K2ExportConfig::kTempDirValue, XpString::FromUtf8(tempDir.string())),
            kXpOk);
}

void WriteHandOver(const fs::path& path, const std::vector<HandOverContent>& contents) {
  SfContentInfoXML document;
  ASSERT_EQ(document.InitHeader(u"Browser", nullptr), kXpOk);
  XpIniElement* group = document.AddContentsGroup(u"Selection");
  ASSERT_NE(group, nullptr);
  for (const HandOverContent& content : contents) {
    XpIniElement* entry = SfContentInfoXML::AddContents(group);
    ASSERT_NE(entry, nullptr);
    for (const fs::path& file : content.files) {
      ASSERT_EQ(SfContentInfoXML::AddFile(entry, XpString::FromUtf8(file.string())), kXpOk);
    }
    ASSERT_EQ(entry->Add(u"ContentType", kXpIniTypeInt, content.type), kXpOk);
    if (content.date >= 0.0) {
      ASSERT_EQ(entry->Add(u"DateTimeOriginal", kXpIniTypeReal), kXpOk);
      ASSERT_EQ(entry->Find(u"DateTimeOriginal")->SetReal(content.date), kXpOk);
    }
    if (!content.favorites.empty()) {
      ASSERT_EQ(entry->Add(u"FavoriteList", kXpIniTypeArray), kXpOk);
      XpIniElement* list = entry->Find(u"FavoriteList");
      for (int32_t favorite : content.favorites) {
        ASSERT_EQ(list->InsertAt(-1, kXpIniTypeInt, static_cast<int64_t>(favorite)), kXpOk);
      }
    }
  }
  ASSERT_EQ(document.SaveToFile(XpString::FromUtf8(path.string())), kXpOk);
}

}  // namespace export_fixture
