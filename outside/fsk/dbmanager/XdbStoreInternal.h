#pragma once

// What the parts of XdbStore share: the names of its files, the kinds of
// its data rows, and small helpers. Only the store's own sources include it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbHostCall.h"
#include "outside/fsk/dbmanager/XdbStore.h"
#include "platform/result/XpResult.h"

namespace xdbstore {

inline constexpr const char* kRecordName = "XDB.DAT";
inline constexpr const char* kFreelistName = "XDB.FRE";
inline constexpr const char* kIdsName = "IDS.BLK";
inline constexpr const char* kIdIndexName = "XDB.IND";
inline constexpr const char* kAlbumIndexName = "OAI.IND";
inline constexpr const char* kGuidIndexName = "GUID.IND";
inline constexpr const char* kRowsName = "DATA.BLK";
inline constexpr const char* kOurNames[] = {kRecordName, kFreelistName, kIdsName,         kIdIndexName,
                                     kAlbumIndexName, kGuidIndexName, kRowsName, XdbJournal::kFileName,
                                     XdbJournal::kPartName};
// The files a journal of ours changes, each no larger than the largest
// record file or index.
inline const XdbJournal::Bounds& OurJournalBounds() {
  static const XdbJournal::Bounds bounds{
      {kRecordName, kFreelistName, kIdsName, kIdIndexName, kAlbumIndexName, kGuidIndexName, kRowsName},
      std::min(XdbRecordFile::kLargestFile, XdbBtreeIndex::kLargestFile)};
  return bounds;
}

inline constexpr int32_t kVersionShift = 16;
inline constexpr int32_t kOrderBits = 0xFFFF;
inline constexpr int64_t kDcfFolderFactor = 10000;

inline constexpr uint32_t kContentRow = 1;
inline constexpr uint32_t kAlbumRow = 2;
// The fields of a data row.
inline constexpr int32_t kKindField = 0;
inline constexpr int32_t kDcfField = 2;
inline constexpr int32_t kDayField = 3;
inline constexpr int32_t kShareField = 4;
inline constexpr int32_t kFavoriteField = 5;

[[nodiscard]] inline XpResult Either(XpResult first, XpResult second) {
  return XpFailed(first) ? first : second;
}

inline uint32_t DcfOf(const XdbContent& content) {
  return static_cast<uint32_t>(content.folderID * kDcfFolderFactor + content.fileID);
}

[[nodiscard]] inline XpResult Run(FskMachine* the, XdbCallable<void()> work) {
  return XdbHostCall::Run(the, work, kXpErrBadArgument);
}

// Day keys: year * 10000 + month * 100 + day.
inline constexpr int64_t kYearFactor = 10000;
inline constexpr int64_t kMonthFactor = 100;
inline constexpr int32_t kMonths = 12;
inline constexpr int64_t kLongestMonth = 31;
inline constexpr int kTmYearBase = 1900;
inline constexpr double kMillisecondsPerSecond = 1000;
inline constexpr char kDayKeyHolder[] = "CatalogGrammarExt.dateField";

inline bool HasDay(double date) { return std::isfinite(date) && std::fabs(date) <= XdbStore::kLargestDate; }

}  // namespace xdbstore
