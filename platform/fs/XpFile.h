#pragma once

#include <cstdint>
#include <optional>

#include "platform/fs/XpAbstractFile.h"

// A file on a mounted file system, opened close-on-exec. Paths must be
// absolute: a relative path is refused with kXpErrPathNotFound and nothing
// is created.
//
// Modes: read and write opens or creates; read alone opens an existing
// file; write alone creates a missing file and empties an existing one.
// Linux has no sharing modes: other processes can read the file while it is
// open, and nothing keeps them from writing it either.
//
// Example: write a file, then read it back.
//
//   XpFile file;
//   XpResult result = file.OpenPath(u"/tmp/notes.txt", kXpOpenWrite);
//   if (XpFailed(result)) return result;
//   uint64_t done = 0;
//   result = file.Write("hello", 5, &done);
//   if (XpSucceeded(result)) result = file.Sync();
//   const XpResult closed = file.Close();
//   if (XpFailed(result)) return result;
//   if (XpFailed(closed)) return closed;
//
//   char bytes[5];
//   result = file.OpenPath(u"/tmp/notes.txt", kXpOpenRead);
//   if (XpSucceeded(result)) result = file.Read(bytes, sizeof bytes, &done);
//   // A missing file: kXpErrFileNotFound from OpenPath.
class XpFile : public XpAbstractFile {
 public:
  XpFile();
  explicit XpFile(const XpString& path);
  explicit XpFile(XpByteOrder byteOrder);
  XpFile(const XpString& path, XpByteOrder byteOrder);
  // Closes the file, applying pending times.
  ~XpFile() override;

  XpString GetName() const override;
  // Bytes of a regular file; -1 for anything else or on failure.
  int64_t GetSize() override;
  // kXpErrFileNotFound when the path cannot be read.
  [[nodiscard]] XpResult GetTimes(XpDateTime* created, XpDateTime* modified,
                                  XpDateTime* accessed) const override;
  // Applied at once on a closed file; on an open one kept until Close.
  // Linux cannot set a creation time: it is ignored.
  [[nodiscard]] XpResult SetTimes(const XpDateTime* created, const XpDateTime* modified,
                                  const XpDateTime* accessed) override;
  bool IsReadOnly() const override;
  bool IsHidden() const override;

  [[nodiscard]] XpResult Open(XpOpenMode mode) override;
  [[nodiscard]] XpResult Close() override;
  [[nodiscard]] XpResult Read(void* buffer, uint64_t count, uint64_t* done) override;
  // A write that stops short is a failure; done counts what was written.
  [[nodiscard]] XpResult Write(const void* buffer, uint64_t count, uint64_t* done) override;
  // Writes go straight to the system; nothing to flush.
  [[nodiscard]] XpResult Flush() override;
  // Flushes the file's data and metadata to the medium (fsync).
  [[nodiscard]] XpResult Sync();
  [[nodiscard]] XpResult Seek(int64_t offset, int32_t origin) override;
  int64_t Tell() override;
  // The position stays where it was when that is below length, else it is
  // length.
  [[nodiscard]] XpResult SetLength(uint64_t length) override;

  // SetFile, then Open.
  [[nodiscard]] virtual XpResult OpenPath(const XpString& path, XpOpenMode mode);
  // Closes the file, then takes the new path. A failed close is the result
  // (the new path is taken all the same).
  [[nodiscard]] virtual XpResult SetFile(const XpString& path);
  virtual XpString GetFilePath() const;
  // Sets the modification and access times given (null ones stay); the
  // creation time is ignored.
  [[nodiscard]] virtual XpResult ApplyTimes(const XpDateTime* created, const XpDateTime* modified,
                                            const XpDateTime* accessed);

  bool IsOpen() const { return fd_ >= 0; }

 private:
  [[nodiscard]] XpResult OpenDescriptor(XpOpenMode mode);

  int fd_ = -1;
  std::optional<XpDateTime> pendingCreated_;
  std::optional<XpDateTime> pendingModified_;
  std::optional<XpDateTime> pendingAccessed_;
};

// The size of the file at path; -1 for a null path or when it is unknown.
int64_t XpGetFileSize(const char16_t* path);
