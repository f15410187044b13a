#include "platform/fs/XpAbstractFile.h"

#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "platform/text/XpUtf.h"

namespace {

constexpr char16_t kCarriageReturn = u'\r';
constexpr char16_t kLineFeed = u'\n';
constexpr int32_t kLineChunk = 512;
constexpr int32_t kMaxSequenceBytes = 4;

constexpr XpByteOrder HostByteOrder() {
  return std::endian::native == std::endian::little ? kXpByteOrderLittleEndian
                                                    : kXpByteOrderBigEndian;
}

template <typename T>
void ReverseBytes(T& value) {
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  for (size_t i = 0; i < sizeof(T) / 2; ++i) {
    std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
  }
  std::memcpy(&value, bytes, sizeof(T));
}

}  // namespace

XpAbstractFile::XpAbstractFile() : hostByteOrder_(HostByteOrder()) {}

XpAbstractFile::XpAbstractFile(XpByteOrder fileByteOrder) : XpAbstractFile() {
  // An order that is not a byte order keeps the host's.
  (void)SetByteOrder(fileByteOrder);
}

XpResult XpAbstractFile::Open(XpOpenMode mode) {
  openMode_ = mode;
  ResetCharacterState();
  return kXpOk;
}

XpResult XpAbstractFile::WriteAndFlush(const void* buffer, uint64_t count, uint64_t* done) {
  const XpResult result = Write(buffer, count, done);
  return result == kXpOk ? Flush() : result;
}

template <typename T>
XpResult XpAbstractFile::ReadValue(T& value, XpByteOrder order) {
  const XpResult ordered = SetByteOrder(order);
  if (ordered != kXpOk) {
    return ordered;
  }
  uint64_t done = 0;
  const XpResult result = Read(&value, sizeof(T), &done);
  if (fileByteOrder_ != hostByteOrder_) {
    ReverseBytes(value);
  }
  return result;
}

template <typename T>
XpResult XpAbstractFile::WriteValue(T value, XpByteOrder order) {
  const XpResult ordered = SetByteOrder(order);
  if (ordered != kXpOk) {
    return ordered;
  }
  if (fileByteOrder_ != hostByteOrder_) {
    ReverseBytes(value);
  }
  uint64_t done = 0;
  return Write(&value, sizeof(T), &done);
}

XpResult XpAbstractFile::ReadUInt64(uint64_t& value, XpByteOrder order) {
  return ReadValue(value, order);
}
XpResult XpAbstractFile::ReadInt64(int64_t& value, XpByteOrder order) {
  return ReadValue(value, order);
}
XpResult XpAbstractFile::ReadUInt32(uint32_t& value, XpByteOrder order) {
  return ReadValue(value, order);
}
XpResult XpAbstractFile::ReadInt32(int32_t& value, XpByteOrder order) {
  return ReadValue(value, order);
}
XpResult XpAbstractFile::ReadUInt16(uint16_t& value, XpByteOrder order) {
  return ReadValue(value, order);
}
XpResult XpAbstractFile::ReadInt16(int16_t& value, XpByteOrder order) {
  return ReadValue(value, order);
}

XpResult XpAbstractFile::ReadUInt8(uint8_t& value, XpByteOrder) {
  uint64_t done = 0;
  return Read(&value, sizeof(value), &done);
}

XpResult XpAbstractFile::ReadInt8(int8_t& value, XpByteOrder) {
  uint64_t done = 0;
  return Read(&value, sizeof(value), &done);
}

XpResult XpAbstractFile::WriteUInt64(uint64_t value, XpByteOrder order) {
  return WriteValue(value, order);
}
XpResult XpAbstractFile::WriteInt64(int64_t value, XpByteOrder order) {
  return WriteValue(value, order);
}
XpResult XpAbstractFile::WriteUInt32(uint32_t value, XpByteOrder order) {
  return WriteValue(value, order);
}
XpResult XpAbstractFile::WriteInt32(int32_t value, XpByteOrder order) {
  return WriteValue(value, order);
}
XpResult XpAbstractFile::WriteUInt16(uint16_t value, XpByteOrder order) {
  return WriteValue(value, order);
}
XpResult XpAbstractFile::WriteInt16(int16_t value, XpByteOrder order) {
  return WriteValue(value, order);
}

XpResult XpAbstractFile::WriteUInt8(uint8_t value, XpByteOrder) {
  uint64_t done = 0;
  return Write(&value, sizeof(value), &done);
}

XpResult XpAbstractFile::WriteInt8(int8_t value, XpByteOrder) {
  uint64_t done = 0;
  return Write(&value, sizeof(value), &done);
}

XpResult XpAbstractFile::SetByteOrder(XpByteOrder order) {
  if (order == kXpByteOrderBigEndian || order == kXpByteOrderLittleEndian) {
    fileByteOrder_ = order;
    return kXpOk;
  }
  return order == kXpByteOrderKeep ? kXpOk : kXpErrGeneric;
}

void XpAbstractFile::SetHostByteOrder() { fileByteOrder_ = hostByteOrder_; }

