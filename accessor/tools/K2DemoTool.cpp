#include "accessor/tools/K2DemoTool.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <system_error>

#include "accessor/settings/K2ExportConfig.h"
#include "accessor/tools/K2HandoverTool.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IXdbAccessor.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IAlbumList.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/IXdbReader.h"
#include "camerastore/xdb/XdbException.h"
#include "imaging/geometry/XpRect.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "outside/fsk/k2xdb/K2xdbTool.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/process/XpToolArguments.h"
#include "platform/registry/XpRegistry.h"
#include "platform/testsupport/FakeSysfs.h"
#include "platform/text/XpStringA.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kProgramName = "k2demo";
constexpr const char* kDatabaseFolder = "DBFILES";
// The file that only a database of ours holds.
constexpr const char* kOwnDatabaseMark = "XDB.DAT";
constexpr const char16_t* kWriterName = u"Kavo demo";
constexpr const char16_t* kMachineVersion = u"1.0";
constexpr int32_t kCameraPictureCount = 5;
constexpr int32_t kCameraPictureWidth = 64;
constexpr int32_t kCameraPictureHeight = 48;
constexpr int64_t kMovieBytes = 100 * 1024;
// An MPEG-1 pack header: start code, then the system clock and mux rate.
constexpr unsigned char kMpeg1PackHeader[] = {0x00, 0x00, 0x01, 0xBA, 0x21, 0x00,
                                              0x01, 0x00, 0x01, 0x80, 0x00, 0x01};

// A sample picture of the demo's PC folder.
struct Sample {
  const char* path;
  int32_t width;
  int32_t height;
  // Exif DateTimeOriginal; none when null.
  const char* shotAt;
  // The file's modification time, seconds since 1970 (UTC).
  int64_t modified;
};

// 2023-03-15 12:00, 2023-03-16 00:00 and 06:00 UTC.
constexpr int64_t kTripDay = 1678881600;
constexpr int64_t kPartyEvening = 1678924800;
constexpr int64_t kPartyMorning = 1678946400;

constexpr Sample kSamples[] = {
    {"Trip/IMG_0002.JPG", 640, 480, "2023:03:15 12:00:00", kTripDay},
    {"Trip/IMG_0010.JPG", 480, 640, "2023:03:15 12:00:00", kTripDay},
    {"Party/P1.JPG", 4000, 3000, "2023:03:16 06:00:00", kPartyMorning},
};
// The import demo's camera: DCIM/100ABCDE/<name>, its Exif date, and the
// album ("" for none) and favourite bits of its content.
struct CameraFile {
  const char* name;
  const char* shotAt;
  const char* album;
  int32_t favorites;
};
constexpr const char* kImportFolder = "DCIM/100ABCDE";
constexpr CameraFile kImportPictures[] = {
    {"DSC00001.JPG", "2023:03:15 12:00:00", "Trip", 0b101},
    {"DSC00002.JPG", "2023:03:15 12:30:00", "Trip", 0},
    {"DSC00003.JPG", "2023:03:20 09:00:00", "2023/03", 0},
    {"DSC00004.JPG", "2023:03:20 09:30:00", "2023/03", 0},
};
constexpr CameraFile kImportMovie = {"DSC00005.MPG", "2023:03:20 10:00:00", "2023/03", 0};
constexpr const char* kImportMovieThumbnail = "DSC00005.THM";
// The numbered folder to salvage: a picture, a picture the PC once wrote,
// and a text file.
constexpr const char* kSalvageFolder = "DCIM.001";
constexpr const char* kSalvagePicture = "DSC00010.JPG";
constexpr const char* kSalvageOwnPicture = "QMVS0011.JPG";
constexpr const char* kSalvageNote = "NOTE.TXT";
constexpr mode_t kDemoFileMode = 0644;
constexpr const char* kSalvageNoteText = "Notes of the camera.\n";
// The home folder and the folders below DIR that the demo's environment
// names.
constexpr const char* kUserFolder = "user";
constexpr const char* kUserSubfolders[] = {"Pictures", ".config", ".local/share", ".cache"};
constexpr const char* kDemoFolders[] = {"run", "tmp", "ipc", "machine"};
constexpr const char* kRuntimeFolder = "run";
constexpr const char* kMovie = "Party/MOV1.MPG";
constexpr const char* kMovieThumbnail = "Party/MOV1.THM";

