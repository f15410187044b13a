#pragma once

#include <cstdint>

#include "camerastore/xdb/XdbRecords.h"

// Record writes on the open album database (see XdbConnection.h for the
// connection and its threading rule). Each returns 0 or its fixed result
// when the script throws.

// Flushes the database: 0, or -9999.
int32_t XdbFlush();
// Adds a content; shareFlag and favoriteFlag are not passed on. newId gets
// the script's answer whenever addPhoto answered (every answer but -1 is an
// identifier, 0 and -2 included). 0, -1 when the answer was -1, or -7 with
// newId unwritten.
int32_t XdbAddPhoto(XdbContentRecord record, int32_t* newId);
// Puts a content into group (narrow text, passed unchanged): 0, or -7.
int32_t XdbAddPhotoToGroup(const char* group, int32_t contentId, int32_t groupValue);
// 0, or -300.
int32_t XdbDeletePhoto(int32_t contentId);
// Adds an album; as XdbAddPhoto, with -9999 when the script throws.
int32_t XdbCreateAlbum(XdbAlbumRecord record, int32_t* newId);
// 0, or -300.
int32_t XdbDeleteAlbum(int32_t albumId);
// 0, or -300.
int32_t XdbUpdatePhoto(int32_t contentId, XdbContentRecord record);
// 0, or -300.
int32_t XdbUpdateAlbumInfo(int32_t albumId, XdbAlbumRecord record);
// 0, or -5.
int32_t XdbCompact();
