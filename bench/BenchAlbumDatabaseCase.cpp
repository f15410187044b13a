#include "bench/BenchAlbumDatabaseCase.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "bench/BenchJob.h"
#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IAlbumList.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/IXdbAccessor.h"
#include "camerastore/xdb/XdbException.h"
#include "outside/fsk/k2xdb/K2xdbTool.h"
#include "platform/text/XpString.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kDatabaseFolder = "DBFILES";
constexpr int32_t kFirstFolderNumber = 100;

template <typename Object>
struct Releaser {
  void operator()(Object* object) const { object->Release(); }
};
using OwnedAccessor =
    std::unique_ptr<XdbAccessor::IXdbAccessor, Releaser<XdbAccessor::IXdbAccessor>>;

OwnedAccessor OpenCard(const std::string& cardRoot, std::string& error) {
  XdbAccessor::IXdbAccessor* accessor = nullptr;
  const XpResult result =
      XdbAccessor::CreateDeviceXdbAccessor(&accessor, XpString::FromUtf8(cardRoot + "/"));
  if (result != kXpOk || accessor == nullptr) {
    error = cardRoot + ": the album database does not open: result " +
            std::to_string(static_cast<int32_t>(result));
    return OwnedAccessor();
  }
  return OwnedAccessor(accessor);
}

// The albums that contents 0 .. count - 1 fall into.
int32_t AlbumsOf(int32_t count) {
  return (count + BenchJob::kContentsPerAlbum - 1) / BenchJob::kContentsPerAlbum;
}

bool Replace(const std::string& from, const std::string& to, std::string& error) {
  std::error_code failure;
  fs::remove_all(to, failure);
  fs::create_directories(fs::path(to).parent_path(), failure);
  fs::copy(from, to, fs::copy_options::recursive, failure);
  if (failure) {
    error = to + ": cannot be copied from " + from + ": " + failure.message();
    return false;
  }
  return true;
}

}  // namespace

BenchAlbumDatabaseCase::BenchAlbumDatabaseCase(Setup setup, std::string job,
                                               const std::string& folder, const BenchTool& tool)
    : setup_(std::move(setup)),
      job_(std::move(job)),
      folder_(folder),
      cardRoot_(folder + "/card"),
      emptyDatabase_(folder + "/empty/" + kDatabaseFolder),
      sqliteDatabase_(folder + "/sqlite/catalogue.db"),
      sqliteSchema_(folder + "/sqlite/schema.sql"),
      tool_(tool) {}

std::string BenchAlbumDatabaseCase::ProjectBase(int32_t held) const {
  return folder_ + "/held-" + std::to_string(held) + "/" + kDatabaseFolder;
}

std::string BenchAlbumDatabaseCase::SqliteBase(int32_t held) const {
  return folder_ + "/sqlite/held-" + std::to_string(held) + ".db";
}

std::string BenchAlbumDatabaseCase::SqliteInserts(int32_t held) const {
  return folder_ + "/sqlite/add-to-" + std::to_string(held) + ".sql";
}

size_t BenchAlbumDatabaseCase::SqliteIndex(bool largest) const {
  return setup_.heldCounts.size() + (largest && setup_.heldCounts.size() > 1 ? 1 : 0);
}

