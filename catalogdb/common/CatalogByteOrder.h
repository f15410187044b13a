#pragma once

#include <cstdint>
#include <cstring>

// 32-bit words in the grammars' buffers, loaded and stored byte by byte so
// that no buffer is ever read through a cast pointer.

inline uint32_t CatalogLoadBigEndian32(const void* at) {
  const auto* bytes = static_cast<const unsigned char*>(at);
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | uint32_t{bytes[3]};
}

inline void CatalogStoreBigEndian32(void* at, uint32_t value) {
  auto* bytes = static_cast<unsigned char*>(at);
  bytes[0] = static_cast<unsigned char>(value >> 24);
  bytes[1] = static_cast<unsigned char>(value >> 16);
  bytes[2] = static_cast<unsigned char>(value >> 8);
  bytes[3] = static_cast<unsigned char>(value);
}

// A word in the host's order (the order of memory).
inline int32_t CatalogLoadHost32(const void* at) {
  int32_t value = 0;
  std::memcpy(&value, at, sizeof value);
  return value;
}

inline void CatalogStoreHost32(void* at, int32_t value) { std::memcpy(at, &value, sizeof value); }

// The signed word of a big-endian value.
inline int32_t CatalogLoadBigEndianInt32(const void* at) { return static_cast<int32_t>(CatalogLoadBigEndian32(at)); }

inline void CatalogStoreBigEndianInt32(void* at, int32_t value) {
  CatalogStoreBigEndian32(at, static_cast<uint32_t>(value));
}
