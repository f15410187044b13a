#pragma once

#include <cstdint>
#include <string>

#include "bench/BenchCase.h"
#include "bench/BenchTool.h"

// The album database of a card: 2000 contents in 20 albums added through
// the device accessor's writer and committed, against the sqlite3 program
// inserting as many rows into an indexed table in one transaction (rollback
// journal, synchronous FULL). Each run starts from an empty database made
// outside the timed work.
class BenchAlbumDatabaseCase {
 public:
  static constexpr int32_t kAlbumCount = 20;
  static constexpr int32_t kContentsPerAlbum = 100;
  static constexpr int32_t kContentCount = kAlbumCount * kContentsPerAlbum;

  // folder exists and is empty.
  BenchAlbumDatabaseCase(const std::string& folder, const BenchTool& tool);

  // Makes the card's picture files, the empty album database and the
  // sqlite3 scripts; false with the reason in error.
  bool Prepare(std::string& error);
  BenchCase MakeCase();

 private:
  bool RunProject(BenchSample& sample, std::string& error) const;
  bool RunSqlite(BenchSample& sample, std::string& error) const;
  bool Verify(std::string& fault) const;
  // Replaces the card's database by a copy of the empty one.
  bool ResetCard(std::string& error) const;
  bool WriteSqliteScripts(std::string& error) const;
  // "DCIM/1nnMSDCF/DSCnnnnn.JPG" of content index (0 to kContentCount - 1).
  static std::string ContentPath(int32_t index);

  std::string folder_;
  std::string cardRoot_;
  std::string emptyDatabase_;
  std::string sqliteDatabase_;
  std::string sqliteSchema_;
  std::string sqliteInserts_;
  const BenchTool& tool_;
};
