#pragma once

#include "platform/result/XpResult.h"

// Result codes of an export task, beside the platform's own.
// The album database could not be opened or a record not written.
inline constexpr XpResult kK2ErrAlbumDatabase = 0xC000;
// A batch's records could not be made durable: not committed.
inline constexpr XpResult kK2ErrAlbumDatabaseWrite = 0xC001;
// A destination DCF folder cannot be written.
inline constexpr XpResult kK2ErrFolderNotWritable = 0xC002;
// The camera is gone: its root no longer exists or its volume was removed.
inline constexpr XpResult kK2ErrCameraGone = 0xC003;
// The album database cannot take that many contents or albums.
inline constexpr XpResult kK2ErrTooManyContents = 0xC004;
// The temporary folder does not exist.
inline constexpr XpResult kK2ErrNoTempDir = 0xC005;
// Nothing to prepare: no exportable item, or stopped before preparation.
inline constexpr XpResult kK2ErrNothingToPrepare = 0xC008;
// Not enough free space on the camera.
inline constexpr XpResult kK2ErrCameraFull = 0xC009;
// The temporary folder cannot be written.
inline constexpr XpResult kK2ErrTempDirNotWritable = 0xC00B;
// Some contents of the hand-over file cannot be exported.
inline constexpr XpResult kK2ErrUnsupportedContents = 0xC00C;
// Files were skipped because the camera became full while they were
// written; the progress window tells that the disk is full.
inline constexpr XpResult kK2ErrCopyDiskFull = kXpErrCopyFailed;
// The PC's disk became full during the conversion.
inline constexpr XpResult kK2ErrPcDiskFull = 0xC00E;