std::string HexCode(XpResult code) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%04X", static_cast<unsigned>(code));
  return text;
}

// A picture's tags: the maker, and the shooting date when given.
XpSharedPtr<XpTiffTagManager> TagsWithDate(const char* shotAt) {
  XpSharedPtr<XpTiffTagManager> tags(new XpTiffTagManager());
  if (!tags->Reset()) return XpSharedPtr<XpTiffTagManager>();
  auto* ifd0 = new XpTiffTagIFD();
  ifd0->SetAscii(kTagMake, "KAVO");
  auto* exif = new XpTiffTagIFD();
  exif->SetAscii(kTagDateTimeOriginal, shotAt);
  XpTiffTagDataIFD* pointer = XpTiffTagDataIFD::Create(kXpTiffTagExifIFD, 0);
  pointer->AddIFD(exif);
  ifd0->SetEntry(pointer);
  tags->GetRoot()->AddIFD(ifd0);
  return tags;
}

// A gradient picture: blue across, green down, red by seed.
[[nodiscard]] XpResult WriteGradient(const fs::path& path, int32_t width, int32_t height,
                                     int32_t seed, XpSharedPtr<XpTiffTagManager> tags) {
  XpPixmapBGR24NoHandle pixmap;
  const XpResult allocated = pixmap.Allocate(width, height);
  if (allocated != kXpOk) return allocated;
  const XpPlaneBase& plane = *pixmap.GetPlane(0);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = plane.Row(y);
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(255 * x / std::max(1, width - 1));
      row[3 * x + 1] = static_cast<uint8_t>(255 * y / std::max(1, height - 1));
      row[3 * x + 2] = static_cast<uint8_t>((seed * 47) & 0xFF);
    }
  }
  XpImageIoJpeg writer(XpImageIoJpeg::kDefaultQuality, kWriterName);
  return writer.WriteToPath(&pixmap, tags, XpString::FromUtf8(path.string()), nullptr, XpRect(),
                            false, false);
}

bool SetModified(const fs::path& path, int64_t seconds) {
  const auto when = std::chrono::sys_seconds(std::chrono::seconds(seconds));
  std::error_code error;
  fs::last_write_time(path, std::chrono::file_clock::from_sys(when), error);
  return !error;
}

bool WriteMovieStandIn(const fs::path& path) {
  std::string bytes(reinterpret_cast<const char*>(kMpeg1PackHeader), sizeof(kMpeg1PackHeader));
  bytes.resize(static_cast<size_t>(kMovieBytes), '\0');
  return XpReplaceFileAtomically(XpStringA(path.c_str()).ToWide(), bytes, kDemoFileMode) == kXpOk;
}

// "YYYY:MM:DD hh:mm:ss" as a date; false when it does not read.
bool ParseExifDate(const char* text, XpDateTime* date) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (std::sscanf(text, "%d:%d:%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second) != 6) return false;
  *date = XpDateTime(year, month, day, hour, minute, second);
  return true;
}

std::string FormatDate(const XpDateTime& date) {
  int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!date.GetParts(&year, &month, &day, &hour, &minute, &second, nullptr)) return "(no date)";
  char text[32];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
  return text;
}

// path below root, without root's prefix.
std::string Relative(const XpString& path, const fs::path& root) {
  const std::string text = path.ToMultiByte().ToStdString();
  const std::string prefix = root.string() + "/";
  return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text;
}

template <typename Object>
struct Deleter {
  void operator()(Object* object) const { delete object; }
};

// What ROOT/DBFILES holds: nothing at all (or no folder), our database, or
// something else.
enum class DatabaseFolder { kEmpty, kOurs, kForeign };

