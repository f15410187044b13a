#pragma once

#include <cstdint>

// The most pixels a reader decodes one picture into (a 1 GiB raster of
// 32-bit pixels). A file that declares a larger picture is refused with
// kXpErrOutOfMemory before anything is allocated for it.
inline constexpr uint64_t kXpMaxReaderPixels = uint64_t{1} << 28;
