#pragma once

#include <sys/stat.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "fsk/FskMachine.h"
#include "outside/fsk/dbmanager/XdbBtreeIndex.h"
#include "outside/fsk/dbmanager/XdbDataRows.h"
#include "outside/fsk/dbmanager/XdbIdAllocator.h"
#include "outside/fsk/dbmanager/XdbJournaledFolder.h"
#include "outside/fsk/dbmanager/XdbRecordFile.h"
#include "outside/fsk/dbmanager/XdbResultSet.h"
#include "outside/fsk/dbmanager/XdbStoreRecord.h"
#include "platform/result/XpResult.h"

// One album database kept in a folder of plain files:
//   XDB.DAT   the records ("CONT", "ALBM") after the head molecule;
//   XDB.FRE   its free list;
//   IDS.BLK   the ID bits, with the last guid handed out as counter;
//   XDB.IND   record ID -> offset in XDB.DAT;
//   OAI.IND   albumID -> content IDs;
//   GUID.IND  guid -> content ID;
//   DATA.BLK  one row per ID: kind, albumID, folder * 10000 + file, day
//             key, shareFlag, favoriteFlag.
// The derived files (all but XDB.DAT and IDS.BLK) are rebuilt by Open when
// missing. The folder is mounted as a journaled file system, so nothing in
// it changes between Flush calls and a crash finds the last complete flush.
//
// Albums and contents share one ID space, lowest free first from 1 to the
// limit. Guids only grow, from 1 to kLargestGuid, and are never reused.
//
// Results: kXpErrNotOpen with nothing open, kXpErrBadArgument for an id
// that names no record of the kind asked for (or an album that does not
// exist), failures of the system as their errno's result. "None" (no free
// ID, guids exhausted) is success with id 0.
//
// Example: open (or make) a database, add an album with one content and
// make both durable; the machine "the" has both grammars loaded
// (FskNewGrammarMachine with "CatalogGrammar" and "CatalogGrammarExt").
//
//   XdbStore store(the);
//   int status = 0;
//   XpResult result = store.Open("/media/CAM/DBFILES", &status);
//   if (XpFailed(result)) return result;
//   if (status != XdbStore::kOpened) return kXpErrGeneric;  // kNoFolder, kNotOurs
//   int32_t album = 0;
//   int32_t content = 0;
//   result = store.AddAlbum({.preference = 3, .title = "Trip"}, &album);
//   const XdbContent fields = {.date = date, .folderID = 100, .fileID = 1, .albumID = album};
//   if (XpSucceeded(result)) result = store.AddContent(fields, &content);
//   const XpResult closed = store.Close();  // kXpOk: every change is durable
//   return XpFailed(result) ? result : closed;
class XdbStore {
 public:
  // Open's answers.
  static constexpr int kOpened = 350;
  static constexpr int kNoFolder = 351;
  static constexpr int kNotOurs = 353;

  static constexpr int32_t kDefaultLimit = 40000;
  static constexpr int32_t kLargestGuid = INT32_MAX;
  // Dates (milliseconds since 1970) beyond this either side have no day.
  static constexpr double kLargestDate = 8.64e15;
  static constexpr int32_t kFormatVersion = 1;
  static constexpr int32_t kLittleEndian = 12;
  static constexpr int32_t kBigEndian = 8;

  enum class Kind { kContent, kAlbum };

  struct Record {
    int32_t id = 0;
    Kind kind = Kind::kContent;
    XdbContent content;
    XdbAlbum album;
  };

  // The machine must have both grammars loaded and outlive the store.
  explicit XdbStore(FskMachine* the);
  // Closes without flushing.
  ~XdbStore();
  XdbStore(const XdbStore&) = delete;
  XdbStore& operator=(const XdbStore&) = delete;

  // Test options, for the next Open: the ID limit and the byte order of a
  // new database; a stage hook called inside Flush. A new store takes them
  // from the environment too: kLimitVariable (a positive number),
  // kByteOrderVariable (8 or 12) and kStopAtVariable (a stage at which the
  // process kills itself, as a crash would end it).
  static constexpr const char* kLimitVariable = "KAVO_XDB_LIMIT";
  static constexpr const char* kByteOrderVariable = "KAVO_XDB_BYTE_ORDER";
  static constexpr const char* kStopAtVariable = "KAVO_XDB_STOP_AT";
  void SetLimit(int32_t limit) { limit_ = limit; }
  void SetByteOrder(int32_t flags) { order_ = flags; }
  void SetStageHook(XdbJournaledFolder::StageHook hook) { folder_.SetStageHook(std::move(hook)); }

  // *status is one of kOpened, kNoFolder and kNotOurs; a folder that is not
  // ours is left as it was. A store that is open closes first.
  [[nodiscard]] XpResult Open(const std::string& folder, int* status);
  // Flush and Close answer kXpOk once every change is durable and a
  // failure when a change is not (no later open finds it). After kXpOk,
  // LastCompletion() tells whether the changes are all in the files yet or
  // still wait in the journal, which the next flush or open completes.
  [[nodiscard]] XpResult Flush();
  [[nodiscard]] XpResult Close();
  using Completion = XdbJournaledFolder::Completion;
  // Of the last flush of the folder (by Open, Flush or Close); kept after
  // Close.
  const Completion& LastCompletion() const { return completion_; }
  bool IsOpen() const { return open_ && folder_.IsMounted(); }
  // Removes our files from folder (not the folder, not other files);
  // kXpErrAlreadyOpen when a store holds it.
  [[nodiscard]] XpResult DeleteDatabase(const std::string& folder);

