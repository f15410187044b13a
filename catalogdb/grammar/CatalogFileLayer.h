#pragma once

#include <cstdint>

#include "fsk/FskFile.h"

// The small file layer of CatalogGrammar over the runtime's file calls,
// used by the atom file and the result bitmaps. Every failure leaves errno
// set to the error of the failing call.

// Open flags.
inline constexpr uint32_t kCatalogFileRead = 0x1;
inline constexpr uint32_t kCatalogFileWrite = 0x2;
inline constexpr uint32_t kCatalogFileCreate = 0x200;
inline constexpr uint32_t kCatalogFileTruncate = 0x400;
// Read-write, made when missing, emptied.
inline constexpr uint32_t kCatalogFileCreateFlags = kCatalogFileWrite | kCatalogFileCreate | kCatalogFileTruncate;
inline constexpr uint32_t kCatalogFileOpenFlags = kCatalogFileWrite;

// Seek codes.
inline constexpr int32_t kCatalogSeekCurrent = 0;  // the position + offset
inline constexpr int32_t kCatalogSeekFromEnd = 1;  // the size - offset
inline constexpr int32_t kCatalogSeekSet = 2;      // offset

// Whether a seek beyond the end first extends the file to the target.
enum class CatalogSeekBeyondEnd { kExtend, kKeepSize };

// Flags without read or write access give null (EINVAL). Opens the path
// read-write; when that fails and flags has kCatalogFileCreate, makes the
// file and opens it again; kCatalogFileTruncate then empties it. Null on
// failure.
FskFile CatalogFileOpen(const char* path, uint32_t flags);

// The new position, or -1 for an unknown code or a target before 0
// (EINVAL) or a failed call.
int64_t CatalogFileSeek(FskFile file, int64_t offset, int32_t whence, CatalogSeekBeyondEnd beyondEnd);

// The bytes moved at the position: count, or fewer on failure (errno EIO
// when the file ended).
int64_t CatalogFileRead(FskFile file, void* buffer, int64_t count);
int64_t CatalogFileWrite(FskFile file, const void* buffer, int64_t count);

// Sets the size, then the position to it; 0 or -1.
int32_t CatalogFileTruncate(FskFile file, int64_t size);

// The size, or -1.
int64_t CatalogFileSize(FskFile file);

// 0 or -1.
int32_t CatalogFileClose(FskFile file);
int32_t CatalogFileDelete(const char* path);