bool BenchAlbumDatabaseCase::Prepare(std::string& error) {
  std::error_code failure;
  const int32_t mostHeld = *std::max_element(setup_.heldCounts.begin(), setup_.heldCounts.end());
  for (int32_t index = 0; index < mostHeld + setup_.addedCount; ++index) {
    const fs::path path = cardRoot_ + "/" + BenchJob::ContentPath(index);
    if (index % BenchJob::kContentsPerFolder == 0) {
      fs::create_directories(path.parent_path(), failure);
    }
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
  std::ofstream schema(sqliteSchema_);
  schema << "CREATE TABLE albums(id INTEGER PRIMARY KEY, title TEXT NOT NULL);\n"
            "CREATE TABLE contents(id INTEGER PRIMARY KEY, album INTEGER NOT NULL,\n"
            "  folder INTEGER NOT NULL, file INTEGER NOT NULL, path TEXT NOT NULL,\n"
            "  date TEXT NOT NULL, favorite INTEGER NOT NULL);\n"
            "CREATE INDEX contents_album ON contents(album);\n"
            "CREATE UNIQUE INDEX contents_dcf ON contents(folder, file);\n";
  if (!schema.flush()) {
    error = sqliteSchema_ + ": cannot be written";
    return false;
  }
  for (const int32_t held : setup_.heldCounts) {
    if (!MakeBase(held, error) ||
        !WriteInserts(SqliteInserts(held), held, setup_.addedCount, error)) {
      return false;
    }
  }
  return true;
}

// The project's database holding held contents, added by the job in one
// commit, and sqlite3's holding as many rows.
bool BenchAlbumDatabaseCase::MakeBase(int32_t held, std::string& error) const {
  if (!Replace(emptyDatabase_, cardRoot_ + "/" + kDatabaseFolder, error)) {
    return false;
  }
  if (held > 0 &&
      !tool_.Run({job_, "database", cardRoot_, "0", std::to_string(held)}).Succeeded()) {
    error = cardRoot_ + ": " + std::to_string(held) + " contents cannot be added";
    return false;
  }
  if (!Replace(cardRoot_ + "/" + kDatabaseFolder, ProjectBase(held), error)) {
    return false;
  }
  const std::string baseInserts = folder_ + "/sqlite/base.sql";
  std::error_code failure;
  fs::remove(SqliteBase(held), failure);
  if (!WriteInserts(baseInserts, 0, held, error) ||
      !tool_.Run({"sqlite3", SqliteBase(held)}, sqliteSchema_).Succeeded() ||
      !tool_.Run({"sqlite3", "-bail", SqliteBase(held)}, baseInserts).Succeeded()) {
    error = SqliteBase(held) + ": cannot be made" + (error.empty() ? "" : ": " + error);
    return false;
  }
  return true;
}

bool BenchAlbumDatabaseCase::WriteInserts(const std::string& path, int32_t first, int32_t count,
                                          std::string& error) const {
  std::ofstream inserts(path);
  inserts << "PRAGMA journal_mode=DELETE;\nPRAGMA synchronous=FULL;\nBEGIN;\n";
  for (int32_t index = first; index < first + count; ++index) {
    const int32_t album = index / BenchJob::kContentsPerAlbum;
    if (index == first || index % BenchJob::kContentsPerAlbum == 0) {
      inserts << "INSERT OR IGNORE INTO albums VALUES(" << album + 1 << ", '"
              << BenchJob::AlbumTitle(album) << "');\n";
    }
    const XpDateTime date = BenchJob::ContentDate(index);
    char when[32];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", date.GetYear(),
                  date.GetMonth(), date.GetDay(), date.GetHour(), date.GetMinute(),
                  date.GetSecond());
    inserts << "INSERT INTO contents(album, folder, file, path, date, favorite) VALUES("
            << album + 1 << ", " << kFirstFolderNumber + index / BenchJob::kContentsPerFolder
            << ", " << index % BenchJob::kContentsPerFolder + 1 << ", '"
            << BenchJob::ContentPath(index) << "', '" << when << "', 0);\n";
  }
  inserts << "COMMIT;\n";
  if (!inserts.flush()) {
    error = path + ": cannot be written";
    return false;
  }
  return true;
}

BenchCase BenchAlbumDatabaseCase::MakeCase() {
  BenchCase benchCase;
  benchCase.title = setup_.title;
  benchCase.unit = "per run";
  for (const int32_t held : setup_.heldCounts) {
    benchCase.contenders.push_back(
        {"k2benchjob database, " + std::to_string(held) + " held",
         [this, held](BenchSample& s, std::string& e) { return RunProject(held, s, e); }});
  }
  std::vector<int32_t> sqliteHeld = {setup_.heldCounts.front()};
  if (setup_.heldCounts.size() > 1) {
    sqliteHeld.push_back(setup_.heldCounts.back());
  }
  for (const int32_t held : sqliteHeld) {
    benchCase.contenders.push_back(
        {"sqlite3, " + std::to_string(held) + " held",
         [this, held](BenchSample& s, std::string& e) { return RunSqlite(held, s, e); }});
  }
  benchCase.verify = [this](std::string& fault) { return Verify(fault); };
  return benchCase;
}