DatabaseFolder ClassifyDatabaseFolder(const fs::path& folder) {
  std::error_code error;
  if (!fs::exists(folder, error)) return DatabaseFolder::kEmpty;
  if (!fs::is_directory(folder, error)) return DatabaseFolder::kForeign;
  if (fs::is_empty(folder, error)) return DatabaseFolder::kEmpty;
  return fs::is_regular_file(folder / kOwnDatabaseMark, error) ? DatabaseFolder::kOurs
                                                                : DatabaseFolder::kForeign;
}

XpToolArguments DemoArguments() {
  const std::string program = kProgramName;
  return XpToolArguments(program, "usage: " + program + " setup DIR\n" +
                                      "       " + program + " setup-import DIR\n" +
                                      "       " + program + " tree ROOT\n" +
                                      "       " + program + " init-card ROOT\n");
}

}  // namespace

int K2DemoTool::Usage(const std::string& what) {
  XpToolArguments arguments = DemoArguments();
  static_cast<void>(arguments.Refuse(what));
  return arguments.Answer(out_, err_);
}

bool K2DemoTool::Fail(const std::string& what) {
  err_ << kProgramName << ": " << what << "\n";
  return false;
}

int K2DemoTool::Run(const std::vector<std::string>& arguments) {
  XpToolArguments parsed = DemoArguments();
  if (parsed.Parse(arguments) != XpToolArguments::Outcome::kDone) {
    return parsed.Answer(out_, err_);
  }
  return RunCommand(parsed.Operands());
}

int K2DemoTool::RunCommand(const std::vector<std::string>& arguments) {
  if (arguments.size() != 2) {
    return Usage(arguments.empty() ? "missing operand" : "a command takes one folder");
  }
  std::error_code error;
  const fs::path target = fs::absolute(arguments[1], error).lexically_normal();
  const fs::path cleaned = target.has_filename() ? target : target.parent_path();
  if (arguments[0] == "setup") return Setup(cleaned);
  if (arguments[0] == "setup-import") return SetupImport(cleaned);
  if (arguments[0] == "tree") return Tree(cleaned);
  if (arguments[0] == "init-card") return InitCard(cleaned);
  return Usage("unknown command: " + arguments[0]);
}

int K2DemoTool::Setup(const fs::path& dir) {
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) {
    Fail(dir.string() + ": cannot create the folder: " + error.message());
    return kFailed;
  }
  const fs::path cam = dir / "cam";
  if (!WriteSamples(dir / "pc") || !WriteCamera(cam) || !WriteRegistry(dir / "registry")) {
    return kFailed;
  }
  const int database = MakeDatabase(cam / kDatabaseFolder);
  if (database != kDone) return database;

  testsupport::FakeSysfs fake(dir / "sysroot");
  testsupport::FakeVolume volume;
  volume.mountPoint = cam.string();
  volume.vendorId = kCameraVendorId;
  volume.productId = kCameraProductId;
  volume.label = "CAMERA";
  volume.uuid = "1F3A-0259";
  fake.AddVolume(volume);

  std::vector<std::string> handOver = {(dir / "h.xml").string()};
  for (const Sample& sample : kSamples) handOver.push_back((dir / "pc" / sample.path).string());
  handOver.push_back((dir / "pc" / kMovie).string());
  std::ostringstream quiet;
  K2HandoverTool tool(quiet, err_);
  const int written = tool.Run(handOver);
  if (written != K2HandoverTool::kDone) return written;
  out_ << "demo camera ready in " << dir.string() << "\n";
  return kDone;
}

int K2DemoTool::SetupImport(const fs::path& dir) {
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) {
    Fail(dir.string() + ": cannot create the folder: " + error.message());
    return kFailed;
  }
  const fs::path cam = dir / "cam";
  if (!WriteImportCamera(cam) || !WriteRegistry(dir / "registry") || !MakeUserFolders(dir)) {
    return kFailed;
  }
  const int database = MakeDatabase(cam / kDatabaseFolder);
  if (database != kDone) return database;
  if (!FillImportDatabase(cam)) return kFailed;

  testsupport::FakeSysfs fake(dir / "sysroot");
  testsupport::FakeVolume volume;
  volume.mountPoint = cam.string();
  volume.vendorId = kCameraVendorId;
  volume.productId = kCameraProductId;
  volume.serial = kImportCameraSerial;
  volume.label = "CAMERA";
  volume.uuid = "1F3A-0259";
  fake.AddVolume(volume);
  out_ << "import demo camera ready in " << dir.string() << "\n";
  return kDone;
}

