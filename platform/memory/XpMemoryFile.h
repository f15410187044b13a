#pragma once

#include <cstdint>

#include "platform/fs/XpAbstractFile.h"
#include "platform/memory/XpFileTime.h"

// A file held in a growable heap buffer, so that code written against the
// file interface can work on memory.
//
// The buffer is either owned by the file (allocated with malloc, freed by
// the file) or borrowed from the caller. A borrowed buffer is read and
// written in place as long as the data fits it; data that outgrows it is
// copied into a new buffer that the file owns, and the caller's buffer is
// never reallocated or freed by the file.
//
// A short read is not an error here: Read returns kXpOk with the bytes that
// were left, and kXpErrEndOfFile only at or past the end.
class XpMemoryFile : public XpAbstractFile, public XpFileTime {
 public:
  // Growth steps of the buffer.
  static constexpr uint64_t kGrowthBlock = 65536;

  XpMemoryFile();
  // As Attach.
  XpMemoryFile(void* buffer, uint64_t size, bool takeOwnership);
  explicit XpMemoryFile(XpByteOrder byteOrder);
  XpMemoryFile(void* buffer, uint64_t size, XpByteOrder byteOrder, bool takeOwnership);
  // Frees an owned buffer.
  ~XpMemoryFile() override;

  // "Memory File(...)" with the buffer's address.
  XpString GetName() const override;
  int64_t GetSize() override;
  [[nodiscard]] XpResult GetTimes(XpDateTime* created, XpDateTime* modified,
                                  XpDateTime* accessed) const override;
  bool IsReadOnly() const override { return false; }
  bool IsHidden() const override { return false; }

  // Stores the mode; the write bit empties the file.
  [[nodiscard]] XpResult Open(XpOpenMode mode) override;
  [[nodiscard]] XpResult Close() override;
  [[nodiscard]] XpResult Read(void* buffer, uint64_t count, uint64_t* done) override;
  // Writes at the position, growing the buffer; a gap left by a position
  // past the end is zero-filled. kXpErrBadArgument when position + count
  // passes the largest file position, kXpErrDiskFull when memory runs out.
  [[nodiscard]] XpResult Write(const void* buffer, uint64_t count, uint64_t* done) override;
  [[nodiscard]] XpResult Flush() override { return kXpOk; }
  // kXpErrBadArgument for a target before the start, one past the largest
  // position, or an unknown origin; the position is then unchanged.
  [[nodiscard]] XpResult Seek(int64_t offset, int32_t origin) override;
  int64_t Tell() override { return position_; }
  // Without a buffer only 0 is accepted (kXpErrWrongState otherwise). New
  // bytes are zero; a position past length becomes length.
  // kXpErrOutOfMemory when the buffer cannot be resized.
  [[nodiscard]] XpResult SetLength(uint64_t length) override;

  void* GetBuffer() const { return buffer_; }
  // GetSize for holders of a const file.
  uint64_t GetDataSize() const { return size_; }
  // Uses buffer (size bytes) from now on, at position 0; an owned buffer
  // held so far is freed. With takeOwnership the buffer must come from
  // malloc, and the file frees it. A null buffer leaves the file empty.
  virtual void Attach(void* buffer, uint64_t size, bool takeOwnership);
  // Empties the file. Returns a borrowed buffer to the caller; an owned one
  // is freed and the result is null.
  virtual void* Detach();
  // Forgets the buffer without freeing it and empties the file.
  virtual void Reset();
  // The capacity allocated for size bytes: the next whole 64 KiB block
  // above size, so that 65536 gives 131072.
  virtual uint64_t GetCapacityFor(uint64_t size) const;

  // For tests: whether the file owns its buffer.
  bool OwnsBufferForTest() const { return ownership_ == Ownership::kOwned; }

 private:
  enum class Ownership { kNone, kOwned, kBorrowed };

  // Makes room for at least needed bytes, keeping the bytes held. False when
  // memory ran out; nothing changes then.
  bool Reserve(uint64_t needed);
  void FreeOwnedBuffer();

  uint8_t* buffer_ = nullptr;
  uint64_t size_ = 0;
  uint64_t capacity_ = 0;
  int64_t position_ = 0;
  Ownership ownership_ = Ownership::kNone;
};
