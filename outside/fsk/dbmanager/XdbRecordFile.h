#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbComponent.h"
#include "outside/fsk/dbmanager/XdbHostCall.h"
#include "platform/result/XpResult.h"

// The album database's record file, kept through CatalogGrammar's atom
// natives in a machine that has the grammar loaded: this class plays the
// script's database, freelist, freeAtom and secondaries objects.
//
// The file begins with a molecule "HEAD" holding the head atom (flags and
// next ID) and one index atom per secondary index. Records follow: raw
// atoms {size, type, id, payload} at offsets that the file chooses, and
// free atoms over the spans that are free. The free list lives in a file of
// its own, rewritten whole by Flush and rebuilt by a scan of the record
// file when it is missing or does not match the record file.
//
// Space is taken first-fit from the free list, else at the end of the file.
// A remainder of kMinimumAtomSize bytes or more becomes a free atom; a
// smaller one stays inside the record, whose payload then reads back with
// up to kMinimumAtomSize - 1 zero bytes added.
//
// Every operation has written what it changed in the record file through
// the natives when it returns. Nothing stores a path: the file opens by
// whatever path it is given. Results: kXpErrNotOpen with no file open,
// kXpErrAlreadyOpen for a create or open on an open file, kXpErrBadArgument
// for an offset that names no record or a payload or type that cannot be
// stored, kXpErrInvalidFile for a damaged file, kXpErrDiskFull when the
// file would grow past kLargestFile; failures of the system give their
// errno's result. A failed operation leaves the file usable.
class XdbRecordFile : public XdbComponent {
 public:
  static constexpr int32_t kHeadMoleculeType = 0x48454144;  // "HEAD"
  static constexpr int32_t kHeadAtomType = 0x58444240;      // "XDB@"
  static constexpr int32_t kIndexAtomType = 0x494E4458;     // "INDX"
  static constexpr int32_t kFreeAtomType = 0x46524545;      // "FREE"
  static constexpr int32_t kFreelistType = 0x464C5354;      // "FLST"
  // A record's header {size, type, id}; also the smallest atom.
  static constexpr int64_t kMinimumAtomSize = 12;
  // Offsets and sizes are 32-bit words on disk.
  static constexpr int64_t kLargestFile = INT32_MAX;

  struct Index {
    std::string name;
    int32_t flags = 0;
    int32_t keySize = 0;
    bool operator==(const Index& other) const = default;
  };

  struct Head {
    int32_t flags = 0;
    int32_t nextID = 0;
    std::vector<Index> indexes;
    bool operator==(const Head& other) const = default;
  };

  struct Span {
    int64_t offset = 0;
    int64_t size = 0;
    bool operator==(const Span& other) const = default;
  };

  struct Record {
    int32_t id = 0;
    int32_t type = 0;
    std::vector<uint8_t> payload;
  };

  // One atom of the file as a scan finds it (a free atom's id is whatever
  // its span held).
  struct Atom {
    int64_t offset = 0;
    int64_t size = 0;
    int32_t type = 0;
    int32_t id = 0;
    bool operator==(const Atom& other) const = default;
  };

  // The machine must have CatalogGrammar loaded and outlive this object.
  explicit XdbRecordFile(FskMachine* the);
  // Closes the file without flushing.
  ~XdbRecordFile() override;

  // A new record file at path (emptied when there is one) with the head,
  // and an empty free list at freelistPath.
  [[nodiscard]] XpResult Create(const std::string& path, const std::string& freelistPath, const Head& head);
  [[nodiscard]] XpResult Open(const std::string& path, const std::string& freelistPath);
  // Releases the file; the free list is written only by Flush.
  [[nodiscard]] XpResult Close();

  const Head& GetHead() const { return head_; }
  // Rewrites the head atom's flags and next ID (the indexes stay).
  [[nodiscard]] XpResult SetHeadWords(int32_t flags, int32_t nextID);

  [[nodiscard]] XpResult Add(int32_t id, int32_t type, const std::vector<uint8_t>& payload, int64_t* offset);
  // Add, telling the span the record's atom took.
  [[nodiscard]] XpResult Add(int32_t id, int32_t type, const std::vector<uint8_t>& payload, Span* placed);
  [[nodiscard]] XpResult Read(int64_t offset, Record* record);
  // Writes the record in its span when it fits there, else adds it anew and
  // then frees the old span; *newOffset tells where it is.
  [[nodiscard]] XpResult Replace(int64_t offset, int32_t id, int32_t type, const std::vector<uint8_t>& payload,
                                 int64_t* newOffset);
  // Replace of the record whose atom is known to span known (as Add or
  // Replace placed it); a size of 0 reads it from the file. *placed tells
  // the span the record's atom takes now.
  [[nodiscard]] XpResult Replace(const Span& known, int32_t id, int32_t type, const std::vector<uint8_t>& payload,
                                 Span* placed);
  [[nodiscard]] XpResult Free(int64_t offset);
  // Visits every atom after the head molecule in file order until visit
  // answers false.
  [[nodiscard]] XpResult Scan(const std::function<bool(const Atom&)>& visit);
  // A record atom and its payload inside the bytes scanned.
  using RecordVisit = std::function<bool(const Atom& atom, std::span<const uint8_t> payload)>;
  // Visits every record atom after the head molecule (free atoms passed
  // over) in file order until visit answers false, reading them from
  // bytes, the open file as it stands, with the checks of Scan and Read:
  // one pass, no natives.
  [[nodiscard]] XpResult ScanRecordBytes(std::span<const uint8_t> bytes, const RecordVisit& visit) const;
  // Rewrites the free-list file.
  [[nodiscard]] XpResult Flush();

  // The free spans in list order.
  const std::vector<Span>& FreeSpans() const { return free_; }
  // Where the records begin: the end of the head molecule.
  int64_t RecordsStart() const { return recordsStart_; }

 private:
  void MakeObjects();
  fsk::Value NewInstance(const char* prototypePath);

  void WriteHeadMolecule(const std::string& path);
  void ReadHeadMolecule(const std::string& path);
  void ReadIndexAtom();
  void LoadFreeList();
  bool ReadFreelistFile();
  bool FreeListMatchesFile();
  void RebuildFreeListByScan();
  void WriteFreelistFile();

  int64_t FileSize();
  Atom ReadAtomHeader(int64_t offset);
  Atom RecordAt(int64_t offset);
  // The span of the record at known.offset: known itself when its size is
  // known, else as the file tells.
  Span RecordSpan(const Span& known);
  void ScanAtoms(const std::function<bool(const Atom&)>& visit);
  int64_t EndOffset(int64_t atomSize);
  void WriteRecord(int64_t offset, int64_t atomSize, int32_t id, int32_t type, const std::vector<uint8_t>& payload);
  void WriteFreeAtom(const Span& span);
  void CheckRecordArguments(int32_t type, const std::vector<uint8_t>& payload) const;
  Span AddRecord(int32_t id, int32_t type, const std::vector<uint8_t>& payload);
  void FreeRecord(const Span& known);
  void ReleaseObjects() override;

  fsk::Value database_;
  fsk::Value freelist_;
  fsk::Value secondaries_;
  fsk::Value freeAtom_;
  // The holder of the RawAtom constructor.
  fsk::Value atoms_;
  std::string freelistPath_;
  Head head_;
  std::vector<Span> free_;
  // What the natives hand back through readBlock and addIndex.
  std::vector<Span> readBlocks_;
  std::vector<Index> addedIndexes_;
  int64_t recordsStart_ = 0;
};
