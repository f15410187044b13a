#pragma once

#include <cstdint>

#include "camerastore/xdb/XdbRecords.h"

// Record reads from the open album database (see XdbConnection.h for the
// connection and its threading rule). Each fills the caller's record field
// by field and returns 0, or -300 when the script throws or an album title
// cannot be converted; the fields stored by then keep their new values and
// the others what the caller had in them.
//
// An album's title is a new string from malloc, stored without looking at
// what the field held: callers pass title null and release what they get
// with free (also after -300, when the title was stored before the failure).

// Fills buffer->content when the record is a contentMaster, else
// buffer->album, whose bytes past it are not touched.
int32_t XdbGetRecordFromID(int32_t id, XdbRecordBuffer* buffer);
// Reads the record as a content, without a type test.
int32_t XdbGetRecordFromIDM(int32_t id, XdbContentRecord* record);
// Reads an album with getRecordA.
int32_t XdbGetRecordFromIDA(int32_t id, XdbAlbumRecord* record);
