#include "outside/fsk/dbmanager/XdbStore.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <mutex>
#include <set>
#include <span>
#include <variant>

#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbHostCall.h"
#include "outside/fsk/dbmanager/XdbStoreInternal.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"

using namespace xdbstore;

namespace {

// The UTC fields of a date in milliseconds; false when it has no day.
bool UtcFieldsOf(double date, tm* fields) {
  if (!HasDay(date)) {
    return false;
  }
  auto seconds = static_cast<time_t>(std::floor(date / kMillisecondsPerSecond));
  return gmtime_r(&seconds, fields) != nullptr;
}

bool InRange(double value, double low, double high) { return low <= value && value <= high; }

// The IDs an index gave, kept only when the search succeeded and every one
// lies from 1 to limit: an ID beyond the limit is a damaged index, and is
// dropped before it can size a set.
[[nodiscard]] XpResult IdsWithin(XpResult result, int32_t limit, std::vector<int32_t>* ids) {
  bool sound = std::all_of(ids->begin(), ids->end(), [&](int32_t id) { return id >= 1 && id <= limit; });
  if (XpSucceeded(result) && sound) {
    return result;
  }
  ids->clear();
  return XpFailed(result) ? result : kXpErrInvalidFile;
}

}  // namespace

XpResult XdbStore::NewSet(Found* found) {
  found->reset();
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  auto set = std::make_unique<XdbResultSet>(the_, database_);
  XpResult result = set->Create(limit_ + 1);
  if (XpSucceeded(result)) {
    *found = std::move(set);
  }
  return result;
}

XpResult XdbStore::Fill(XpResult result, const std::vector<int32_t>& ids, Found* found) {
  for (int32_t id : ids) {
    result = Either(result, (*found)->Add(id));
  }
  if (XpFailed(result)) {
    found->reset();
  }
  return result;
}

XpResult XdbStore::FindRows(const XdbDataRows::Search& search, Found* found) {
  XpResult result = NewSet(found);
  if (XpSucceeded(result)) {
    result = files_->rows.Find(search, (*found)->Object());
  }
  if (XpFailed(result)) {
    found->reset();
  }
  return result;
}

XpResult XdbStore::FindKeys(XdbBtreeIndex& index, double low, double high, Found* found) {
  XpResult result = NewSet(found);
  if (XpFailed(result)) {
    return result;
  }
  std::vector<int32_t> ids;
  if (low <= high) {
    result = index.FilterSearch(
        [&](const XdbBtreeIndex::Key& key) {
          return std::holds_alternative<int32_t>(key) && InRange(std::get<int32_t>(key), low, high);
        },
        &ids);
  }
  return Fill(IdsWithin(result, limit_, &ids), ids, found);
}

template <typename Match>
XpResult XdbStore::FindContents(const XdbDataRows::Search& search, Match match, Found* found) {
  XpResult result = FindRows(search, found);
  std::vector<int32_t> candidates;
  if (XpSucceeded(result)) {
    result = (*found)->Ids(&candidates);
  }
  for (int32_t id : candidates) {
    auto entry = records_.find(id);
    bool wanted =
        entry != records_.end() && entry->second.record.kind == Kind::kContent && match(entry->second.record.content);
    if (!wanted) {
      result = Either(result, (*found)->Remove(id));
    }
  }
  if (XpFailed(result)) {
    found->reset();
  }
  return result;
}

XpResult XdbStore::ContentsOfAlbum(int32_t albumID, Found* found) {
  XpResult result = NewSet(found);
  if (XpFailed(result)) {
    return result;
  }
  std::vector<int32_t> ids;
  result = files_->albumIndex.Search(albumID, &ids);
  return Fill(IdsWithin(result, limit_, &ids), ids, found);
}

XpResult XdbStore::AllAlbums(Found* found) { return FindRows({kKindField, kAlbumRow, {}, {}, {}}, found); }

