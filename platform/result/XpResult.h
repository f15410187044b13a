#pragma once

#include <cstdint>

// The platform result code: 0 for success, 0x8000-0x8FFF for failures. The
// high byte of a failure names its area.
using XpResult = uint32_t;

inline constexpr XpResult kXpOk = 0x0000;

// 0x80xx generic.
inline constexpr XpResult kXpErrGeneric = 0x8000;
// A cancelled operation.
inline constexpr XpResult kXpErrCancelled = 0x8002;

// 0x81xx file system, devices, watchdogs, arguments.
inline constexpr XpResult kXpErrSystem = 0x8100;
inline constexpr XpResult kXpErrWrongState = 0x8101;
inline constexpr XpResult kXpErrBadArgument = 0x8102;
inline constexpr XpResult kXpErrEndOfFile = 0x8103;
inline constexpr XpResult kXpErrBufferTooSmall = 0x8104;
inline constexpr XpResult kXpErrFileNotFound = 0x8105;
inline constexpr XpResult kXpErrPathNotFound = 0x8106;
inline constexpr XpResult kXpErrAlreadyOpen = 0x8107;
inline constexpr XpResult kXpErrAccessDenied = 0x8108;
inline constexpr XpResult kXpErrDiskFull = 0x8109;
inline constexpr XpResult kXpErrAlreadyExists = 0x810A;
inline constexpr XpResult kXpErrTooManyOpenFiles = 0x810B;
inline constexpr XpResult kXpErrOpenFailed = 0x810D;
inline constexpr XpResult kXpErrNotOpen = 0x810E;
inline constexpr XpResult kXpErrDeleteFailed = 0x810F;
// An archive entry could not be opened.
inline constexpr XpResult kXpErrArchiveEntry = 0x8110;
inline constexpr XpResult kXpErrOpenForWriteFailed = 0x8111;
inline constexpr XpResult kXpErrCreateDirFailed = 0x8112;
inline constexpr XpResult kXpErrCopyFailed = 0x8113;
inline constexpr XpResult kXpErrMoveFailed = 0x8114;
inline constexpr XpResult kXpErrStopped = 0x8115;
inline constexpr XpResult kXpErrNotSupportedByOs = 0x8116;
inline constexpr XpResult kXpErrDirNotEmpty = 0x8117;
// Also "fewer bytes read than asked".
inline constexpr XpResult kXpErrInvalidFile = 0x8119;
inline constexpr XpResult kXpErrDeviceNotReady = 0x811A;

// 0x82xx threads and synchronisation.
inline constexpr XpResult kXpErrSync = 0x8200;
inline constexpr XpResult kXpErrTimeout = 0x8201;
inline constexpr XpResult kXpErrNotOwner = 0x8202;
inline constexpr XpResult kXpErrNotSupported = 0x8203;
inline constexpr XpResult kXpErrAbandoned = 0x8204;
inline constexpr XpResult kXpErrJoinSelf = 0x8205;
inline constexpr XpResult kXpErrInvalidHandle = 0x8206;
inline constexpr XpResult kXpErrPriority = 0x8207;

// 0x84xx memory.
inline constexpr XpResult kXpErrOutOfMemory = 0x8401;

// 0x85xx value tree.
// The property list has no root element, or a date value has no text.
inline constexpr XpResult kXpErrValueNoRoot = 0x8500;
// The element type does not support the operation.
inline constexpr XpResult kXpErrValueNotSupported = 0x8501;
// A path component or index does not exist, or is not a container.
inline constexpr XpResult kXpErrValueNotFound = 0x8502;
inline constexpr XpResult kXpErrValueParse = 0x8503;
// Wrong property-list structure.
inline constexpr XpResult kXpErrValueStructure = 0x8504;
inline constexpr XpResult kXpErrValueXmlInit = 0x8505;
inline constexpr XpResult kXpErrValueXmlDocument = 0x8506;
inline constexpr XpResult kXpErrValueUnknownType = 0x8507;
inline constexpr XpResult kXpErrValueKeyExists = 0x8508;
// The integer does not fit in 32 bits.
inline constexpr XpResult kXpErrValueNotInt32 = 0x8509;

// 0x86xx imaging.
// Imaging failure; also: the movie frame server could not be started.
inline constexpr XpResult kXpErrImaging = 0x8600;
inline constexpr XpResult kXpErrImageTagNotFound = 0x8601;  // tag missing or of another type
// No TIFF header or block; no frame from the movie frame server.
inline constexpr XpResult kXpErrImageNoTiffBlock = 0x8602;
inline constexpr XpResult kXpErrImageMalformed = 0x8603;  // malformed value, not renderable
// A bad scale divisor or region; a refused path in a batch of frames.
inline constexpr XpResult kXpErrImageBadRegion = 0x8604;
// Not supported by the format, or not available.
inline constexpr XpResult kXpErrImageNotSupported = 0x8605;
// A JPEG writer without a product name.
inline constexpr XpResult kXpErrImageNoWriterName = 0x8606;
// Stopped by the observer.
inline constexpr XpResult kXpErrImageStopped = 0x8607;
// The exchange with the movie frame server broke.
inline constexpr XpResult kXpErrImageServerBroken = 0x860A;

// 0x88xx ICC profiles.
// An ICC tag's data does not begin with its type signature.
inline constexpr XpResult kXpErrIccWrongType = 0x8801;

// 0x89xx movie properties.
inline constexpr XpResult kXpErrMovieNullOutput = 0x8901;
inline constexpr XpResult kXpErrMovieKeyNotFound = 0x8902;
inline constexpr XpResult kXpErrMovieWrongType = 0x8903;

inline constexpr bool XpSucceeded(XpResult result) { return result == kXpOk; }
inline constexpr bool XpFailed(XpResult result) { return result != kXpOk; }