bool BenchAlbumDatabaseCase::ResetCard(int32_t held, std::string& error) const {
  std::error_code failure;
  for (const char* leftover : {"DBFILES.tmp", "DBFILES.bak"}) {
    fs::remove_all(cardRoot_ + "/" + leftover, failure);
  }
  return Replace(ProjectBase(held), cardRoot_ + "/" + kDatabaseFolder, error);
}

bool BenchAlbumDatabaseCase::RunProject(int32_t held, BenchSample& sample,
                                        std::string& error) const {
  if (!ResetCard(held, error)) {
    return false;
  }
  const BenchStopwatch stopwatch;
  const BenchToolRun run = tool_.Run({job_, "database", cardRoot_, std::to_string(held),
                                      std::to_string(setup_.addedCount)});
  sample.seconds = stopwatch.Seconds();
  sample.cpuSeconds = run.cpuSeconds;
  sample.peakRssKb = run.peakRssKb;
  if (!run.Succeeded()) {
    error = cardRoot_ + ": exit code " + std::to_string(run.exitCode);
    return false;
  }
  return true;
}

bool BenchAlbumDatabaseCase::RunSqlite(int32_t held, BenchSample& sample,
                                       std::string& error) const {
  std::error_code failure;
  fs::remove(sqliteDatabase_ + "-journal", failure);
  fs::copy_file(SqliteBase(held), sqliteDatabase_, fs::copy_options::overwrite_existing, failure);
  if (failure) {
    error = sqliteDatabase_ + ": cannot be copied: " + failure.message();
    return false;
  }
  const BenchStopwatch stopwatch;
  const BenchToolRun run = tool_.Run({"sqlite3", "-bail", sqliteDatabase_}, SqliteInserts(held));
  sample.seconds = stopwatch.Seconds();
  sample.cpuSeconds = run.cpuSeconds;
  sample.peakRssKb = run.peakRssKb;
  if (!run.Succeeded()) {
    error = sqliteDatabase_ + ": the inserts failed, exit code " + std::to_string(run.exitCode);
    return false;
  }
  return true;
}

// The card after the first contender's run: the smallest database with the
// added contents, in their albums.
bool BenchAlbumDatabaseCase::Verify(std::string& fault) const {
  OwnedAccessor accessor = OpenCard(cardRoot_, fault);
  if (!accessor) {
    return false;
  }
  const int32_t held = setup_.heldCounts.front();
  const int32_t expectedContents = held + setup_.addedCount;
  const int32_t expectedAlbums = AlbumsOf(held) + AlbumsOf(setup_.addedCount);
  try {
    std::unique_ptr<XdbAccessor::IContentList> contents(accessor->GetAllContents());
    std::unique_ptr<XdbAccessor::IAlbumList> albums(accessor->GetAllAlbums());
    const int32_t contentCount = contents ? contents->GetCount() : 0;
    const int32_t albumCount = albums ? albums->GetCount() : 0;
    if (contentCount != expectedContents || albumCount != expectedAlbums) {
      fault = cardRoot_ + ": reads back " + std::to_string(contentCount) + " contents in " +
              std::to_string(albumCount) + " albums instead of " +
              std::to_string(expectedContents) + " in " + std::to_string(expectedAlbums);
      return false;
    }
  } catch (const XdbAccessor::XdbException& thrown) {
    fault = cardRoot_ + ": reading back raised " +
            std::to_string(static_cast<int32_t>(thrown.GetCode()));
    return false;
  }
  return true;
}
