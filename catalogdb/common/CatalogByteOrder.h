#pragma once

#include <cstdint>

#include "platform/memory/XpByteOrder.h"

// Words in the grammars' buffers, which the script hands over as
// untyped memory; no buffer is ever read through a cast pointer.

inline uint32_t CatalogLoadBigEndian32(const void* at) {
  return XpLoadBig32(static_cast<const uint8_t*>(at));
}

inline void CatalogStoreBigEndian32(void* at, uint32_t value) {
  XpStoreBig32(static_cast<uint8_t*>(at), value);
}

// A word in the host's order (the order of memory).
inline int32_t CatalogLoadHost32(const void* at) {
  return static_cast<int32_t>(XpLoad32(static_cast<const uint8_t*>(at), kXpHostIsBigEndian));
}

inline void CatalogStoreHost32(void* at, int32_t value) {
  XpStore32(static_cast<uint8_t*>(at), static_cast<uint32_t>(value), kXpHostIsBigEndian);
}

// The signed word of a big-endian value.
inline int32_t CatalogLoadBigEndianInt32(const void* at) { return static_cast<int32_t>(CatalogLoadBigEndian32(at)); }

inline void CatalogStoreBigEndianInt32(void* at, int32_t value) {
  CatalogStoreBigEndian32(at, static_cast<uint32_t>(value));
}

// Little-endian words, as CatalogGrammarExt keeps them.
inline uint32_t CatalogLoadLittle32(const void* at) {
  return XpLoadLittle32(static_cast<const uint8_t*>(at));
}

inline void CatalogStoreLittle32(void* at, uint32_t value) {
  XpStoreLittle32(static_cast<uint8_t*>(at), value);
}

inline uint16_t CatalogLoadLittle16(const void* at) {
  return XpLoadLittle16(static_cast<const uint8_t*>(at));
}

inline void CatalogStoreLittle16(void* at, uint16_t value) {
  XpStoreLittle16(static_cast<uint8_t*>(at), value);
}
