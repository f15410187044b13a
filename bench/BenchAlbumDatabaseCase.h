#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchCase.h"
#include "bench/BenchTool.h"

// The album database of a card: contents added through the device
// accessor's writer and committed, by k2benchjob as a process of its own
// (start-up and the database's open included), on databases already
// holding some contents, against the sqlite3 program inserting as many rows
// into an indexed table in one transaction (rollback journal, synchronous
// FULL) on a database holding as many rows. Each run starts from a copy of
// the database it adds to, made outside the timed work.
class BenchAlbumDatabaseCase {
 public:
  struct Setup {
    std::string title;
    // The contents the databases hold before a run, one contender each.
    std::vector<int32_t> heldCounts;
    int32_t addedCount = 0;
  };

  // job: the k2benchjob program; folder exists and is empty.
  BenchAlbumDatabaseCase(Setup setup, std::string job, const std::string& folder,
                         const BenchTool& tool);

  // Makes the card's picture files and the databases to add to; false with
  // the reason in error.
  bool Prepare(std::string& error);
  // One project contender per held count, then sqlite3 on the smallest and
  // largest; goals set by the caller.
  BenchCase MakeCase();
  // The contender index of the project on the held count at position,
  // and of sqlite3 on the smallest (largest) database.
  size_t ProjectIndex(size_t position) const { return position; }
  size_t SqliteIndex(bool largest) const;

 private:
  bool RunProject(int32_t held, BenchSample& sample, std::string& error) const;
  bool RunSqlite(int32_t held, BenchSample& sample, std::string& error) const;
  bool Verify(std::string& fault) const;
  // Replaces the card's database by a copy of the one holding held.
  bool ResetCard(int32_t held, std::string& error) const;
  bool MakeBase(int32_t held, std::string& error) const;
  // The script that adds count rows from first in one transaction.
  bool WriteInserts(const std::string& path, int32_t first, int32_t count,
                    std::string& error) const;
  std::string ProjectBase(int32_t held) const;
  std::string SqliteBase(int32_t held) const;
  std::string SqliteInserts(int32_t held) const;

  Setup setup_;
  std::string job_;
  std::string folder_;
  std::string cardRoot_;
  std::string emptyDatabase_;
  std::string sqliteDatabase_;
  std::string sqliteSchema_;
  const BenchTool& tool_;
};
