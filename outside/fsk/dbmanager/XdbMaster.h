#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbStore.h"
#include "platform/result/XpResult.h"

// The C++ side of one Master of the "dbManager" machine: its store, its
// result cache and whether the guid index is in use. The script methods
// (XdbDbManager) call it; it never throws.
class XdbMaster {
 public:
  using Words = std::array<uint32_t, 4>;

  explicit XdbMaster(FskMachine* the) : the_(the), store_(std::make_unique<XdbStore>(the)) {}

  XdbStore& Store() { return *store_; }
  // The folder this Master holds, with its closing '/'; empty when none.
  const std::string& Folder() const { return folder_; }

  // Opens folder (closing what is open first, durably) and empties the
  // cache.
  [[nodiscard]] XpResult Open(const std::string& folder, int* status);
  // The store's durable close, then an empty cache; kXpErrNotOpen when
  // nothing is open.
  [[nodiscard]] XpResult Close();
  // Drops whatever is open without flushing: another Master takes the folder.
  void Abandon();

  bool GuidIndexInUse() const { return guidIndex_; }
  void SetGuidIndexInUse(bool inUse) { guidIndex_ = inUse; }

  // The result cache: sets kept under four words.
  void Push(const Words& words, const fsk::Value& set) { cache_[words] = set; }
  fsk::Value Get(const Words& words) const;
  void Free(const Words& words) { cache_.erase(words); }
  void FreeAll() { cache_.clear(); }
  size_t CacheSize() const { return cache_.size(); }

  // folder with exactly one closing '/'.
  static std::string Normalized(const std::string& folder);

 private:
  FskMachine* the_;
  std::unique_ptr<XdbStore> store_;
  std::string folder_;
  bool guidIndex_ = false;
  std::map<Words, fsk::Value> cache_;
};
