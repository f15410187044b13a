#pragma once

#include <bit>
#include <cstdint>

// Fixed-width words read from and written to bytes in a stated order. The
// pointers need no alignment: every word is assembled byte by byte, which
// compilers turn into one load or store and, where needed, a byte swap.
//
//   uint8_t header[8] = {};
//   XpStoreBig32(header, 0x4D4D002A);          // 4D 4D 00 2A
//   const uint16_t magic = XpLoadBig16(header + 2);  // 0x002A
//   const uint32_t size = XpLoad32(header + 4, bigEndian);

// True when the host keeps words with the most significant byte first; pass
// it as bigEndian to read or write a word in memory order.
inline constexpr bool kXpHostIsBigEndian = std::endian::native == std::endian::big;

constexpr uint16_t XpLoadLittle16(const uint8_t* bytes) {
  return static_cast<uint16_t>(uint32_t{bytes[0]} | (uint32_t{bytes[1]} << 8));
}

constexpr uint32_t XpLoadLittle32(const uint8_t* bytes) {
  return uint32_t{XpLoadLittle16(bytes)} | (uint32_t{XpLoadLittle16(bytes + 2)} << 16);
}

constexpr uint64_t XpLoadLittle64(const uint8_t* bytes) {
  return uint64_t{XpLoadLittle32(bytes)} | (uint64_t{XpLoadLittle32(bytes + 4)} << 32);
}

constexpr uint16_t XpLoadBig16(const uint8_t* bytes) {
  return static_cast<uint16_t>((uint32_t{bytes[0]} << 8) | uint32_t{bytes[1]});
}

constexpr uint32_t XpLoadBig32(const uint8_t* bytes) {
  return (uint32_t{XpLoadBig16(bytes)} << 16) | uint32_t{XpLoadBig16(bytes + 2)};
}

constexpr uint64_t XpLoadBig64(const uint8_t* bytes) {
  return (uint64_t{XpLoadBig32(bytes)} << 32) | uint64_t{XpLoadBig32(bytes + 4)};
}

constexpr void XpStoreLittle16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

constexpr void XpStoreLittle32(uint8_t* bytes, uint32_t value) {
  XpStoreLittle16(bytes, static_cast<uint16_t>(value));
  XpStoreLittle16(bytes + 2, static_cast<uint16_t>(value >> 16));
}

constexpr void XpStoreLittle64(uint8_t* bytes, uint64_t value) {
  XpStoreLittle32(bytes, static_cast<uint32_t>(value));
  XpStoreLittle32(bytes + 4, static_cast<uint32_t>(value >> 32));
}

constexpr void XpStoreBig16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value >> 8);
  bytes[1] = static_cast<uint8_t>(value);
}

constexpr void XpStoreBig32(uint8_t* bytes, uint32_t value) {
  XpStoreBig16(bytes, static_cast<uint16_t>(value >> 16));
  XpStoreBig16(bytes + 2, static_cast<uint16_t>(value));
}

constexpr void XpStoreBig64(uint8_t* bytes, uint64_t value) {
  XpStoreBig32(bytes, static_cast<uint32_t>(value >> 32));
  XpStoreBig32(bytes + 4, static_cast<uint32_t>(value));
}

// The same words in an order chosen at run time, as in a file whose header
// names its order.
constexpr uint16_t XpLoad16(const uint8_t* bytes, bool bigEndian) {
  return bigEndian ? XpLoadBig16(bytes) : XpLoadLittle16(bytes);
}

constexpr uint32_t XpLoad32(const uint8_t* bytes, bool bigEndian) {
  return bigEndian ? XpLoadBig32(bytes) : XpLoadLittle32(bytes);
}

constexpr uint64_t XpLoad64(const uint8_t* bytes, bool bigEndian) {
  return bigEndian ? XpLoadBig64(bytes) : XpLoadLittle64(bytes);
}

constexpr void XpStore16(uint8_t* bytes, uint16_t value, bool bigEndian) {
  bigEndian ? XpStoreBig16(bytes, value) : XpStoreLittle16(bytes, value);
}

constexpr void XpStore32(uint8_t* bytes, uint32_t value, bool bigEndian) {
  bigEndian ? XpStoreBig32(bytes, value) : XpStoreLittle32(bytes, value);
}

constexpr void XpStore64(uint8_t* bytes, uint64_t value, bool bigEndian) {
  bigEndian ? XpStoreBig64(bytes, value) : XpStoreLittle64(bytes, value);
}
