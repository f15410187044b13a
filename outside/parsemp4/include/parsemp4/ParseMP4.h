#pragma once

#include <cstdint>

// The outside MP4 parser's two exports. Paths are UTF-8.
extern "C" {

// 1 for an ISO media file, 2 for a QuickTime one (major brand "qt  "),
// 0 for anything else or an unreadable file.
__attribute__((visibility("default"))) int GetFormatType(const char* path);

// The movie's creation time as local time: 1 and the six parts set, or 0
// when the file has none.
__attribute__((visibility("default"))) int GetOriginalDateTime(const char* path, uint16_t* year,
                                                               uint16_t* month, uint16_t* day,
                                                               uint16_t* hour, uint16_t* minute,
                                                               uint16_t* second);
}
