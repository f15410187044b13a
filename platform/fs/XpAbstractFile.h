#pragma once

#include <cstdint>

#include "platform/fs/XpAbstractFSObj.h"

// Open mode bits.
using XpOpenMode = uint32_t;
inline constexpr XpOpenMode kXpOpenRead = 0x1;
inline constexpr XpOpenMode kXpOpenWrite = 0x2;
inline constexpr XpOpenMode kXpOpenReadWrite = kXpOpenRead | kXpOpenWrite;
// Line ends are translated by the character operations.
inline constexpr XpOpenMode kXpOpenText = 0x10;
inline constexpr XpOpenMode kXpOpenSequential = 0x10000;
// Ignored together with kXpOpenSequential.
inline constexpr XpOpenMode kXpOpenRandom = 0x20000;

// Byte order of the data in a file.
using XpByteOrder = uint32_t;
inline constexpr XpByteOrder kXpByteOrderNotSet = 0;
inline constexpr XpByteOrder kXpByteOrderBigEndian = 1;
inline constexpr XpByteOrder kXpByteOrderLittleEndian = 2;
// Passed to an operation: keep the file's current order.
inline constexpr XpByteOrder kXpByteOrderKeep = 3;

// Seek origins.
inline constexpr int32_t kXpSeekBegin = 0;
inline constexpr int32_t kXpSeekCurrent = 1;
inline constexpr int32_t kXpSeekEnd = 2;

// A byte stream: open, close, read, write, seek, plus typed values in a
// chosen byte order and characters and lines in UTF-8.
class XpAbstractFile : public XpAbstractFSObj {
 public:
  XpAbstractFile();
  explicit XpAbstractFile(XpByteOrder fileByteOrder);

  bool IsFile() const override { return true; }
  bool IsDirectory() const override { return false; }

  // Stores the mode; subclasses open, then call it.
  [[nodiscard]] virtual XpResult Open(XpOpenMode mode);
  [[nodiscard]] virtual XpResult Close() = 0;
  // kXpErrEndOfFile when fewer than count bytes were left; done (may be
  // null) is always the number of bytes moved.
  [[nodiscard]] virtual XpResult Read(void* buffer, uint64_t count, uint64_t* done) = 0;
  [[nodiscard]] virtual XpResult Write(const void* buffer, uint64_t count, uint64_t* done) = 0;
  // Write, then Flush when the write succeeded.
  [[nodiscard]] virtual XpResult WriteAndFlush(const void* buffer, uint64_t count, uint64_t* done);
  [[nodiscard]] virtual XpResult Flush() = 0;
  // origin is kXpSeekBegin, kXpSeekCurrent or kXpSeekEnd.
  [[nodiscard]] virtual XpResult Seek(int64_t offset, int32_t origin) = 0;
  // -1 when unknown.
  virtual int64_t Tell() = 0;
  [[nodiscard]] virtual XpResult SetLength(uint64_t length) = 0;

  // Typed values. Multi-byte ones first set the byte order (order 3 keeps
  // the file's; an order never set reverses like big-endian), and are
  // reversed when the file's order differs from the machine's, even after a
  // short read. 8-bit ones never look at the order.
  [[nodiscard]] virtual XpResult ReadUInt64(uint64_t& value, XpByteOrder order);
  [[nodiscard]] virtual XpResult ReadInt64(int64_t& value, XpByteOrder order);
  [[nodiscard]] virtual XpResult ReadUInt32(uint32_t& value, XpByteOrder order);
  [[nodiscard]] virtual XpResult ReadInt32(int32_t& value, XpByteOrder order);
  [[nodiscard]] virtual XpResult ReadUInt16(uint16_t& value, XpByteOrder order);
  [[nodiscard]] virtual XpResult ReadInt16(int16_t& value, XpByteOrder order);
  [[nodiscard]] virtual XpResult ReadUInt8(uint8_t& value, XpByteOrder order);
  [[nodiscard]] virtual XpResult ReadInt8(int8_t& value, XpByteOrder order);
  [[nodiscard]] virtual XpResult WriteUInt64(uint64_t value, XpByteOrder order);
  [[nodiscard]] virtual XpResult WriteInt64(int64_t value, XpByteOrder order);
  [[nodiscard]] virtual XpResult WriteUInt32(uint32_t value, XpByteOrder order);
  [[nodiscard]] virtual XpResult WriteInt32(int32_t value, XpByteOrder order);
  [[nodiscard]] virtual XpResult WriteUInt16(uint16_t value, XpByteOrder order);
  [[nodiscard]] virtual XpResult WriteInt16(int16_t value, XpByteOrder order);
  [[nodiscard]] virtual XpResult WriteUInt8(uint8_t value, XpByteOrder order);
  [[nodiscard]] virtual XpResult WriteInt8(int8_t value, XpByteOrder order);

  // 1 or 2 becomes the file's order, 3 changes nothing; anything else is
  // kXpErrGeneric.
  [[nodiscard]] virtual XpResult SetByteOrder(XpByteOrder order);
  virtual void SetHostByteOrder();
  XpByteOrder GetByteOrder() const { return fileByteOrder_; }

  // One character; in text mode CR LF reads as LF. A character outside the
  // BMP comes as its two surrogates, one per call.
  [[nodiscard]] virtual XpResult ReadChar(char16_t& ch);
  // One line without its LF. At the end of the file the result is kXpOk with
  // an empty line, so the end is found with Tell() >= GetSize().
  [[nodiscard]] virtual XpResult ReadLine(XpString& line);
  // A line into buffer, always terminated. kXpErrBufferTooSmall when
  // capacity - 1 characters came without LF.
  [[nodiscard]] virtual XpResult ReadLineBuffer(char16_t* buffer, int32_t capacity);
  // In text mode LF is written as CR LF.
  [[nodiscard]] virtual XpResult WriteChar(char16_t ch);
  [[nodiscard]] virtual XpResult WriteString(const char16_t* text);
  // One UTF-8 character. A byte that does not start a valid sequence reads
  // as its surrogate escape U+DC80..U+DCFF and only that byte is consumed.
  [[nodiscard]] virtual XpResult ReadMultiByteChar(char16_t& ch);
  // A high surrogate is held until its low surrogate comes; an escape
  // U+DC80..U+DCFF is written as its original byte.
  [[nodiscard]] virtual XpResult WriteMultiByteChar(char16_t ch);

 protected:
  XpOpenMode GetOpenMode() const { return openMode_; }
  bool IsTextMode() const { return (openMode_ & kXpOpenText) != 0; }
  // Forgets the half-read and half-written characters; subclasses call it
  // when the position moves or the file closes.
  void ResetCharacterState();

 private:
  template <typename T>
  [[nodiscard]] XpResult ReadValue(T& value, XpByteOrder order);
  template <typename T>
  [[nodiscard]] XpResult WriteValue(T value, XpByteOrder order);
  [[nodiscard]] XpResult WriteBytes(const char* bytes, int32_t length);

  XpByteOrder fileByteOrder_ = kXpByteOrderNotSet;
  XpByteOrder hostByteOrder_;
  XpOpenMode openMode_ = 0;
  // The low surrogate of a character whose high surrogate was read.
  char16_t pendingLow_ = 0;
  // A written high surrogate waiting for its low one.
  char16_t pendingHigh_ = 0;
  // Bytes the last ReadMultiByteChar consumed.
  int32_t lastCharBytes_ = 0;
};
