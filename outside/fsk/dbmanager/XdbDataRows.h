#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbBlockFile.h"
#include "platform/result/XpResult.h"

// The album database's data rows, kept in a data block file through
// CatalogGrammarExt's natives: one row of eight 32-bit fields per record
// ID, row i of page p belonging to ID 1024 * p + i + 1. Searches go through
// data.bubbleSearch into a target, and sorting arrays are filled through
// data.copySortingArray.
//
// Results: those of XdbBlockFile; kXpErrBadArgument for an ID below 1, a
// field outside 0 to 7 or a sorting array too short.
class XdbDataRows {
 public:
  static constexpr int32_t kFieldCount = 8;
  static constexpr int64_t kRowBytes = 32;
  // The four-character type of the file.
  static constexpr int32_t kFileType = 0x58444441;  // "XDDA"

  // A search of one field: the value equal to low, or (with high) every
  // unsigned value from low to high, each value first passed through
  // transform.call(thisArg, value) when transform is a function.
  struct Search {
    int32_t field = 0;
    uint32_t low = 0;
    std::optional<uint32_t> high;
    fsk::Value thisArg;
    fsk::Value transform;
  };

  // The machine must have both grammars loaded and outlive this object.
  explicit XdbDataRows(FskMachine* the);

  [[nodiscard]] XpResult Create(const std::string& path);
  [[nodiscard]] XpResult Open(const std::string& path);
  [[nodiscard]] XpResult Close();

  // The number of rows the file holds: the highest ID that has a row.
  int64_t RowCount() const { return file_.BlockCount(); }

  // Sets field of id's row, adding rows of zeros up to it.
  [[nodiscard]] XpResult SetField(int64_t id, int32_t field, uint32_t value);
  // Sets the fields from first on of id's row to values, in one go.
  [[nodiscard]] XpResult SetFields(int64_t id, int32_t first, const std::vector<uint32_t>& values);
  [[nodiscard]] XpResult SetFields(int64_t id, int32_t first, std::span<const uint32_t> values);
  [[nodiscard]] XpResult GetField(int64_t id, int32_t field, uint32_t* value);
  // Reads values->size() fields from first on of id's row.
  [[nodiscard]] XpResult GetFields(int64_t id, int32_t first, std::vector<uint32_t>* values);

  // target.addID(id) for each row that matches, in ID order.
  [[nodiscard]] XpResult Find(const Search& search, const fsk::Value& target);
  // The IDs of the rows that match, ascending.
  [[nodiscard]] XpResult FindIDs(const Search& search, std::vector<int64_t>* ids);

  // Fills 32-bit slot id of the memory at destination with field (or its
  // transform) of each row; slot 0 is left alone. slots is the number of
  // slots at destination, which must cover every row.
  [[nodiscard]] XpResult CopySortingArray(const Search& search, void* destination, int64_t slots);

 private:
  bool ValidField(int32_t field) const { return field >= 0 && field < kFieldCount; }

  FskMachine* the_;
  XdbBlockFile file_;
};
