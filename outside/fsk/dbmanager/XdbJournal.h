#pragma once

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

  // Called with "applied-one" after each change is applied.
  using StageHook = std::function<void(const char* stage)>;

  static std::vector<uint8_t> Encode(const std::vector<Change>& changes);
  // False unless bytes are a complete journal of plain file names and
  // ranges that lie inside their sizes.
  [[nodiscard]] static bool Decode(const std::vector<uint8_t>& bytes, std::vector<Change>* changes);
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
  // Applies a complete journal of folder (then syncs its files) or drops an
  // incomplete one; *replayed tells which. A partly written journal is
  // dropped. No journal: nothing is written.
  [[nodiscard]] static XpResult Recover(const std::string& folder, bool* replayed);
};

// The system-call helpers the journal and the journaled folder share.
namespace xdbfiles {

// Reads the whole regular file at path: 0 or an errno value (ENOENT when
// missing, EISDIR for a folder).
[[nodiscard]] int ReadWhole(const std::string& path, std::vector<uint8_t>* bytes);
// fsync of the file or folder at path.
[[nodiscard]] XpResult SyncPath(const std::string& path, bool folder);
// True when path names an existing entry; errors other than ENOENT count
// as existing.
bool Exists(const std::string& path);

}  // namespace xdbfiles