  [[nodiscard]] XpResult AddContent(const XdbContent& fields, int32_t* id);
  [[nodiscard]] XpResult AddAlbum(const XdbAlbum& album, int32_t* id);
  // Replaces date, folderID, fileID, albumID and misc; flags and guid stay.
  [[nodiscard]] XpResult UpdateContent(int32_t id, const XdbContent& fields);
  // The record reads back at once; the record file takes it at the next
  // Flush or Close, which answer a failure to write it (until then the
  // file holds the album as it was, where records_ has it).
  [[nodiscard]] XpResult UpdateAlbum(int32_t id, const XdbAlbum& album);
  // share: shareFlag |= value, or &= ~value when clearing.
  [[nodiscard]] XpResult SetShare(int32_t id, int32_t value, bool set);
  // favourite: favoriteFlag = value, or 0 when clearing.
  [[nodiscard]] XpResult SetFavorite(int32_t id, int32_t value, bool set);
  [[nodiscard]] XpResult Delete(int32_t id, Kind kind);
  std::optional<Record> GetRecord(int32_t id) const;

  // Searches. Each makes *found a new set of this store's database (see
  // Database()) over IDs 0 to the limit + 1, holding the IDs that match.
  // ContentsOfAlbum and AlbumRange answer from OAI.IND, the guid searches
  // from GUID.IND, the others from DATA.BLK. On failure *found is null.
  using Found = std::unique_ptr<XdbResultSet>;
  [[nodiscard]] XpResult ContentsOfAlbum(int32_t albumID, Found* found);
  [[nodiscard]] XpResult AllAlbums(Found* found);
  [[nodiscard]] XpResult AllContents(Found* found);
  [[nodiscard]] XpResult GuidEqual(double guid, Found* found);
  // low <= value <= high; empty when low > high.
  [[nodiscard]] XpResult GuidRange(double low, double high, Found* found);
  [[nodiscard]] XpResult AlbumRange(double low, double high, Found* found);
  // shareFlag & value != 0.
  [[nodiscard]] XpResult ShareAny(int32_t value, Found* found);
  [[nodiscard]] XpResult FavoriteEqual(int32_t value, Found* found);
  [[nodiscard]] XpResult Dcf(int32_t folderID, int32_t fileID, Found* found);
  // Contents whose date falls in month (1-12) of year, by its UTC fields.
  [[nodiscard]] XpResult InMonth(int32_t year, int32_t month, Found* found);

  // The script object the sets of this store answer to:
  // getSortingArray(key) gives the sorting array of kGuidKey or kAlbumKey,
  // built by the index's sorting node over GUID.IND or OAI.IND (undefined
  // for another key or with nothing open); getSortingOrder(key) gives 1;
  // getRecord(id) gives the record as an object (id, kind "content" or
  // "album", then its fields), or undefined when there is none.
  const fsk::Value& Database() const { return database_; }
  static constexpr const char* kGuidKey = "guid";
  static constexpr const char* kAlbumKey = "albumID";

  // Sorting ranks by guid or by albumID, read from the sorting arrays
  // above: ranks, indexed by ID up to the limit, receives each content's
  // rank in ascending key order; other IDs get -1.
  enum class SortKey { kGuid, kAlbumID };
  [[nodiscard]] XpResult SortingRanks(SortKey key, std::vector<int64_t>* ranks);

  int32_t Limit() const { return limit_; }
  // The derived files the last Open found unreadable and rebuilt, one line
  // each.
  const std::vector<std::string>& Rebuilt() const { return rebuilt_; }
  // Every fault found between the records and the other files, one line
  // each; empty when sound.
  std::vector<std::string> Check();

 private:
  // A data row: kind (1 content, 2 album), albumID, folder * 10000 +
  // file, day key (year * 10000 + month * 100 + day of the date's UTC
  // fields, 0 for a date without a day), shareFlag, favoriteFlag.
  static constexpr int32_t kRowFields = 6;
  using RowValues = std::array<uint32_t, kRowFields>;
  RowValues RowOf(const Record& record) const;
  uint32_t DayKeyOf(double date) const;

  struct Entry {
    int64_t offset = 0;
    // The size of the record's atom; 0 when not known.
    int64_t size = 0;
    Record record;
  };
  // The components over the folder's files.
  struct Files {
    Files(FskMachine* the, int32_t limit)
        : records(the), ids(the, limit), idIndex(the), albumIndex(the), guidIndex(the), rows(the) {}
    // Closes every component that is open, writing the free list.
    [[nodiscard]] XpResult CloseAll();

    XdbRecordFile records;
    XdbIdAllocator ids;
    XdbBtreeIndex idIndex;
    XdbBtreeIndex albumIndex;
    XdbBtreeIndex guidIndex;
    XdbDataRows rows;
  };