XpResult XpAbstractFile::ReadMultiByteChar(char16_t& ch) {
  if (pendingLow_ != 0) {
    ch = pendingLow_;
    pendingLow_ = 0;
    lastCharBytes_ = 0;
    return kXpOk;
  }
  lastCharBytes_ = 0;
  uint8_t lead = 0;
  const XpResult result = ReadUInt8(lead, kXpByteOrderKeep);
  if (result != kXpOk) {
    return result;
  }
  char bytes[kMaxSequenceBytes] = {static_cast<char>(lead)};
  const auto length = static_cast<int32_t>(XpUtf8SequenceLength(lead));
  int32_t got = 1;
  uint8_t next = 0;
  while (got < length && ReadUInt8(next, kXpByteOrderKeep) == kXpOk) {
    bytes[got++] = static_cast<char>(next);
  }
  char32_t codePoint = 0;
  if (XpUtf8DecodeOne(std::string_view(bytes, got), codePoint) == 0) {
    if (got > 1) {
      // Only the lead byte is consumed; what followed it is read again.
      const XpResult back = Seek(-(got - 1), kXpSeekCurrent);
      if (back != kXpOk) {
        return back;
      }
    }
    lastCharBytes_ = 1;
    ch = XpUtf16EscapeOf(lead);
    return kXpOk;
  }
  std::u16string units;
  XpUtf16Append(units, codePoint);
  lastCharBytes_ = got;
  ch = units[0];
  if (units.size() == 2) {
    pendingLow_ = units[1];
  }
  return kXpOk;
}

XpResult XpAbstractFile::ReadChar(char16_t& ch) {
  XpResult result = ReadMultiByteChar(ch);
  if (result != kXpOk || !IsTextMode() || ch != kCarriageReturn) {
    return result;
  }
  char16_t next = 0;
  result = ReadMultiByteChar(next);
  if (result != kXpOk) {
    return result;
  }
  if (next == kLineFeed) {
    ch = kLineFeed;
    return kXpOk;
  }
  // Give the whole peeked character back, not just its last byte.
  const int32_t peeked = lastCharBytes_;
  pendingLow_ = 0;
  return Seek(-peeked, kXpSeekCurrent);
}

XpResult XpAbstractFile::ReadLineBuffer(char16_t* buffer, int32_t capacity) {
  if (buffer == nullptr || capacity < 2) {
    return kXpErrBadArgument;
  }
  for (int32_t i = 0; i < capacity - 1; ++i) {
    char16_t ch = 0;
    const XpResult result = ReadChar(ch);
    if (result != kXpOk || ch == kLineFeed) {
      buffer[i] = 0;
      return result == kXpErrEndOfFile ? kXpOk : result;
    }
    buffer[i] = ch;
  }
  buffer[capacity - 1] = 0;
  return kXpErrBufferTooSmall;
}

XpResult XpAbstractFile::ReadLine(XpString& line) {
  const int64_t start = Tell();
  for (int32_t capacity = kLineChunk;; capacity += kLineChunk) {
    std::unique_ptr<char16_t[]> buffer(new (std::nothrow) char16_t[capacity]);
    if (!buffer) {
      return kXpErrOutOfMemory;
    }
    XpResult result = ReadLineBuffer(buffer.get(), capacity);
    if (result == kXpOk) {
      line = XpString(buffer.get());
      return kXpOk;
    }
    if (result != kXpErrBufferTooSmall) {
      return result;
    }
    result = Seek(start, kXpSeekBegin);
    if (result != kXpOk) {
      return result;
    }
  }
}

XpResult XpAbstractFile::WriteChar(char16_t ch) {
  if (IsTextMode() && ch == kLineFeed) {
    const XpResult result = WriteMultiByteChar(kCarriageReturn);
    if (result != kXpOk) {
      return result;
    }
  }
  return WriteMultiByteChar(ch);
}

XpResult XpAbstractFile::WriteString(const char16_t* text) {
  if (text == nullptr) {
    return kXpErrBadArgument;
  }
  for (; *text != 0; ++text) {
    const XpResult result = WriteChar(*text);
    if (result != kXpOk) {
      return result;
    }
  }
  return kXpOk;
}

XpResult XpAbstractFile::WriteMultiByteChar(char16_t ch) {
  std::u16string units;
  if (pendingHigh_ != 0) {
    // A high surrogate without its low one is written as U+FFFD.
    units += pendingHigh_;
    pendingHigh_ = 0;
    if (XpUtf16IsLowSurrogate(ch)) {
      units += ch;
      const std::string bytes = XpUtf16ToUtf8(units);
      return WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
    }
  }
  if (XpUtf16IsHighSurrogate(ch)) {
    pendingHigh_ = ch;
  } else {
    units += ch;
  }
  const std::string bytes = XpUtf16ToUtf8(units);
  return WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
}

XpResult XpAbstractFile::WriteBytes(const char* bytes, int32_t length) {
  for (int32_t i = 0; i < length; ++i) {
    const XpResult result = WriteInt8(static_cast<int8_t>(bytes[i]), kXpByteOrderKeep);
    if (result != kXpOk) {
      return result;
    }
  }
  return kXpOk;
}

void XpAbstractFile::ResetCharacterState() {
  pendingLow_ = 0;
  pendingHigh_ = 0;
  lastCharBytes_ = 0;
}
