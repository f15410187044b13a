#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "framework/suite/SfExtProgramEntry.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// The lists a list object holds, chosen by "DisplayLevel" and "GroupApp".
enum class SfExtProgramListKind : uint32_t {
  kGroup0 = 0,  // suite programs, level 0
  kUser,        // level 1: the list the user edits
  kGroup2,
  kGroup3,
  kGroup4,      // levels 4 and 5 (group lists 4 and 5 hold the same entries)
  kGroup5,
  kGroup6,      // further importer modules
  kList100,     // level 100
};

// The suite's external programs, built once from their entry files:
//   - the external-tools folder (SfGetExtToolsFolder), then each existing
//     folder named by a string value of the local-machine key
//     "...\Browser\ExtProgramXML", in value order;
//   - in each folder every child whose extension is ".xml" in any case, in
//     the order of the names compared with case folded;
//   - an entry is switched off when a row of the switch-off table (the
//     DWORDs of the current user's "...\Browser\ExtProgramXML\Ignore" in
//     value order, 0xFFFFFFFF passed over, then the built-in rows) names
//     its "InstallSettingName" at its "DisplayLevel".
//
// The user list (at most 20 entries by default) is kept as files of the
// external-tools folder, "<n>.xml" from a file counter. A new number skips
// every name held by a file that is not the source of an entry of the user
// list, so files the list dropped (over the limit, switched off, their
// program missing) are never overwritten. An entry that moves to a new name
// retires the file it came from when it is saved, so that no program is
// read twice next time. Destroying the list saves the user list.
class SfExtProgramList {
 public:
  using Entries = std::vector<SfExtProgramEntry>;

  static constexpr size_t kListCount = 8;
  // Lists that hand out identifiers: all but group list 6.
  static constexpr size_t kIdListCount = 7;
  static constexpr uint32_t kDefaultMaxUserEntries = 20;

  // Builds every list.
  SfExtProgramList();
  // Saves the user list; the result is not reported.
  ~SfExtProgramList();
  SfExtProgramList(const SfExtProgramList&) = delete;
  SfExtProgramList& operator=(const SfExtProgramList&) = delete;

  Entries& GetList(SfExtProgramListKind kind);
  const Entries& GetList(SfExtProgramListKind kind) const;
  Entries& GetUserList() { return GetList(SfExtProgramListKind::kUser); }

  // The identifier of the same program in the user list; otherwise the
  // entry is added and the identifier of the user list's last entry is
  // returned (0 when the list is empty).
  uint32_t FindOrAdd(const SfExtProgramEntry& entry);
  // Deletes the files of the user list (the files its entries were read
  // from too), empties it, restarts the file counter and the identifier
  // counter, and adds entries in order.
  void ReplaceUserList(const Entries& entries);
  // Appends to out every entry of group list 2 whose content-type masks
  // hold contentType; true when any was appended.
  bool CollectByContentType(uint32_t contentType, Entries* out) const;
  // New identifiers from each list's base: counter + 1 in list order for
  // group list 0, the user list and group lists 2-5 (the counter keeps the
  // last), base, base + 1, ... for list 100; group list 6 keeps its own.
  void Renumber();
  // Saves the user list: "UIOrder" 1, 2, ... in list order, each entry
  // written and its file registered in the InitTool list "Delete" of
  // "ExpAppData", the file it moved from deleted. The code of the first
  // failed write, kXpOk when all were written.
  [[nodiscard]] XpResult SaveUserList();
  // Removes the user entry with identifier id: its program is switched off
  // at its level in the Ignore key when it has an "InstallSettingName" and
  // a level, its files are deleted and it leaves the list. Nothing when no
  // entry has id.
  void Remove(uint32_t id);

  // Bases for group list 0, the user list, group lists 2-5 and list 100.
  void SetIdBases(const std::array<uint32_t, kIdListCount>& bases);
  void SetMaxUserEntries(uint32_t maximum) { maxUserEntries_ = maximum; }
  // Identifiers handed out by the user list since its base.
  uint32_t GetCount() const;

  // The external-tools folder the list was built from.
  const XpString& GetExtToolsFolder() const { return extToolsFolder_; }

 private:
  struct SwitchOffRow {
    XpString name;
    uint32_t level;
  };

  void ReadSwitchOffTable();
  XpStringVector CollectFolders() const;
  void ReadFolder(const XpString& folder);
  void Place(SfExtProgramEntry& entry, bool inExtToolsFolder);
  void PlaceUserEntry(SfExtProgramEntry& entry, bool inExtToolsFolder);
  bool IsSwitchedOff(const SfExtProgramEntry& entry) const;
  void SortLists();

  // Adds a copy of entry to the user list under a new file name, keeping
  // source as the file it came from; nothing when the list is full.
  void AddUserEntry(const SfExtProgramEntry& entry, const XpString& source);
  XpString NextFileName(const XpString& source);
  // path is the source of a user entry other than except (an entry that
  // was saved has its file as its source).
  bool IsUserSource(const XpString& path, const SfExtProgramEntry* except) const;
  bool IsUserTarget(const XpString& path, const SfExtProgramEntry* except) const;
  // The file entry came from is to go: it lies in the external-tools
  // folder, differs from the entry's file and is no other entry's file.
  bool IsRetiredSource(const SfExtProgramEntry& entry) const;
  // Deletes that file; the entry's file is its source from then on.
  void RetireSource(SfExtProgramEntry& entry);

  std::array<Entries, kListCount> lists_;
  std::vector<SwitchOffRow> switchOff_;
  XpString extToolsFolder_;
  uint32_t fileCounter_ = 0;
  uint32_t maxUserEntries_ = kDefaultMaxUserEntries;
  std::array<uint32_t, kIdListCount> idBases_{};
  std::array<uint32_t, kIdListCount> idCounters_{};
};
