#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "outside/fsk/dbmanager/XdbStore.h"

namespace {

using IdMap = std::map<int32_t, std::set<int32_t>>;

// Each key of index with its IDs; keys without IDs are left out.
bool WalkIndex(XdbBtreeIndex& index, IdMap* found) {
  return XpSucceeded(index.Walk([&](const XdbBtreeIndex::Key& key, const std::vector<int32_t>& ids) {
    if (!ids.empty() && std::holds_alternative<int32_t>(key)) {
      (*found)[std::get<int32_t>(key)].insert(ids.begin(), ids.end());
    }
  }));
}

// Whether value lies from low to high; else a fault naming what the file
// holds, so that nothing loops or allocates on the value.
bool Within(int64_t value, int64_t low, int64_t high, const std::string& what, std::vector<std::string>* faults) {
  if (value >= low && value <= high) {
    return true;
  }
  faults->push_back(what + " " + std::to_string(value) + " is outside " + std::to_string(low) + " to " +
                    std::to_string(high));
  return false;
}

void Compare(const char* name, const IdMap& expected, const IdMap& found, std::vector<std::string>* faults) {
  if (expected != found) {
    faults->push_back(std::string(name) + " does not match the records");
  }
}

}  // namespace

std::vector<std::string> XdbStore::Check() {
  std::vector<std::string> faults;
  if (!IsOpen()) {
    faults.push_back("no database is open");
    return faults;
  }
  IdMap offsets;
  IdMap albums;
  IdMap guids;
  for (const auto& [id, entry] : records_) {
    offsets[id].insert(static_cast<int32_t>(entry.offset));
    if (entry.record.kind == Kind::kContent) {
      albums[entry.record.content.albumID].insert(id);
      guids[entry.record.content.guid].insert(id);
      if (static_cast<uint32_t>(entry.record.content.guid) > files_->ids.Counter()) {
        faults.push_back("guid " + std::to_string(entry.record.content.guid) + " is past the counter");
      }
    }
  }
  struct Index {
    const char* name;
    XdbBtreeIndex* index;
    const IdMap* expected;
  };
  const Index indexes[] = {{"XDB.IND", &files_->idIndex, &offsets},
                           {"OAI.IND", &files_->albumIndex, &albums},
                           {"GUID.IND", &files_->guidIndex, &guids}};
  for (const Index& index : indexes) {
    IdMap found;
    if (!WalkIndex(*index.index, &found)) {
      faults.push_back(std::string(index.name) + " cannot be read");
      continue;
    }
    Compare(index.name, *index.expected, found, &faults);
    std::string tree = index.index->Check();
    if (!tree.empty()) {
      faults.push_back(std::string(index.name) + ": " + tree);
    }
  }
  // The words of IDS.BLK and the rows of DATA.BLK bound the loops below:
  // IDs run from 1 to the limit, guids up to kLargestGuid.
  const int64_t maxID = files_->ids.MaxID();
  const bool maxIDSound = Within(maxID, 0, limit_, "IDS.BLK: maxID", &faults);
  (void)Within(files_->ids.Counter(), 0, kLargestGuid, "IDS.BLK: counter", &faults);
  const int64_t rowCount = files_->rows.RowCount();
  const bool rowsSound = Within(rowCount, 0, limit_, "DATA.BLK: row count", &faults);
  for (int64_t id = 1; maxIDSound && id <= maxID; ++id) {
    bool used = false;
    if (XpFailed(files_->ids.IsUsed(id, &used)) || used != (records_.count(static_cast<int32_t>(id)) != 0)) {
      faults.push_back("ID bit " + std::to_string(id) + " does not match the records");
    }
  }
  for (const auto& [id, entry] : records_) {
    if (maxIDSound && id > maxID) {
      faults.push_back("ID " + std::to_string(id) + " is past the highest ID handed out");
    }
  }
  for (int64_t id = 1; rowsSound && id <= rowCount; ++id) {
    auto found = records_.find(static_cast<int32_t>(id));
    RowValues expected{};
    if (found != records_.end()) {
      expected = RowOf(found->second.record);
    }
    std::vector<uint32_t> row(kRowFields, 0);
    bool readable = XpSucceeded(files_->rows.GetFields(id, 0, &row));
    if (!readable || !std::equal(row.begin(), row.end(), expected.begin())) {
      faults.push_back("row " + std::to_string(id) + " of DATA.BLK does not match its record");
    }
  }
  for (const auto& [id, entry] : records_) {
    if (rowsSound && id > rowCount) {
      faults.push_back("record " + std::to_string(id) + " has no row in DATA.BLK");
    }
  }
  std::map<int64_t, int32_t> atoms;
  if (XpFailed(files_->records.Scan([&](const XdbRecordFile::Atom& atom) {
        atoms[atom.offset] = atom.type;
        return true;
      }))) {
    faults.push_back("XDB.DAT cannot be scanned");
  }
  for (const XdbRecordFile::Span& span : files_->records.FreeSpans()) {
    auto atom = atoms.find(span.offset);
    if (atom == atoms.end() || atom->second != XdbRecordFile::kFreeAtomType) {
      faults.push_back("free span at " + std::to_string(span.offset) + " is not a free atom");
    }
  }
  for (const auto& [id, entry] : records_) {
    auto atom = atoms.find(entry.offset);
    int32_t type = entry.record.kind == Kind::kContent ? XdbStoreRecord::kContentType : XdbStoreRecord::kAlbumType;
    if (atom == atoms.end() || atom->second != type) {
      faults.push_back("record " + std::to_string(id) + " is not where XDB.DAT has it");
    }
  }
  return faults;
}
