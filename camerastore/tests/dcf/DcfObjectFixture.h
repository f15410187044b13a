#pragma once

#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "camerastore/dcf/XpDCFObj.h"
#include "camerastore/tests/dcf/DcfTestVolume.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/testsupport/FaultInjection.h"

namespace dcftest {

// The Exif fields of a test picture; empty texts are left out.
struct ExifFields {
  std::string make;
  std::string model;
  std::string dateTimeOriginal;  // "YYYY:MM:DD hh:mm:ss"
  // A GPS IFD at N 35/1 39/1 2940/100, E 139/1 44/1 3000/100.
  bool gps = false;
};

// IFD 0 with the fields, an Exif IFD and, when asked, a GPS IFD.
std::unique_ptr<XpTiffTagManager> MakeExifTags(const ExifFields& fields);

// The modification time and contents of the members of ShotFile and
// JpegAndThumbnail.
inline constexpr time_t kShotTime = 1236075630;
inline constexpr const char* kJpegBytes = "jpeg bytes";
inline constexpr const char* kThumbnailBytes = "thumbnail";

// The shots of these tests live on a camera at $T/cam, a mount point of the
// fake mount table; copies go to $T/out.
class DcfObjectTest : public VolumeTest {
 protected:
  void SetUp() override;

  std::filesystem::path Cam() const { return Dir("cam"); }
  std::filesystem::path Out() const { return Dir("out"); }

  // Writes bytes at cam/relative (with its folders); returns the path.
  std::filesystem::path CamFile(const std::string& relative, const std::string& bytes) const;
  // A small JPEG by the JPEG writer at cam/relative, with tags when given
  // (the writer adds its own Exif block to every picture).
  std::filesystem::path CamJpeg(const std::string& relative,
                                std::unique_ptr<XpTiffTagManager> tags) const;
  // The same picture with its Exif block (every APP1 segment) cut out.
  std::filesystem::path CamJpegWithoutExif(const std::string& relative) const;

  // Writes bytes at cam/DCIM/100ZXDCF/name with kShotTime as its
  // modification time; returns the path.
  std::filesystem::path ShotFile(const std::string& name, const std::string& bytes) const;
  // DCIM/100ZXDCF/DSC00001.JPG and .THM of ShotFile.
  std::vector<std::filesystem::path> JpegAndThumbnail() const;

  // A member for a file (or folder) on disk.
  static XpSharedPtr<XpAbstractFSObj> FileMember(const std::filesystem::path& path);
  static void AddMembers(::XpDCFObj& shot, const std::vector<std::filesystem::path>& paths);

  // Every name in folder, hidden ones too.
  static std::set<std::string> NamesIn(const std::filesystem::path& folder);
  static void SetMtime(const std::filesystem::path& path, time_t seconds);

  std::unique_ptr<testsupport::FakeSysfs> sysfs_;
  testsupport::FaultInjection faults_;
};

}  // namespace dcftest
