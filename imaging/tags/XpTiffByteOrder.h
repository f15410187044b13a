#pragma once

#include <bit>
#include <cstdint>

// Tag values are held in host order, and the host is little-endian: a
// block in Motorola order is swapped on the way in and out. The block's own
// numbers are read and written with platform/memory/XpByteOrder.h.
static_assert(std::endian::native == std::endian::little);

// Reverses the bytes of every whole unit in the first byteSize bytes; a
// unit of 1 changes nothing.
void XpTiffSwapUnits(uint8_t* bytes, uint64_t byteSize, uint32_t unit);
