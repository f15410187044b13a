#pragma once

#include <cstdint>

#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Access of a mapping and of its views.
inline constexpr uint32_t kXpMapAccessRead = 0;
inline constexpr uint32_t kXpMapAccessReadWrite = 1;
// Views only: the pages cannot be touched at all.
inline constexpr uint32_t kXpMapAccessNone = 2;

// Sharing of a mapping.
inline constexpr uint32_t kXpMapShareShared = 0;
// Writes stay private to the process and never reach the file.
inline constexpr uint32_t kXpMapShareCopyOnWrite = 1;
// Asks that nobody else opens the file. Linux cannot enforce this: it is
// mapped shared, and other processes can still open and change the file.
inline constexpr uint32_t kXpMapShareExclusive = 2;

// A file on disk mapped into memory, with any number of views that can be
// moved over it. The object is a handle: copies share one state, and the
// file stays open until the last handle and the last view bound to it are
// gone (or Close is called).
//
// Size 0 maps the whole file and then holds the file's size. A read-write
// mapping (access 1, not copy-on-write) larger than the file grows the file
// to that size first; any other mapping larger than the file is refused with
// kXpErrInvalidFile, and so is an empty file mapped with size 0. Views never
// reach past the end of the file.
class XpMemoryMappedFile {
 public:
  // Views start at a multiple of this.
  static constexpr int64_t kAllocationGranularity = 65536;

  struct FileImpl;
  struct ViewImpl;

  // A window onto a mapped file. Copies share one mapping, which is undone
  // when the last copy goes.
  class View {
   public:
    // Length 0 reaches to the end of the file. The base hint is a plain
    // address hint, rounded down to the allocation granularity. Access as the
    // kXpMapAccess constants; copyOnWrite keeps writes private.
    explicit View(int64_t offset = 0, uint32_t length = 0, void* baseHint = nullptr,
                  uint32_t access = kXpMapAccessRead, bool copyOnWrite = false);

    // Binds the view to file and maps it, opening the file when needed.
    // kXpErrWrongState when the file has no state. An offset at or past the
    // end of the file maps nothing: the result is kXpOk and GetData() null.
    [[nodiscard]] XpResult Map(const XpMemoryMappedFile& file);

    // The byte at the offset; null when nothing is mapped. Bytes from here
    // to GetViewEnd() are mapped.
    uint8_t* GetData() const;
    int64_t GetOffset() const;
    uint32_t GetLength() const;
    uint8_t* GetViewBase() const;
    uint8_t* GetViewEnd() const;
    // Size of the bound mapping; 0 when unbound.
    int64_t GetFileSize() const;

    // Each kXpErrWrongState when nothing is mapped.
    // Writes the data range back to the file and waits for it.
    [[nodiscard]] XpResult Flush();
    // Keeps the data range in memory; a refusal (limits, rights) is its
    // result code.
    [[nodiscard]] XpResult Lock();
    [[nodiscard]] XpResult Unlock();
    // Changes the protection of the data range. Copy-on-write is only
    // possible on a view that was mapped copy-on-write
    // (kXpErrNotSupportedByOs otherwise).
    [[nodiscard]] XpResult SetAccess(uint32_t access, bool copyOnWrite);
    // Move the data range; the mapping is kept when the new range lies inside
    // it, else made anew.
    [[nodiscard]] XpResult SetOffset(int64_t offset);
    [[nodiscard]] XpResult Move(int64_t delta);
    [[nodiscard]] XpResult SetLength(uint32_t length);

   private:
    XpSharedPtr<ViewImpl> impl_;
  };

  // No state.
  XpMemoryMappedFile();
  // State with these parameters, not yet open. Access and shareMode as the
  // kXpMapAccess and kXpMapShare constants; randomAccess chooses the
  // random-access read-ahead hint, else the sequential one.
  explicit XpMemoryMappedFile(const XpString& path, int64_t size = 0,
                              uint32_t access = kXpMapAccessRead,
                              uint32_t shareMode = kXpMapShareShared, bool writeThrough = false,
                              bool randomAccess = false);

  // Replaces the state by a new one (kXpErrOutOfMemory when none can be
  // made; there is no state then).
  [[nodiscard]] XpResult Assign(const XpString& path, int64_t size = 0, uint32_t access = kXpMapAccessRead,
                                uint32_t shareMode = kXpMapShareShared, bool writeThrough = false,
                                bool randomAccess = false);
  // Assign, then open.
  [[nodiscard]] XpResult Open(const XpString& path, int64_t size = 0, uint32_t access = kXpMapAccessRead,
                              uint32_t shareMode = kXpMapShareShared, bool writeThrough = false,
                              bool randomAccess = false);
  // Opens the current state again; kXpErrWrongState without state.
  [[nodiscard]] XpResult Reopen();
  // Closes the file; views already mapped stay usable. kXpErrWrongState
  // without state.
  [[nodiscard]] XpResult Close();

  // Empty without state.
  XpString GetPath() const;
  // -1 without state.
  int64_t GetSize() const;
  bool IsOpen() const;

 private:
  XpSharedPtr<FileImpl> impl_;
};