  // A file of the last store that closed durably: its status (lstat) after
  // the close and its bytes.
  struct RememberedFile {
    struct stat status {};
    std::vector<uint8_t> bytes;
    // The bytes went to the folder of an open.
    bool taken = false;
  };
  // What the last store that closed durably held: its files, and its
  // records when they read back from its record file. An open takes a file
  // from here instead of reading it when the file is that very file,
  // unchanged (device, inode, size, modification and change time), or a
  // copy of it (same size and modification time, changed after it) while
  // the remembered file is unchanged; it takes the records when its record
  // file was taken so.
  struct RememberedRecords {
    std::string folder;
    std::map<std::string, RememberedFile> files;
    std::map<int32_t, Entry> records;
    uint32_t largestGuid = 0;
  };
  static RememberedRecords& Remembered();
  void RememberRecords();
  bool TakeRememberedRecords();
  // Moves the remembered files into offered_ and lets the folder take them.
  void OfferRememberedFiles();
  // The bytes of name for the folder, moved out of offered_ by the folder.
  std::vector<uint8_t>* OfferedBytes(const std::string& name, const struct stat& status);
  // A failed change may leave the record file and records_ apart.
  [[nodiscard]] XpResult Noted(XpResult result);

  void ReadEnvironment();
  [[nodiscard]] XpResult OpenOurs(int* status);
  // The folder's flush, noting its completion.
  [[nodiscard]] XpResult FlushFolder();
  [[nodiscard]] XpResult CreateNew();
  [[nodiscard]] XpResult LoadRecords();
  [[nodiscard]] XpResult ScanRecords();
  // Adds the record of a scanned atom to records_; false for a record that
  // does not decode, an ID out of bounds or one already taken (records_
  // is then of no use: the load fails).
  bool AddScanned(const XdbRecordFile::Atom& atom, std::span<const uint8_t> payload);
  [[nodiscard]] XpResult RebuildDerived(bool* rebuilt);
  [[nodiscard]] XpResult IndexRecord(const Entry& entry);
  [[nodiscard]] XpResult UnindexRecord(const Entry& entry);
  [[nodiscard]] XpResult WriteRow(const Entry& entry);
  [[nodiscard]] XpResult StoreRecord(int32_t id, Entry* entry);
  // Writes the albums of albumsToWrite_ to the record file.
  [[nodiscard]] XpResult WriteAlbums();
  // Notes whether the record of id reads back from the payload it was
  // stored with.
  void NoteReadingBack(int32_t id, bool readsBack);
  void NoteGuid(int32_t guid);
  // Adds entry's record to the record file, placing entry.
  [[nodiscard]] XpResult AddToFile(Entry* entry, int32_t type, const std::vector<uint8_t>& payload);
  void Release();
  std::string PathOf(const char* name) const { return folder_.PathOf(name); }
  Entry* Find(int32_t id, Kind kind);
  // A new empty set of this store in *found.
  [[nodiscard]] XpResult NewSet(Found* found);
  // Adds ids to *found, made by a search that gave result; on failure
  // *found is dropped.
  [[nodiscard]] static XpResult Fill(XpResult result, const std::vector<int32_t>& ids,
                                     Found* found);
  // *found: the rows whose field matches search.
  [[nodiscard]] XpResult FindRows(const XdbDataRows::Search& search, Found* found);
  // *found: the IDs of the keys of index from low to high.
  [[nodiscard]] XpResult FindKeys(XdbBtreeIndex& index, double low, double high, Found* found);
  // *found: the rows that match search and are contents whose fields pass
  // match, which rejects rows whose key only collides with the one sought.
  template <typename Match>
  [[nodiscard]] XpResult FindContents(const XdbDataRows::Search& search, Match match, Found* found);
  void MakeDatabase();
  fsk::Value SortingArray(const fsk::Value& key);
  fsk::Value RecordObject(int32_t id);

  FskMachine* the_;
  int32_t limit_ = kDefaultLimit;
  int32_t order_ = kLittleEndian;
  XdbJournaledFolder folder_;
  Completion completion_;
  std::unique_ptr<Files> files_;
  std::map<int32_t, Entry> records_;
  // The records that do not read back from the payload they were stored
  // with: none of records_ is remembered then.
  std::set<int32_t> notReadingBack_;
  // The largest guid (as unsigned) of a content loaded or added since the
  // open: the ID counter must not be behind it.
  uint32_t largestGuid_ = 0;
  // Albums updated in records_ whose new fields the file does not hold yet.
  std::set<int32_t> albumsToWrite_;
  // The remembered files during an open.
  RememberedRecords offered_;
  // No change failed since the open: records_ is what the record file holds.
  bool recordsMatchFile_ = false;
  bool open_ = false;
  std::vector<std::string> rebuilt_;
  // The object whose dayKey gives the day keys of data rows, once looked up.
  mutable fsk::Value dayKeyHolder_;
  fsk::Value database_;
  // Points at this store while it lives; the database object's functions
  // hold it, so that they outlive the store safely.
  std::shared_ptr<XdbStore*> self_;
};