XpResult XdbStore::AllContents(Found* found) { return FindRows({kKindField, kContentRow, {}, {}, {}}, found); }

XpResult XdbStore::GuidEqual(double guid, Found* found) { return GuidRange(guid, guid, found); }

XpResult XdbStore::GuidRange(double low, double high, Found* found) {
  return IsOpen() ? FindKeys(files_->guidIndex, low, high, found) : NewSet(found);
}

XpResult XdbStore::AlbumRange(double low, double high, Found* found) {
  return IsOpen() ? FindKeys(files_->albumIndex, low, high, found) : NewSet(found);
}

XpResult XdbStore::ShareAny(int32_t value, Found* found) {
  if (!IsOpen()) {
    return NewSet(found);
  }
  XdbDataRows::Search search{kShareField, 1, {}, {}, {}};
  XpResult result = Run(the_, [&] {
    search.transform = fsk::NewFunction(
        the_,
        [value](FskMachine* the, const fsk::Value&, const std::vector<fsk::Value>& arguments) {
          auto flags = static_cast<uint32_t>(fsk::ToInteger(the, arguments.at(0)));
          return fsk::Value::Integer((flags & static_cast<uint32_t>(value)) != 0 ? 1 : 0);
        },
        1);
  });
  return XpSucceeded(result) ? FindRows(search, found) : result;
}

XpResult XdbStore::FavoriteEqual(int32_t value, Found* found) {
  return FindContents(
      {kFavoriteField, static_cast<uint32_t>(value), {}, {}, {}}, [](const XdbContent&) { return true; }, found);
}

XpResult XdbStore::Dcf(int32_t folderID, int32_t fileID, Found* found) {
  XdbContent sought;
  sought.folderID = folderID;
  sought.fileID = fileID;
  return FindContents(
      {kDcfField, DcfOf(sought), {}, {}, {}},
      [&](const XdbContent& content) { return content.folderID == folderID && content.fileID == fileID; }, found);
}

XpResult XdbStore::InMonth(int32_t year, int32_t month, Found* found) {
  if (month < 1 || month > kMonths) {
    return NewSet(found);
  }
  int64_t first = int64_t{year} * kYearFactor + int64_t{month} * kMonthFactor + 1;
  XdbDataRows::Search search{
      kDayField, static_cast<uint32_t>(first), static_cast<uint32_t>(first + kLongestMonth - 1), {}, {}};
  return FindContents(
      search,
      [&](const XdbContent& content) {
        tm fields{};
        return UtcFieldsOf(content.date, &fields) && fields.tm_year + kTmYearBase == year && fields.tm_mon + 1 == month;
      },
      found);
}

XpResult XdbStore::SortingRanks(SortKey key, std::vector<int64_t>* ranks) {
  ranks->assign(static_cast<size_t>(limit_) + 1, -1);
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  return Run(the_, [&] {
    fsk::Value array = SortingArray(fsk::Value::String(key == SortKey::kGuid ? kGuidKey : kAlbumKey));
    for (int32_t id = 1; id <= limit_; ++id) {
      // An ID outside the array ranks -1, so this is id's rank + 1.
      (*ranks)[static_cast<size_t>(id)] = fsk::ToInteger(the_, fsk::Call(the_, array, "compare", id, -1)) - 1;
    }
  });
}

fsk::Value XdbStore::SortingArray(const fsk::Value& key) {
  if (!IsOpen() || key.Type() != kFskStringType) {
    return fsk::Value();
  }
  std::string name = fsk::ToString(the_, key);
  XdbBtreeIndex* index = name == kGuidKey ? &files_->guidIndex : name == kAlbumKey ? &files_->albumIndex : nullptr;
  if (index == nullptr) {
    return fsk::Value();
  }
  XpResult result = index->BuildSortingArray(limit_ + 1);
  if (XpFailed(result)) {
    fxError(the_, EIO);
  }
  return index->SortingArray();
}