bool K2DemoTool::WriteImportCamera(const fs::path& cam) {
  const fs::path folder = cam / kImportFolder;
  const fs::path salvage = cam / kSalvageFolder;
  std::error_code error;
  fs::create_directories(folder, error);
  if (!error) fs::create_directories(salvage, error);
  if (error) return Fail(cam.string() + ": cannot create the camera's folders: " + error.message());
  int32_t seed = 20;
  for (const CameraFile& file : kImportPictures) {
    const fs::path path = folder / file.name;
    const XpResult written =
        WriteGradient(path, kCameraPictureWidth, kCameraPictureHeight, ++seed, TagsWithDate(file.shotAt));
    if (written != kXpOk) return Fail(path.string() + ": cannot be written (" + HexCode(written) + ")");
  }
  const fs::path movie = folder / kImportMovie.name;
  const fs::path thumbnail = folder / kImportMovieThumbnail;
  if (!WriteMovieStandIn(movie)) return Fail(movie.string() + ": cannot be written");
  XpResult written = WriteGradient(thumbnail, XpImageIoJpeg::kThumbnailWidth, XpImageIoJpeg::kThumbnailHeight,
                                   ++seed, XpSharedPtr<XpTiffTagManager>());
  if (written != kXpOk) return Fail(thumbnail.string() + ": cannot be written (" + HexCode(written) + ")");
  for (const char* name : {kSalvagePicture, kSalvageOwnPicture}) {
    written = WriteGradient(salvage / name, kCameraPictureWidth, kCameraPictureHeight, ++seed,
                            TagsWithDate("2023:03:21 08:00:00"));
    if (written != kXpOk) return Fail((salvage / name).string() + ": cannot be written (" + HexCode(written) + ")");
  }
  const fs::path note = salvage / kSalvageNote;
  if (XpReplaceFileAtomically(XpStringA(note.c_str()).ToWide(), kSalvageNoteText, kDemoFileMode) != kXpOk) {
    return Fail(note.string() + ": cannot be written" + XpSysFailureSuffix());
  }
  return true;
}

bool K2DemoTool::FillImportDatabase(const fs::path& cam) {
  XdbAccessor::IXdbAccessor* opened = nullptr;
  const XpResult result =
      XdbAccessor::CreateDeviceXdbAccessor(&opened, XpString::FromUtf8(cam.string()) + u"/");
  if (result != kXpOk) return Fail(cam.string() + ": the album database does not open (" + HexCode(result) + ")");
  std::unique_ptr<XdbAccessor::IXdbAccessor, void (*)(XdbAccessor::IXdbAccessor*)> database(
      opened, [](XdbAccessor::IXdbAccessor* object) { object->Release(); });
  std::vector<CameraFile> files(std::begin(kImportPictures), std::end(kImportPictures));
  files.push_back(kImportMovie);
  using AlbumPtr = std::unique_ptr<XdbAccessor::IAlbumInfo, Deleter<XdbAccessor::IAlbumInfo>>;
  using ContentPtr = std::unique_ptr<XdbAccessor::IContentInfo, Deleter<XdbAccessor::IContentInfo>>;
  try {
    std::map<std::string, AlbumPtr> albums;
    for (const CameraFile& file : files) {
      AlbumPtr& album = albums[file.album];
      if (!album) album.reset(database->CreateAlbum(XpStringA(file.album).ToWide()));
      XpDateTime date;
      if (!ParseExifDate(file.shotAt, &date)) return Fail(std::string(file.name) + ": its date does not read");
      const XpString path = XpString::FromUtf8((cam / kImportFolder / file.name).string());
      const ContentPtr content(database->CreateContent(album.get(), path, date, file.favorites));
    }
  } catch (const XdbAccessor::XdbException& thrown) {
    return Fail(cam.string() + ": the album database cannot be written (" + HexCode(thrown.GetCode()) + ")");
  }
  const XpResult committed = static_cast<XpResult>(database->Commit());
  if (committed != kXpOk) {
    return Fail(cam.string() + ": the album database cannot be committed (" + HexCode(committed) + ")");
  }
  return true;
}

