#include "bench/BenchAlbumDatabaseCase.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IAlbumList.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/IXdbAccessor.h"
#include "camerastore/xdb/XdbException.h"
#include "outside/fsk/k2xdb/K2xdbTool.h"
#include "platform/text/XpUtf.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kDatabaseFolder = "DBFILES";
constexpr int32_t kFirstFolderNumber = 100;
constexpr int32_t kBaseYear = 2024;
constexpr int32_t kMinutesPerHour = 60;

XpString Xp(const std::string& utf8) { return XpString(XpUtf8ToUtf16(utf8)); }

template <typename Object>
struct Releaser {
  void operator()(Object* object) const { object->Release(); }
};
using OwnedAccessor = std::unique_ptr<XdbAccessor::IXdbAccessor, Releaser<XdbAccessor::IXdbAccessor>>;

// The shooting date of content index: one a minute from 2024-05-17 08:00.
XpDateTime ContentDate(int32_t index) {
  return XpDateTime(kBaseYear, 5, 17, 8 + index / kMinutesPerHour / kMinutesPerHour,
                    index / kMinutesPerHour % kMinutesPerHour, index % kMinutesPerHour);
}

std::string AlbumTitle(int32_t album) { return "Trip " + std::to_string(album + 1); }

OwnedAccessor OpenCard(const std::string& cardRoot, std::string& error) {
  XdbAccessor::IXdbAccessor* accessor = nullptr;
  const XpResult result = XdbAccessor::CreateDeviceXdbAccessor(&accessor, Xp(cardRoot));
  if (result != kXpOk || accessor == nullptr) {
    error = cardRoot + ": the album database does not open: result " +
            std::to_string(static_cast<int32_t>(result));
    return OwnedAccessor();
  }
  return OwnedAccessor(accessor);
}

// The albums and contents of the case, then the commit.
void AddAndCommit(XdbAccessor::IXdbAccessor& accessor, const std::string& cardRoot,
                  const std::vector<std::string>& paths, std::string& error) {
  for (int32_t album = 0; album < BenchAlbumDatabaseCase::kAlbumCount; ++album) {
    std::unique_ptr<XdbAccessor::IAlbumInfo, Releaser<XdbAccessor::IAlbumInfo>> info(
        accessor.CreateAlbum(Xp(AlbumTitle(album))));
    for (int32_t item = 0; item < BenchAlbumDatabaseCase::kContentsPerAlbum; ++item) {
      const int32_t index = album * BenchAlbumDatabaseCase::kContentsPerAlbum + item;
      std::unique_ptr<XdbAccessor::IContentInfo, Releaser<XdbAccessor::IContentInfo>> content(
          accessor.CreateContent(info.get(), Xp(cardRoot + paths[index]), ContentDate(index), 0));
    }
  }
  const int32_t committed = accessor.Commit();
  if (committed != 0) {
    error = "commit: result " + std::to_string(committed);
  }
}

}  // namespace

BenchAlbumDatabaseCase::BenchAlbumDatabaseCase(const std::string& folder, const BenchTool& tool)
    : folder_(folder),
      cardRoot_(folder + "/card/"),
      emptyDatabase_(folder + "/empty/" + kDatabaseFolder),
      sqliteDatabase_(folder + "/sqlite/catalogue.db"),
      sqliteSchema_(folder + "/sqlite/schema.sql"),
      sqliteInserts_(folder + "/sqlite/inserts.sql"),
      tool_(tool) {}

std::string BenchAlbumDatabaseCase::ContentPath(int32_t index) {
  char path[64];
  std::snprintf(path, sizeof path, "DCIM/%03dMSDCF/DSC%05d.JPG",
                kFirstFolderNumber + index / kContentsPerAlbum, index + 1);
  return path;
}

bool BenchAlbumDatabaseCase::Prepare(std::string& error) {
  std::error_code failure;
  for (int32_t index = 0; index < kContentCount; ++index) {
    const fs::path path = cardRoot_ + ContentPath(index);
    fs::create_directories(path.parent_path(), failure);
    std::ofstream file(path);
    if (!file) {
      error = path.string() + ": cannot be created";
      return false;
    }
  }
  fs::create_directories(fs::path(emptyDatabase_).parent_path(), failure);
  fs::create_directories(fs::path(sqliteDatabase_).parent_path(), failure);
  std::ostringstream out;
  std::ostringstream err;
  K2xdbTool k2xdb(out, err);
  if (k2xdb.Run({"init", emptyDatabase_}) != K2xdbTool::kDone) {
    error = "k2xdb init: " + err.str();
    return false;
  }
  return WriteSqliteScripts(error);
}

