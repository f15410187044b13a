#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/tags/XpTiffTagManager.h"

// IFD 0, Exif with a marked maker note (holding 0x2001 = 1234) and
// Interop, GPS, and IFD 1, with values of every type, in the byte order.
std::unique_ptr<XpTiffTagManager> FullTagTree(bool bigEndian);

// The block the manager writes into a memory file.
std::vector<uint8_t> WrittenBytes(XpTiffTagManager& tags);

// A manager parsed from bytes starting at base; *parsed (when given)
// receives Parse's answer.
std::unique_ptr<XpTiffTagManager> ParsedBytes(
    const std::vector<uint8_t>& bytes,
    XpTiffMakerNoteMode mode = XpTiffMakerNoteMode::MakerNoteWhenMarked, bool* parsed = nullptr,
    int64_t base = 0);

// A text of the whole tree: one line per IFD and per value with its tag,
// type, count and bytes; a sub-IFD value shows the IFDs it holds instead of
// its raw offsets.
std::string DescribeTree(const XpTiffTagManager& tags);
std::string DescribeIFD(const XpTiffTagIFD& ifd, int depth = 0);

// Numbers of a written block.
uint16_t Load16At(const std::vector<uint8_t>& bytes, size_t position, bool bigEndian);
uint32_t Load32At(const std::vector<uint8_t>& bytes, size_t position, bool bigEndian);

// Hex of bytes, "49 49 2A 00".
std::string HexOf(const uint8_t* bytes, size_t count);
std::string HexOf(const std::vector<uint8_t>& bytes);
