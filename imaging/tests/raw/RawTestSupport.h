#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/text/XpString.h"

// Writes bytes to path and returns the path as text.
XpString WriteRawFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// The JPEG decoded by the JPEG reader, as the raw readers decode it.
std::unique_ptr<XpPixmapBase> DecodePreviewBytes(const std::vector<uint8_t>& jpeg);

// Whether shown equals the part of source whose top-left corner is
// (left, top), pixel for pixel.
bool EqualsRegion(const XpPixmapBase& shown, const XpPixmapBase& source, int32_t left,
                  int32_t top);

// The pixmap turned a quarter clockwise, pixel for pixel, built here.
bool IsQuarterTurnOf(const XpPixmapBase& turned, const XpPixmapBase& source);

// Seconds between a "YYYY:MM:DD hh:mm:ss" text (UTC) and now; a large
// number when the text does not parse.
double SecondsFromNow(const std::string& text);

// Positions where two byte vectors of one length differ.
std::vector<size_t> ChangedPositions(const std::vector<uint8_t>& before,
                                     const std::vector<uint8_t>& after);

// Where text (without its NUL) first lies in bytes; npos when absent.
size_t FindText(const std::vector<uint8_t>& bytes, const std::string& text);
