#pragma once

#include <cstdint>
#include <string_view>

#include "platform/fs/XpAbstractFile.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpStringA.h"

// A four-character code of an ICC profile, first character in the most
// significant byte, as it stands in the file.
using IccSignature = uint32_t;
// The signature of a text that is not four characters long.
inline constexpr IccSignature kIccNoSignature = 0xFFFFFFFF;

// The root of the ICC classes: signature conversions, and the big-endian
// reads that every reader shares. A read first checks that its bytes are
// left in the file, so a value cut short fails with kXpErrEndOfFile even
// where the file itself would hand out a short read.
class icc_tools {
 public:
  virtual ~icc_tools();

  // Four one-byte characters, most significant byte first.
  static XpStringA SignatureToText(IccSignature signature);
  // kIccNoSignature unless text is exactly four characters long.
  static IccSignature TextToSignature(std::string_view text);

 protected:
  icc_tools() = default;
  icc_tools(const icc_tools&) = default;
  icc_tools& operator=(const icc_tools&) = default;

  // Bytes from the position to the end; 0 when the file cannot tell.
  static uint64_t BytesLeft(XpAbstractFile& file);
  // kXpErrEndOfFile when fewer than count bytes are left.
  [[nodiscard]] static XpResult Require(XpAbstractFile& file, uint64_t count);
  // Sets the file's byte order to big-endian.
  [[nodiscard]] static XpResult BeginRead(XpAbstractFile& file);
  [[nodiscard]] static XpResult ReadUInt16(XpAbstractFile& file, uint16_t& value);
  [[nodiscard]] static XpResult ReadUInt32(XpAbstractFile& file, uint32_t& value);
  // count bytes into bytes, or none when fewer are left.
  [[nodiscard]] static XpResult ReadBytes(XpAbstractFile& file, void* bytes, uint64_t count);
  // Moves over count bytes that are left in the file.
  [[nodiscard]] static XpResult Skip(XpAbstractFile& file, uint64_t count);
  // Sets big-endian order, then reads the type signature and the reserved
  // word of a tag type. kXpErrIccWrongType when the signature is not
  // expected; nothing further is read then.
  [[nodiscard]] static XpResult ReadTypeHead(XpAbstractFile& file, IccSignature expected);
  // Bytes of the type signature and the reserved word.
  static constexpr uint32_t kTypeHeadBytes = 8;
};
