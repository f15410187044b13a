#pragma once

#include <cstddef>
#include <cstdint>

// The runtime's file calls. Paths are absolute UTF-8 paths: one that does
// not begin with '/' is refused with ENOENT. Every failure returns a
// platform result code (XpResult, from errno) and leaves errno set, because
// the grammar natives report it. Sizes and positions are 64-bit.

struct FskFileRecord;
using FskFile = FskFileRecord*;

inline constexpr uint32_t kFskFilePermissionReadOnly = 0;
// O_RDWR | O_CLOEXEC.
inline constexpr uint32_t kFskFilePermissionReadWrite = 1;

// Opens an existing file at position 0. *out is null on failure (a missing
// file gives ENOENT).
int32_t FskFileOpen(const char* path, uint32_t permission, FskFile* out);
// Makes a new empty file; fails when there is one already.
int32_t FskFileCreate(const char* path);
// Closing null is accepted.
int32_t FskFileClose(FskFile file);
int32_t FskFileDelete(const char* path);

// Moves count bytes at the position, which advances by what moved; *done
// tells how many (done may be null). 0 only when all count bytes moved:
// short of that a failure code, with errno EIO when the system reported no
// error (the end of the file).
int32_t FskFileRead(FskFile file, size_t count, void* buffer, size_t* done);
int32_t FskFileWrite(FskFile file, size_t count, const void* buffer, size_t* done);

int32_t FskFileGetSize(FskFile file, int64_t* size);
// Extends with zeros or cuts; the position stays.
int32_t FskFileSetSize(FskFile file, int64_t size);
int32_t FskFileGetPosition(FskFile file, int64_t* position);
// Any position from 0; beyond the end is allowed (a write there extends the
// file).
int32_t FskFileSetPosition(FskFile file, int64_t position);
