#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/result/XpResult.h"

// The album database's journal: the changes of one flush, written to
// "XDB.JNL" in the database's folder before any file of the folder changes.
//
// Layout, little-endian: a header {magic "XJNL", version, body length}, the
// body, then a CRC-32 of the body and a commit record {magic "XCMT", body
// length}. The body lists the changes in order; each names a plain file of
// the folder and either removes it or gives its new size and the byte
// ranges that changed. A journal is complete only when every part is there
// and agrees; anything else is dropped at recovery, never applied.
//
// Every system call goes through XpSysCalls. Folder paths end with '/'.
class XdbJournal {
 public:
  static constexpr const char* kFileName = "XDB.JNL";
  // Where a journal is written before it is renamed into place, so that a
  // complete journal is never replaced by a partial one.
  static constexpr const char* kPartName = "XDB.JNT";
  static constexpr uint32_t kMagic = 0x4C4E4A58;        // "XJNL"
  static constexpr uint32_t kCommitMagic = 0x544D4358;  // "XCMT"
  static constexpr uint32_t kVersion = 1;
  static constexpr size_t kHeaderSize = 16;
  static constexpr size_t kTrailerSize = 16;
  // No file of a folder grows past this size (the largest record file or
  // index).
  static constexpr int64_t kLargestFile = INT32_MAX;

  struct Range {
    int64_t offset = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const Range& other) const = default;
  };

  struct Change {
    std::string name;
    bool remove = false;
    int64_t size = 0;
    std::vector<Range> ranges;
    bool operator==(const Change& other) const = default;
  };

  // What a journal may change: the files named (any plain name when
  // empty) and sizes up to largestSize.
  struct Bounds {
    std::vector<std::string> names;
    int64_t largestSize = kLargestFile;
  };

  // What a folder holds of a journal, as Inspect found it.
  struct Found {
    // A partial journal (kPartName) is there.
    bool part = false;
    // A journal (kFileName) is there; complete when its changes decode.
    bool journal = false;
    bool complete = false;
    std::vector<Change> changes;
  };

  // Called with "applied-one" after each change is applied.
  using StageHook = std::function<void(const char* stage)>;

  static std::vector<uint8_t> Encode(const std::vector<Change>& changes);
  // False unless bytes are a complete journal of plain file names within
  // bounds and ranges that lie inside their sizes.
  [[nodiscard]] static bool Decode(const std::vector<uint8_t>& bytes, std::vector<Change>* changes,
                                   const Bounds& bounds);
  // Decode within the default bounds.
  [[nodiscard]] static bool Decode(const std::vector<uint8_t>& bytes, std::vector<Change>* changes);
  // True when the header, the checksum and the commit record of bytes
  // agree: the journal was written whole, whatever its changes say.
  static bool IsSealed(const std::vector<uint8_t>& bytes);
  // A name the journal may touch: not empty, no '/', not "." or "..".
  static bool IsPlainName(const std::string& name);

  // Writes the journal into folder under kPartName, syncs it, renames it to
  // kFileName and syncs the folder: kXpOk once the journal is durable. A
  // failure leaves no journal that a mount would replay: before the rename
  // the partial one is removed, after it (the folder's sync failed) the
  // renamed one. When that last removal fails too, the journal stays and
  // the answer is kXpOk, as the next mount replays it.
  [[nodiscard]] static XpResult Write(const std::string& folder, const std::vector<Change>& changes);
  // Applies the changes to the files of folder, without syncing.
  [[nodiscard]] static XpResult Apply(const std::string& folder, const std::vector<Change>& changes,
                                      const StageHook& hook);
  // Syncs each named file of folder that exists, then the folder.
  [[nodiscard]] static XpResult SyncFiles(const std::string& folder, const std::vector<std::string>& names);
  // Removes the journal of folder and syncs the folder.
  [[nodiscard]] static XpResult Remove(const std::string& folder);
  // Reads what folder holds of a journal into *found, writing nothing. A
  // journal written whole whose changes break bounds (or are not plain
  // names and ranges) is damaged: kXpErrInvalidFile, recorded as a
  // "replay" failure of the journal.
  [[nodiscard]] static XpResult Inspect(const std::string& folder, const Bounds& bounds, Found* found);
  // Recovers what Inspect found: removes a partial journal, applies a
  // complete journal (then syncs its files) and removes it, or removes an
  // incomplete one; *replayed tells whether changes were applied.
  [[nodiscard]] static XpResult Settle(const std::string& folder, const Found& found, bool* replayed);
  // Inspect, then Settle: nothing is written when the folder holds neither
  // journal, or its journal is damaged.
  [[nodiscard]] static XpResult Recover(const std::string& folder, bool* replayed, const Bounds& bounds);
  // Recover within the default bounds.
  [[nodiscard]] static XpResult Recover(const std::string& folder, bool* replayed);
};

// The system-call helpers the journal and the journaled folder share. A
// file of a folder is opened relative to the folder's descriptor (the
// folder itself not a link), never through a link, and only when it is a
// regular file.
namespace xdbfiles {

// The folder at path (with or without the closing '/') opened for reading
// and syncing; -1 with errno set when it cannot be, or is a link.
int OpenFolder(const std::string& folder);
// name inside the folder open on folderFd, opened with flags: -1 with
// errno set, ELOOP for a link, EISDIR for a folder, EINVAL for anything
// else that is not a regular file.
int OpenIn(int folderFd, const std::string& name, int flags, mode_t mode);
// Reads the whole regular file name of folder: 0 or an errno value
// (ENOENT when missing, EISDIR for a folder, ELOOP for a link).
[[nodiscard]] int ReadWhole(const std::string& folder, const std::string& name, std::vector<uint8_t>* bytes);
// fsync of the regular file name of folder.
[[nodiscard]] XpResult SyncFile(const std::string& folder, const std::string& name);
// fsync of folder.
[[nodiscard]] XpResult SyncFolder(const std::string& folder);
// True when folder holds an entry called name (a link counts, as itself);
// errors other than ENOENT count as existing.
bool Exists(const std::string& folder, const std::string& name);

}  // namespace xdbfiles
