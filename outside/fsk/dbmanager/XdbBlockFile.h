#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbHostCall.h"
#include "platform/result/XpResult.h"

// A block file of the album database, kept through CatalogGrammarExt's
// block natives over an atom file of CatalogGrammar: this class plays the
// script's blockTableFile of one kind (databaseID, data, an index...) and
// its cache.
//
// The file begins with the kind's header (64, 96 or 128 bytes), read and
// written through a cache line at offset 0. Blocks of the kind's blockSize
// follow from the header's offset, held in cache lines of blocksPerPage
// blocks. Blocks are only appended; freeBlock and dirty stay 0. Every
// operation has written the lines it changed when it returns.
//
// Results: kXpErrNotOpen with no file open, kXpErrAlreadyOpen for a create
// or open on an open file, kXpErrBadArgument for a block or span outside
// the file, kXpErrInvalidFile for a header that does not fit the kind,
// failures of the system as their errno's result; errors that the natives
// raise with a code of CatalogGrammarExt as XdbBlockFile::ResultOfCode.
class XdbBlockFile {
 public:
  // A block handed to work: the script object (pointer, length, index,
  // change()) and its number.
  using BlockWork = XdbCallable<void(const fsk::Value& block, int64_t number)>;
  // A page handed to work: a block-like object over the page's blocks
  // (pointer, length), the number of its first block and how many blocks
  // of the file it holds.
  using PageWork = XdbCallable<void(const fsk::Value& page, int64_t firstBlock, int64_t blocks)>;

  // The byte and bit range operations of a block.
  enum class Range { kCopy, kCopyBits, kAnd, kAndBits, kOr, kOrBits };

  // kind is the path of the kind's script object ("CatalogGrammarExt.data");
  // type the four-character type word of its files. The machine must have
  // both grammars loaded and outlive this object.
  XdbBlockFile(FskMachine* the, std::string kind, int32_t type);
  // Closes the file (writing what is dirty).
  ~XdbBlockFile();
  XdbBlockFile(const XdbBlockFile&) = delete;
  XdbBlockFile& operator=(const XdbBlockFile&) = delete;

  // A new file at path (emptied when there is one) holding the header alone.
  [[nodiscard]] XpResult Create(const std::string& path);
  [[nodiscard]] XpResult Open(const std::string& path);
  [[nodiscard]] XpResult Close();
  bool IsOpen() const { return open_; }

  int64_t BlockSize() const { return blockSize_; }
  int64_t BlocksPerPage() const { return blocksPerPage_; }
  int64_t BlockCount() const { return blockCount_; }

  // Adds count blocks of zeros at the end.
  [[nodiscard]] XpResult Append(int64_t count);
  // Runs work on block number.
  [[nodiscard]] XpResult WithBlock(int64_t number, BlockWork work);
  // Runs work on the bytes of block number (blockSize of them), which it
  // may change: the block is written, not its whole page.
  using BytesWork = XdbCallable<void(uint8_t* bytes)>;
  [[nodiscard]] XpResult ChangeBlockBytes(int64_t number, BytesWork work);
  // Runs work on each page that holds blocks, in order.
  [[nodiscard]] XpResult ForEachPage(PageWork work);
  // The range operation from block source at sourceOffset to block
  // destination at destinationOffset over count bytes (or bits for the bit
  // operations); both spans must lie inside their blocks.
  [[nodiscard]] XpResult CombineRange(Range range, int64_t source, int64_t sourceOffset, int64_t destination,
                                      int64_t destinationOffset, int64_t count);
  // Writes the header after work has changed properties of Object().
  [[nodiscard]] XpResult UpdateHeader(XdbCallable<void()> work);

  // The script object of the file: the kind's header properties.
  const fsk::Value& Object() const { return object_; }
  FskMachine* Machine() const { return the_; }

  // The result of a CatalogGrammarExt error code: ILLEGAL_DB is a damaged
  // file, ID_LIMIT no more room.
  [[nodiscard]] static XpResult ResultOfCode(int64_t code);

  // Runs work in a host bracket, turns what it throws into a result, and
  // writes the dirty lines. Work may throw Failure.
  struct Failure {
    XpResult result;
  };
  [[nodiscard]] XpResult Run(XdbCallable<void()> work);

 private:
  struct Line {
    fsk::Value object;
    std::shared_ptr<bool> dirty;
    // Where the line ends in the file.
    int64_t end = 0;
  };

  [[noreturn]] static void Fail(XpResult result);
  void RequireOpen() const;
  void MakeObjects();
  Line NewLine(int64_t offset, int64_t length);
  Line& PageLine(int64_t page);
  fsk::Value BlockObject(int64_t number);
  void CallLine(const Line& line, const char* method);
  void ReadHeader();
  void WriteHeader();
  void WriteDirtyLines();
  void ReleaseFile();
  int64_t PageOffset(int64_t page) const { return headerSize_ + page * blocksPerPage_ * blockSize_; }
  int64_t PageBytes() const { return blocksPerPage_ * blockSize_; }

  FskMachine* the_;
  std::string kind_;
  int32_t type_;
  fsk::Value object_;
  fsk::Value file_;
  fsk::Value linePrototype_;
  std::unique_ptr<Line> header_;
  std::map<int64_t, Line> pages_;
  // The script objects of blocks handed out, by number; each lives as long
  // as its page's line.
  std::map<int64_t, fsk::Value> blocks_;
  int64_t headerSize_ = 0;
  int64_t blockSize_ = 0;
  int64_t blocksPerPage_ = 0;
  int64_t blockCount_ = 0;
  int64_t fileSize_ = 0;
  bool open_ = false;
};
