#pragma once

#include <cstdint>

#include "camerastore/xdb/XdbRecords.h"

// Searches and set operations on the open album database (see
// XdbConnection.h for the connection and its threading rule). Each that
// yields a set writes the set's handle to *out and registers the set in the
// result cache under it; the caller frees every handle it got with
// XdbResultFree, operands and results alike. On failure *out is not to be
// used: the handle is written before the set is registered. Text is
// NUL-terminated UTF-8; null passes as the script value null.

// search(field, value): 0, or -9999.
int32_t XdbSearch(const char* field, int32_t value, XdbResultHandle* out);
// search(field, value) with value as a number: 0, or -9999.
int32_t XdbSearchNumber(const char* field, double value, XdbResultHandle* out);
// search(field, null): 0, or -9999.
int32_t XdbSearchAll(const char* field, XdbResultHandle* out);
// rangeSearch(field, low, high): 0, or -9999.
int32_t XdbRangeSearch(const char* field, int32_t low, int32_t high, XdbResultHandle* out);
// rangeSearch(field, low, high) with numbers: 0, or -9999.
int32_t XdbRangeSearchNumber(const char* field, double low, double high, XdbResultHandle* out);
// searchGroup(field, value): 0, or -9999.
int32_t XdbSearchGroup(const char* field, int32_t value, XdbResultHandle* out);
// searchAlbumInfo(value): 0, or -300.
int32_t XdbSearchAlbumInfo(int32_t value, XdbResultHandle* out);
// searchPhoto(first, second): 0, or -7.
int32_t XdbSearchPhoto(int32_t first, int32_t second, XdbResultHandle* out);
// searchPhotoByYearAndMonth(first, second): 0, or -7.
int32_t XdbSearchPhotoByYearAndMonth(int32_t first, int32_t second, XdbResultHandle* out);

// set.sort(key, second): 0, or -5.
int32_t XdbSort(XdbResultHandle set, const char* key, const char* second, XdbResultHandle* out);
// first.or(second): 0, or -5. The operands stay in the cache.
int32_t XdbOr(XdbResultHandle first, XdbResultHandle second, XdbResultHandle* out);
// first.and(second): 0, or -5.
int32_t XdbAnd(XdbResultHandle first, XdbResultHandle second, XdbResultHandle* out);
// set.unique(text): 0, or -5.
int32_t XdbUnique(XdbResultHandle set, const char* text, XdbResultHandle* out);
// set.getID(position) into *id: 0, or -300 with *id as the caller left it.
int32_t XdbGetID(XdbResultHandle set, int32_t position, int32_t* id);

// removePhotoFromGroup(group, contentId, groupValue): 0, or -300.
int32_t XdbRemovePhotoFromGroup(const char* group, int32_t contentId, int32_t groupValue);
