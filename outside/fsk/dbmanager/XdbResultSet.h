#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"
#include "platform/result/XpResult.h"

// A result set of the album database: our C++ playing the script's result
// object over CatalogGrammar's result natives. The object is an instance of
// xdb.result with
// - data: its bitmap, a _result in memory or a _bitmap kept in a file;
// - contents: a _content of the set's IDs, built on demand;
// - database and db: the object that answers getSortingArray(key),
//   getSortingOrder(key) and getRecord(id);
// - the callbacks build(n) (buildAux into a fresh _Content of count()
//   slots), invalidate() (drops contents) and adjust(n) (data.adjust(n)).
// Making a set also defines xdb.Result(database), which the natives'
// unique uses, when the machine has none.
//
// Results: kXpErrNotOpen for a set not made yet, kXpErrBadArgument for what
// the natives refuse (EINVAL), else the result of the error raised.
class XdbResultSet {
 public:
  // the must have CatalogGrammar loaded and outlive this object.
  XdbResultSet(FskMachine* the, fsk::Value database);
  XdbResultSet(const XdbResultSet&) = delete;
  XdbResultSet& operator=(const XdbResultSet&) = delete;

  // A new empty set over a bitmap in memory that covers IDs 0 to maxID.
  [[nodiscard]] XpResult Create(int32_t maxID);
  // A set over the bitmap file at path (made when missing), covering at
  // least IDs 0 to maxID.
  [[nodiscard]] XpResult Open(int32_t maxID, const std::string& path);
  // Writes a file bitmap and releases the data.
  [[nodiscard]] XpResult Close();

  [[nodiscard]] XpResult Add(int32_t id);
  [[nodiscard]] XpResult Remove(int32_t id);
  [[nodiscard]] XpResult Test(int32_t id, bool* present);
  [[nodiscard]] XpResult Count(int64_t* count);

  // *out becomes a new set in memory holding a AND b, a OR b, NOT a (over
  // IDs 0 to a's maxID).
  [[nodiscard]] static XpResult And(const XdbResultSet& a, const XdbResultSet& b, XdbResultSet* out);
  [[nodiscard]] static XpResult Or(const XdbResultSet& a, const XdbResultSet& b, XdbResultSet* out);
  [[nodiscard]] static XpResult Not(const XdbResultSet& a, XdbResultSet* out);

  // The ID at position in the contents: ascending until sorted; -1 beyond
  // the end.
  [[nodiscard]] XpResult IdAt(int32_t position, int32_t* id);
  // Every ID of the contents, in the order of IdAt.
  [[nodiscard]] XpResult Ids(std::vector<int32_t>* ids);
  // Sorts the contents by the keys (up to 256; the first key without a
  // sorting array ends the list).
  [[nodiscard]] XpResult Sort(const std::vector<std::string>& keys);
  // *out becomes the set of the first ID of each run of equal ranks of key.
  [[nodiscard]] XpResult Unique(const std::string& key, XdbResultSet* out);
  // database.getRecord(id) of each ID, ascending, each with selected false.
  [[nodiscard]] XpResult Records(std::vector<fsk::Value>* records);

  // The script object.
  const fsk::Value& Object() const { return object_; }

 private:
  [[nodiscard]] XpResult Run(const std::function<void()>& work) const;
  void MakeObject(const fsk::Value& data);
  void RequireObject() const;
  // Makes this a new set over IDs 0 to maxID, then calls method with the
  // operands.
  [[nodiscard]] XpResult Combine(int32_t maxID, const char* method,
                                 const std::vector<fsk::Value>& operands);
  static std::vector<fsk::Value> DataOf(const std::vector<const XdbResultSet*>& sets);

  FskMachine* the_;
  fsk::Value database_;
  fsk::Value object_;
  // The highest ID the bitmap covers, as far as this object made it grow.
  int32_t maxID_ = 0;
};
