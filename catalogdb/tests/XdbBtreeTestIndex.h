#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fsk/FskScript.h"

namespace xdbtest {

enum class KeyType { kInteger, kNumber, kString };

// What an index of a test is made of.
struct IndexShape {
  KeyType keys = KeyType::kInteger;
  bool unique = true;
  // The key size of text keys.
  int32_t keyLength = 4;
  int32_t pageEntries = 20;
  int32_t overflowEntries = 60;
  int32_t defaultSize = 1024;
  // The byte-order bits of the index's flags: 8, 12, or 12 | 0x100.
  int32_t order = 12;
};

// A key of a test: number for integer and number keys, text for text keys.
struct TestKey {
  double number = 0;
  std::string text;

  static TestKey Of(double number) { return TestKey{number, {}}; }
  static TestKey Of(std::string text) { return TestKey{0, std::move(text)}; }
  auto operator<=>(const TestKey& other) const = default;
};

std::string Describe(const TestKey& key);

// An index object over a file in memory, with the node cache the natives
// call back into: one page object per offset, pages written at once, pages
// taken from the free chain before the file grows. Every operation goes
// through the natives of the grammar.
class TestIndex {
 public:
  // A new index with an empty root leaf. The page size is calculatePageSize's.
  TestIndex(FskMachine* the, const IndexShape& shape);
  TestIndex(const TestIndex&) = delete;
  TestIndex& operator=(const TestIndex&) = delete;

  FskMachine* Machine() const { return the_; }
  const fsk::Value& Object() const { return index_; }
  const IndexShape& Shape() const { return shape_; }
  int32_t PageSize() const { return pageSize_; }
  std::vector<unsigned char>& File() { return file_; }

  fsk::Value KeyValue(const TestKey& key) const;
  TestKey KeyOf(const fsk::Value& value) const;

  void Insert(const TestKey& key, int32_t id);
  bool RemoveKey(const TestKey& key);
  bool RemoveKeyId(const TestKey& key, int32_t id);
  std::vector<int32_t> Search(const TestKey& key);
  // eachUpNode from the root: each key with its IDs.
  std::vector<std::pair<TestKey, std::vector<int32_t>>> Walk();
  int64_t Count(bool onlyKeys);

  // Writes the header atom, forgets every page and property, and reads
  // them back from the file.
  void Reopen();

  fsk::Value Root() const;
  fsk::Value Node(int32_t offset);
  fsk::Value OverflowNode(int32_t offset);
  int32_t FreeHead() const;

  // An empty result object whose addID appends to ids.
  fsk::Value NewResult(std::vector<int32_t>* ids);

  // The consistency of the tree and the file: empty when sound, else what
  // is wrong. Pages reached once, counts between d - 1 and 2d - 1 below the
  // root, keys ascending, leaves at one depth, every page in memory equal
  // to its bytes in the file, the free chain apart from the tree and from
  // the overflow pages in use.
  std::string Check();

  // What the callbacks saw.
  int changingCalls = 0;
  int locks = 0;
  int unlocks = 0;
  std::vector<int32_t> freed;
  // When set, writeDataAt raises EIO.
  bool failWrites = false;
  // When not negative, the pages makeNode may still make; past them it
  // raises EFBIG, as a file at its largest size does.
  int makeNodeBudget = -1;

 private:
  fsk::Value NewIndexPage(int32_t offset);
  fsk::Value NewOverflowPage(int32_t offset);
  fsk::Value Cached(int32_t offset, bool overflow);
  int32_t Allocate();
  void SetFunction(const char* name, int32_t length, fsk::Closure closure);
  void InstallCallbacks();
  fsk::Value Constructor(const char* name) const;

  struct Walker;
  std::string CheckPageBytes(const fsk::Value& page, bool overflow);

  FskMachine* the_;
  IndexShape shape_;
  fsk::Value index_;
  fsk::Value write_;
  int32_t pageSize_ = 0;
  int64_t position_ = 0;
  int32_t end_ = 0;
  std::vector<unsigned char> file_;
  std::map<int32_t, fsk::Value> cache_;
  std::vector<std::pair<fsk::Value, fsk::Value>> leaves_;
};

}  // namespace xdbtest