bool K2DemoTool::MakeUserFolders(const fs::path& dir) {
  std::error_code error;
  for (const char* folder : kUserSubfolders) {
    fs::create_directories(dir / kUserFolder / folder, error);
    if (error) return Fail((dir / kUserFolder / folder).string() + ": cannot create the folder: " + error.message());
  }
  for (const char* folder : kDemoFolders) {
    fs::create_directories(dir / folder, error);
    if (error) return Fail((dir / folder).string() + ": cannot create the folder: " + error.message());
  }
  fs::permissions(dir / kRuntimeFolder, fs::perms::owner_all, error);
  if (error) return Fail((dir / kRuntimeFolder).string() + ": cannot be made private: " + error.message());
  return true;
}

bool K2DemoTool::WriteSamples(const fs::path& pc) {
  std::error_code error;
  int32_t seed = 0;
  for (const Sample& sample : kSamples) {
    const fs::path path = pc / sample.path;
    fs::create_directories(path.parent_path(), error);
    XpSharedPtr<XpTiffTagManager> tags =
        sample.shotAt != nullptr ? TagsWithDate(sample.shotAt) : XpSharedPtr<XpTiffTagManager>();
    const XpResult written = WriteGradient(path, sample.width, sample.height, ++seed, tags);
    if (written != kXpOk) return Fail(path.string() + ": the picture cannot be written (" + HexCode(written) + ")");
    if (!SetModified(path, sample.modified)) return Fail(path.string() + ": its time cannot be set");
  }
  const fs::path movie = pc / kMovie;
  const fs::path thumbnail = pc / kMovieThumbnail;
  if (!WriteMovieStandIn(movie)) return Fail(movie.string() + ": cannot be written");
  const XpResult written = WriteGradient(thumbnail, XpImageIoJpeg::kThumbnailWidth,
                                         XpImageIoJpeg::kThumbnailHeight, ++seed, XpSharedPtr<XpTiffTagManager>());
  if (written != kXpOk) return Fail(thumbnail.string() + ": cannot be written (" + HexCode(written) + ")");
  if (!SetModified(movie, kPartyEvening) || !SetModified(thumbnail, kPartyEvening)) {
    return Fail(movie.string() + ": its time cannot be set");
  }
  return true;
}

bool K2DemoTool::WriteCamera(const fs::path& cam) {
  const fs::path folder = cam / "DCIM" / "100ABCDE";
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return Fail(folder.string() + ": cannot create the folder: " + error.message());
  for (int32_t number = 1; number <= kCameraPictureCount; ++number) {
    char name[32];
    std::snprintf(name, sizeof(name), "DSC%05d.JPG", number);
    const XpResult written = WriteGradient(folder / name, kCameraPictureWidth, kCameraPictureHeight, number + 10,
                                           TagsWithDate("2023:01:01 10:00:00"));
    if (written != kXpOk) return Fail((folder / name).string() + ": cannot be written (" + HexCode(written) + ")");
    if (!SetModified(folder / name, kTripDay)) return Fail((folder / name).string() + ": its time cannot be set");
  }
  return true;
}

bool K2DemoTool::WriteRegistry(const fs::path& registry) {
  std::error_code error;
  fs::create_directories(registry, error);
  if (error) return Fail(registry.string() + ": cannot create the folder: " + error.message());
  ::setenv("KAVO_REGISTRY_DIR", registry.string().c_str(), 1);
  XpRegistry key;
  XpResult result = key.Open(K2ExportConfig::kVersionKeyPath, XpRegistry::kRootLocalMachine, XpRegistry::kAccessWrite);
  if (result == kXpOk) result = key.SetString(K2ExportConfig::kVersionValue, kMachineVersion);
  if (result != kXpOk) return Fail(registry.string() + ": the version cannot be stored (" + HexCode(result) + ")");
  return true;
}

