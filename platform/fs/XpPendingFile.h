#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

class XpSysCalls;

// A new file that is written under a temporary name beside its final path
// and published onto that path by one rename, so that the final name only
// ever names a whole file: a writer killed at any moment leaves the old file
// (or none) there. A pending file that is not published is removed when the
// object goes.
//
// The temporary name is "." + the final name + ".kavotmp-" + six random
// letters and digits, made with O_EXCL (a final name too long for that is
// shortened). The writer holds a flock on it while it is open. Making one
// first clears the folder of temporaries of exactly that pattern that
// nobody holds and whose status has not changed for a minute; no other file
// is ever touched. A caller may name the temporary itself (Options).
//
// Example: replace a settings file so that a crash leaves the old one or
// the new one, never a part.
//
//   XpPendingFile pending;
//   XpResult result = pending.Create(u"/home/me/.config/kavo/settings.xml");
//   if (XpSucceeded(result)) result = pending.Write(text);
//   if (XpSucceeded(result)) result = pending.Sync();
//   if (XpSucceeded(result)) result = pending.Publish(true);
//   if (XpSucceeded(result)) result = pending.SyncFolder();
//   return result;  // on failure the pending file is removed when it goes
//
// For bytes already in memory, XpReplaceFileAtomically(path, bytes, 0644)
// does the same in one call.
class XpPendingFile {
 public:
  struct Options {
    // Permission bits of the new file, through the umask as open(2) applies
    // them, unless exactMode.
    mode_t mode = 0666;
    bool exactMode = false;
    // The caller keeps every other writer of this final path out by a lock
    // of its own, so a temporary of this final path that nobody holds is a
    // dead writer's, whatever its age.
    bool soleWriter = false;
    // A leaf (UTF-8) beside the final path to write under instead of a
    // random name, for a caller whose recovery looks for that name. The
    // folder is then not cleared, and a taken name is kXpErrAlreadyExists
    // unless reuseTempName.
    std::string tempName;
    // A regular file left at tempName is emptied and written anew; a link,
    // a folder or any other entry there is refused.
    bool reuseTempName = false;
  };

  // A temporary name has this many characters after kTempMarker.
  static constexpr size_t kRandomLength = 6;
  static constexpr const char* kTempMarker = ".kavotmp-";
  // Temporaries whose status has not changed for this long are stale.
  static constexpr int kStaleSeconds = 60;

  XpPendingFile() = default;
  ~XpPendingFile();
  XpPendingFile(const XpPendingFile&) = delete;
  XpPendingFile& operator=(const XpPendingFile&) = delete;

  // Creates the temporary file for finalPath, open for writing.
  [[nodiscard]] XpResult Create(const XpString& finalPath, const Options& options);
  [[nodiscard]] XpResult Create(const XpString& finalPath) { return Create(finalPath, Options()); }

  // The temporary file is open for writing.
  bool IsOpen() const { return fd_ >= 0; }
  // The descriptor of the temporary file; -1 when there is none.
  int Fd() const { return fd_; }
  // The path given to Create.
  const XpString& FinalPath() const { return finalPath_; }
  // The temporary file's path, UTF-8.
  const XpStringA& TempPath() const { return tempPath_; }

  // Appends count bytes (XpWriteAll).
  [[nodiscard]] XpResult Write(const void* bytes, size_t count);
  [[nodiscard]] XpResult Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
  // Flushes the file's data and metadata to the medium.
  [[nodiscard]] XpResult Sync();

  // Closes the temporary file (a failed close fails the publish) and renames
  // it onto path, which must be in the same folder as the final path (the
  // final path itself, or another name the caller picked). Without replace
  // an existing entry at path is never replaced: kXpErrAlreadyExists, and
  // the pending file stays, closed, for another try. On success the file
  // belongs to path.
  [[nodiscard]] XpResult PublishAs(const XpString& path, bool replace);
  [[nodiscard]] XpResult Publish(bool replace) { return PublishAs(finalPath_, replace); }
  // Flushes the folder so that a published rename lasts across a crash.
  [[nodiscard]] XpResult SyncFolder();

  // Closes and removes the temporary file; nothing when there is none.
  void Discard();

  // Whether name (a leaf) has the pattern of a temporary name.
  static bool IsTempName(std::string_view name);
  // Removes the stale temporaries of folder (UTF-8) as Create does, now. A
  // folder is otherwise cleared at most once a minute per process; this
  // call always looks.
  static void RemoveStaleTemporaries(const std::string& folder);
  // Removes every temporary of folder that no living writer holds, whatever
  // its age: for a writer that knows it is the folder's only one.
  static void RemoveUnheldTemporaries(const std::string& folder);

 private:
  void CloseFile();
  // Takes fd as the open temporary at path.
  [[nodiscard]] XpResult Adopt(int fd, const XpString& finalPath, const std::string& folder,
                               const std::string& path, const Options& options);

  // Writes of at least this many bytes start their writeback at once.
  static constexpr size_t kWritebackBytes = size_t{1} << 16;

  int fd_ = -1;
  // Bytes appended through Write since Create.
  uint64_t appended_ = 0;
  XpString finalPath_;
  XpStringA folder_;
  XpStringA tempPath_;
};

// Replaces the file at path by bytes through a pending file: written,
// flushed, renamed over the old file, and the folder flushed. A new file
// gets mode through the umask; a file that replaces another takes the
// other's permission bits.
[[nodiscard]] XpResult XpReplaceFileAtomically(const XpString& path, std::string_view bytes,
                                               mode_t mode);
// The same with the pending file's options (options.mode is a new file's
// mode; an existing file's permission bits are kept all the same).
[[nodiscard]] XpResult XpReplaceFileAtomically(const XpString& path, std::string_view bytes,
                                               const XpPendingFile::Options& options);
