#pragma once

#include <bit>
#include <cstdint>

// Tag values are held in host order, and the host is little-endian: a
// block in Motorola order is swapped on the way in and out.
static_assert(std::endian::native == std::endian::little);

// Numbers of a TIFF block, read from and written to bytes in the block's
// order (big-endian for "MM", little-endian for "II").
uint16_t XpTiffLoad16(const uint8_t* bytes, bool bigEndian);
uint32_t XpTiffLoad32(const uint8_t* bytes, bool bigEndian);
void XpTiffStore16(uint8_t* bytes, uint16_t value, bool bigEndian);
void XpTiffStore32(uint8_t* bytes, uint32_t value, bool bigEndian);

// Reverses the bytes of every whole unit in the first byteSize bytes; a
// unit of 1 changes nothing.
void XpTiffSwapUnits(uint8_t* bytes, uint64_t byteSize, uint32_t unit);