int K2DemoTool::MakeDatabase(const fs::path& folder) {
  K2xdbTool tool(out_, err_);
  return tool.Run({"init", folder.string()});
}

int K2DemoTool::Tree(const fs::path& root) {
  std::error_code error;
  if (!fs::is_directory(root, error)) {
    Fail(root.string() + ": no such folder");
    return kFailed;
  }
  PrintFiles(root);
  return PrintDatabase(root);
}

void K2DemoTool::PrintFiles(const fs::path& root) {
  std::vector<std::pair<std::string, std::string>> lines;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    const std::string relative = it->path().lexically_relative(root).string();
    if (it->is_directory(error)) {
      lines.emplace_back(relative, relative + "/");
    } else {
      lines.emplace_back(relative, relative + " " + std::to_string(it->file_size(error)));
    }
  }
  std::sort(lines.begin(), lines.end());
  for (const auto& line : lines) out_ << line.second << "\n";
}

int K2DemoTool::PrintDatabase(const fs::path& root) {
  if (ClassifyDatabaseFolder(root / kDatabaseFolder) != DatabaseFolder::kOurs) {
    out_ << "no album database of ours\n";
    return kDone;
  }
  XdbAccessor::IXdbReader* opened = nullptr;
  const XpResult result =
      XdbAccessor::CreateXdbReader(&opened, XpString::FromUtf8(root.string()) + u"/");
  if (result != kXpOk) {
    Fail(root.string() + ": the album database does not open (" + HexCode(result) + ")");
    return kFailed;
  }
  std::unique_ptr<XdbAccessor::IXdbReader, void (*)(XdbAccessor::IXdbReader*)> reader(
      opened, [](XdbAccessor::IXdbReader* object) { object->Release(); });
  try {
    std::unique_ptr<XdbAccessor::IAlbumList> albums(reader->GetAllAlbums());
    const int32_t albumCount = albums ? albums->GetCount() : 0;
    out_ << "albums: " << albumCount << "\n";
    for (int32_t index = 0; index < albumCount; ++index) {
      const XdbAccessor::IAlbumInfo* album = albums->GetAt(index);
      out_ << "album \"" << album->GetTitle().ToMultiByte().ToStdString() << "\" "
           << FormatDate(album->GetDate()) << "\n";
      std::unique_ptr<XdbAccessor::IContentList> contents(album->GetContents());
      const int32_t contentCount = contents ? contents->GetCount() : 0;
      for (int32_t position = 0; position < contentCount; ++position) {
        const XdbAccessor::IContentInfo* content = contents->GetAt(position);
        char flags[16];
        std::snprintf(flags, sizeof(flags), "0x%02X", static_cast<unsigned>(content->GetFavoriteFlags()));
        out_ << "  " << Relative(content->GetPath(), root) << " " << FormatDate(content->GetDate())
             << " favorite " << flags << "\n";
      }
    }
    std::unique_ptr<XdbAccessor::IContentList> all(reader->GetAllContents());
    out_ << "contents: " << (all ? all->GetCount() : 0) << "\n";
  } catch (const XdbAccessor::XdbException& thrown) {
    Fail(root.string() + ": the album database cannot be read (" + HexCode(thrown.GetCode()) + ")");
    return kFailed;
  }
  return kDone;
}

int K2DemoTool::InitCard(const fs::path& root) {
  std::error_code error;
  if (!fs::is_directory(root, error)) {
    Fail(root.string() + ": no such folder");
    return kFailed;
  }
  const fs::path folder = root / kDatabaseFolder;
  switch (ClassifyDatabaseFolder(folder)) {
    case DatabaseFolder::kForeign:
      Fail(folder.string() + ": holds a database that is not ours; nothing written");
      return kFailed;
    case DatabaseFolder::kOurs:
      out_ << folder.string() << ": holds an album database already\n";
      return kDone;
    case DatabaseFolder::kEmpty:
      break;
  }
  return MakeDatabase(folder);
}
