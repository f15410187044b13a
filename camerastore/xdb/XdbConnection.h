#pragma once

#include <cstdint>

#include "fsk/FskMain.h"

// The connection of the album database glue to the script runtime and its
// "dbManager" machine, and the database's open and close.
//
// The connection state (the machine and the slot that holds the Master) is
// process wide and guarded by no lock: glue calls must come from one thread
// at a time and must not overlap. Every glue function returns 0 or its own
// fixed result when the script throws; nothing leaves it by exception. With
// no machine (after XdbRuntimeStart gave -7) each bracketed function gives
// that result at once.
//
// Calling order: XdbRuntimeStart, XdbCreateMaster, XdbOpenDatabase, record
// calls and searches, XdbCloseDatabase, XdbRuntimeStop. A reopen runs
// XdbCloseDatabase, XdbCreateMaster and XdbOpenDatabase again.

inline constexpr int32_t kXdbNoMachine = -7;
inline constexpr int32_t kXdbOpened = 350;
inline constexpr int32_t kXdbNotOpened = 352;

// Starts the runtime and finds "dbManager": 0, the runtime's code, or -7
// when there is no such machine (the machine is then null).
int32_t XdbRuntimeStart();
// Makes a new Master into the master slot: 0, or -9999.
int32_t XdbCreateMaster();
// Opens the database in path, a native folder path with its closing "/",
// handed on unchanged: 350 opened (and the "guid" index asked for), 352 for
// any other answer of open, -7 when the script throws.
int32_t XdbOpenDatabase(const char16_t* path);
// Empties the result cache, then drops the "guid" index and closes: 0, or
// -9999.
int32_t XdbCloseDatabase();
// Empties the result cache and deletes the database in path: 0, or -7.
int32_t XdbDeleteDatabase(const char16_t* path);
// Forgets the master slot and stops the runtime: FskMainTerminate's result.
// The machine handle is left as it was.
int32_t XdbRuntimeStop();

// For tests: the runtime's start, replaceable (null restores
// FskMainInitialize); returns the previous one.
using XdbRuntimeInitializer = FskErr (*)(uint32_t flags, int argc, char** argv);
XdbRuntimeInitializer XdbSetRuntimeInitializer(XdbRuntimeInitializer initializer);
