#include "imaging/icc/icc_tools.h"

namespace {

constexpr size_t kSignatureChars = 4;
constexpr uint32_t kBitsPerChar = 8;

}  // namespace

icc_tools::~icc_tools() = default;

XpStringA icc_tools::SignatureToText(IccSignature signature) {
  char text[kSignatureChars];
  for (size_t index = 0; index < kSignatureChars; ++index) {
    const uint32_t shift = kBitsPerChar * static_cast<uint32_t>(kSignatureChars - 1 - index);
    text[index] = static_cast<char>((signature >> shift) & 0xFF);
  }
  return XpStringA(text, static_cast<int32_t>(kSignatureChars));
}

IccSignature icc_tools::TextToSignature(std::string_view text) {
  if (text.size() != kSignatureChars) {
    return kIccNoSignature;
  }
  IccSignature signature = 0;
  for (const char ch : text) {
    signature = (signature << kBitsPerChar) | static_cast<uint8_t>(ch);
  }
  return signature;
}

uint64_t icc_tools::BytesLeft(XpAbstractFile& file) {
  const int64_t size = file.GetSize();
  const int64_t position = file.Tell();
  if (size < 0 || position < 0 || position >= size) {
    return 0;
  }
  return static_cast<uint64_t>(size - position);
}

XpResult icc_tools::Require(XpAbstractFile& file, uint64_t count) {
  return count <= BytesLeft(file) ? kXpOk : kXpErrEndOfFile;
}

XpResult icc_tools::BeginRead(XpAbstractFile& file) {
  return file.SetByteOrder(kXpByteOrderBigEndian);
}

XpResult icc_tools::ReadUInt16(XpAbstractFile& file, uint16_t& value) {
  const XpResult result = Require(file, sizeof value);
  return result != kXpOk ? result : file.ReadUInt16(value, kXpByteOrderBigEndian);
}

XpResult icc_tools::ReadUInt32(XpAbstractFile& file, uint32_t& value) {
  const XpResult result = Require(file, sizeof value);
  return result != kXpOk ? result : file.ReadUInt32(value, kXpByteOrderBigEndian);
}

XpResult icc_tools::ReadBytes(XpAbstractFile& file, void* bytes, uint64_t count) {
  XpResult result = Require(file, count);
  if (result != kXpOk || count == 0) {
    return result;
  }
  uint64_t done = 0;
  result = file.Read(bytes, count, &done);
  if (result != kXpOk) {
    return result;
  }
  return done == count ? kXpOk : kXpErrEndOfFile;
}

XpResult icc_tools::Skip(XpAbstractFile& file, uint64_t count) {
  const XpResult result = Require(file, count);
  return result != kXpOk ? result : file.Seek(static_cast<int64_t>(count), kXpSeekCurrent);
}

XpResult icc_tools::ReadTypeHead(XpAbstractFile& file, IccSignature expected) {
  XpResult result = BeginRead(file);
  if (result != kXpOk) {
    return result;
  }
  uint32_t signature = 0;
  result = ReadUInt32(file, signature);
  if (result != kXpOk) {
    return result;
  }
  if (signature != expected) {
    return kXpErrIccWrongType;
  }
  uint32_t reserved = 0;
  return ReadUInt32(file, reserved);
}
