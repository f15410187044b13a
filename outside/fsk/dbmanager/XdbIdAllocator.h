#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "fsk/FskMachine.h"
#include "outside/fsk/dbmanager/XdbBlockFile.h"
#include "platform/result/XpResult.h"

// The album database's record IDs, kept in a databaseID block file through
// CatalogGrammarExt's natives: one bit per ID, set while the ID is in use,
// in blocks of 4096 bytes (ID n is bit n mod 32768 of block n / 32768).
// Allocation hands out the lowest free ID from 1 to the limit; ID 0 is
// never handed out. The header keeps maxID, the highest ID ever handed
// out, and counter, a word the engine keeps there (its guid counter).
//
// Results: those of XdbBlockFile, kXpErrNoFreeID when every ID up to the
// limit is in use, kXpErrBadArgument for an ID outside 1 to the limit.
class XdbIdAllocator {
 public:
  static constexpr int64_t kIDsPerBlock = 32768;
  // No ID within the limit is free.
  static constexpr XpResult kXpErrNoFreeID = kXpErrDiskFull;
  // The four-character type of the file.
  static constexpr int32_t kFileType = 0x58444944;  // "XDID"

  // limit 0 takes the grammar's limitID. The machine must have both
  // grammars loaded and outlive this object.
  explicit XdbIdAllocator(FskMachine* the, int64_t limit = 0);

  [[nodiscard]] XpResult Create(const std::string& path);
  [[nodiscard]] XpResult Open(const std::string& path);
  [[nodiscard]] XpResult Close();

  [[nodiscard]] XpResult Allocate(int64_t* id);
  // Allocate, and the header's counter becomes counter in the same header
  // write.
  [[nodiscard]] XpResult AllocateCounted(int64_t* id, uint32_t counter);
  [[nodiscard]] XpResult Free(int64_t id);
  [[nodiscard]] XpResult IsUsed(int64_t id, bool* used);

  [[nodiscard]] XpResult SetCounter(uint32_t counter);
  // The header's words; 0 with no file open.
  uint32_t Counter() const;
  int64_t MaxID() const;
  int64_t Limit() const { return limit_; }

 private:
  [[nodiscard]] XpResult LoadLimit();
  // Allocate; counter, when given, is written with the header.
  [[nodiscard]] XpResult AllocateWith(int64_t* id, const uint32_t* counter);
  // The bit of id in its block: WithBlock on block id / kIDsPerBlock.
  [[nodiscard]] XpResult WithBitOf(int64_t id,
                                   XdbCallable<void(const fsk::Value& block, int64_t bit)> work);
  int64_t HeaderWord(const char* name) const;

  FskMachine* the_;
  int64_t limit_;
  XdbBlockFile file_;
};
