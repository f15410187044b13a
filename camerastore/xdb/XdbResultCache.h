#pragma once

#include <cstdint>

#include "camerastore/xdb/XdbRecords.h"

// The result cache of the open album database and what is read through it
// (see XdbConnection.h for the connection and its threading rule).

// get(set).count() into *count: 0, or -9999.
int32_t XdbCount(XdbResultHandle set, int32_t* count);
// Reads record position of the set into *buffer: the content member for a
// contentMaster, else the album member (its title a new string from malloc
// that the caller releases with free; pass it null). 0, or -300 with the
// fields stored so far.
int32_t XdbGetCachedRecord(XdbResultHandle set, int32_t position, XdbRecordBuffer* buffer);

// Which member of the buffer a read of a cached record fills: none while
// the record's kind is not known (the read failed before), else the content
// or the album member.
enum class XdbRecordKind { kUnknown, kContent, kAlbum };
// XdbGetCachedRecord, telling in *kind which member it filled, even when
// the read then fails part-way.
int32_t XdbGetCachedRecordOfKind(XdbResultHandle set, int32_t position, XdbRecordBuffer* buffer,
                                 XdbRecordKind* kind);
// resultCache3.free(words), also for a handle freed already: 0, or -9999.
int32_t XdbResultFree(XdbResultHandle set);
// resultCache3.freeAll(): 0, or -9999.
int32_t XdbResultFreeAll();
// master.getLimit() into *limit: 0, or -9999.
int32_t XdbGetLimit(int32_t* limit);

// Diagnostics without a try: a script exception ends them silently.
// Calls the script's global trace with text.
void XdbTrace(const char* text);
// The script clock's time value (new Date().valueOf()) as a 32-bit integer;
// 0 when the script throws.
int32_t XdbClockProbe();