bool BenchAlbumDatabaseCase::WriteSqliteScripts(std::string& error) const {
  std::ofstream schema(sqliteSchema_);
  schema << "CREATE TABLE albums(id INTEGER PRIMARY KEY, title TEXT NOT NULL);\n"
            "CREATE TABLE contents(id INTEGER PRIMARY KEY, album INTEGER NOT NULL,\n"
            "  folder INTEGER NOT NULL, file INTEGER NOT NULL, path TEXT NOT NULL,\n"
            "  date TEXT NOT NULL, favorite INTEGER NOT NULL);\n"
            "CREATE INDEX contents_album ON contents(album);\n"
            "CREATE UNIQUE INDEX contents_dcf ON contents(folder, file);\n";
  std::ofstream inserts(sqliteInserts_);
  inserts << "PRAGMA journal_mode=DELETE;\nPRAGMA synchronous=FULL;\nBEGIN;\n";
  for (int32_t album = 0; album < kAlbumCount; ++album) {
    inserts << "INSERT INTO albums VALUES(" << album + 1 << ", '" << AlbumTitle(album) << "');\n";
  }
  for (int32_t index = 0; index < kContentCount; ++index) {
    const XpDateTime date = ContentDate(index);
    char when[32];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", date.GetYear(),
                  date.GetMonth(), date.GetDay(), date.GetHour(), date.GetMinute(),
                  date.GetSecond());
    inserts << "INSERT INTO contents(album, folder, file, path, date, favorite) VALUES("
            << index / kContentsPerAlbum + 1 << ", " << kFirstFolderNumber + index / kContentsPerAlbum
            << ", " << index + 1 << ", '" << ContentPath(index) << "', '" << when << "', 0);\n";
  }
  inserts << "COMMIT;\n";
  if (!schema || !inserts) {
    error = folder_ + "/sqlite: the scripts cannot be written";
    return false;
  }
  return true;
}

BenchCase BenchAlbumDatabaseCase::MakeCase() {
  BenchCase benchCase;
  benchCase.title = "5 album database, 2000 contents + commit";
  benchCase.unit = "per run";
  benchCase.contenders.push_back(
      {"k2 XdbAccessor", [this](BenchSample& s, std::string& e) { return RunProject(s, e); }});
  benchCase.contenders.push_back(
      {"sqlite3", [this](BenchSample& s, std::string& e) { return RunSqlite(s, e); }});
  benchCase.verify = [this](std::string& fault) { return Verify(fault); };
  return benchCase;
}

bool BenchAlbumDatabaseCase::ResetCard(std::string& error) const {
  std::error_code failure;
  for (const char* leftover : {"DBFILES", "DBFILES.tmp", "DBFILES.bak"}) {
    fs::remove_all(cardRoot_ + leftover, failure);
  }
  fs::copy(emptyDatabase_, cardRoot_ + kDatabaseFolder, fs::copy_options::recursive, failure);
  if (failure) {
    error = cardRoot_ + ": the empty database cannot be copied: " + failure.message();
    return false;
  }
  return true;
}

bool BenchAlbumDatabaseCase::RunProject(BenchSample& sample, std::string& error) const {
  if (!ResetCard(error)) {
    return false;
  }
  OwnedAccessor accessor = OpenCard(cardRoot_, error);
  if (!accessor) {
    return false;
  }
  std::vector<std::string> paths;
  for (int32_t index = 0; index < kContentCount; ++index) {
    paths.push_back(ContentPath(index));
  }
  BenchPeakRss::Reset();
  const BenchStopwatch stopwatch;
  try {
    AddAndCommit(*accessor, cardRoot_, paths, error);
  } catch (const XdbAccessor::XdbException& thrown) {
    error = "the writer raised " + std::to_string(static_cast<int32_t>(thrown.GetCode()));
  }
  sample.seconds = stopwatch.Seconds();
  sample.peakRssKb = BenchPeakRss::CurrentKb();
  return error.empty();
}

bool BenchAlbumDatabaseCase::RunSqlite(BenchSample& sample, std::string& error) const {
  std::error_code failure;
  fs::remove(sqliteDatabase_, failure);
  fs::remove(sqliteDatabase_ + "-journal", failure);
  if (!tool_.Run({"sqlite3", sqliteDatabase_}, sqliteSchema_).Succeeded()) {
    error = sqliteDatabase_ + ": the schema cannot be made";
    return false;
  }
  const BenchStopwatch stopwatch;
  const BenchToolRun run = tool_.Run({"sqlite3", "-bail", sqliteDatabase_}, sqliteInserts_);
  sample.seconds = stopwatch.Seconds();
  sample.peakRssKb = run.peakRssKb;
  if (!run.Succeeded()) {
    error = sqliteDatabase_ + ": the inserts failed, exit code " + std::to_string(run.exitCode);
    return false;
  }
  return true;
}

bool BenchAlbumDatabaseCase::Verify(std::string& fault) const {
  OwnedAccessor accessor = OpenCard(cardRoot_, fault);
  if (!accessor) {
    return false;
  }
  try {
    std::unique_ptr<XdbAccessor::IContentList> contents(accessor->GetAllContents());
    std::unique_ptr<XdbAccessor::IAlbumList> albums(accessor->GetAllAlbums());
    const int32_t contentCount = contents ? contents->GetCount() : 0;
    const int32_t albumCount = albums ? albums->GetCount() : 0;
    if (contentCount != kContentCount || albumCount != kAlbumCount) {
      fault = cardRoot_ + ": reads back " + std::to_string(contentCount) + " contents in " +
              std::to_string(albumCount) + " albums";
      return false;
    }
  } catch (const XdbAccessor::XdbException& thrown) {
    fault = cardRoot_ + ": reading back raised " + std::to_string(static_cast<int32_t>(thrown.GetCode()));
    return false;
  }
  return true;
}
