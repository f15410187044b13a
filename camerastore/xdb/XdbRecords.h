#pragma once

#include <cstddef>
#include <cstdint>

// The records and the result handle that cross the album database glue.

// One picture or movie. Words 0-8 follow the C library's broken-down time;
// the glue reads and writes only seconds to yearsSince1900 and never
// weekday, dayOfYear or daylightFlag.
struct XdbContentRecord {
  int32_t seconds;
  int32_t minutes;
  int32_t hours;
  int32_t dayOfMonth;
  int32_t month;  // 0-11
  int32_t yearsSince1900;
  int32_t weekday;
  int32_t dayOfYear;
  int32_t daylightFlag;
  int32_t folderID;
  int32_t fileID;
  int32_t albumID;
  int32_t misc;          // 1 picture, 2 movie
  int32_t shareFlag;     // read back, never written by the glue
  int32_t favoriteFlag;  // read back, never written by the glue
  int32_t guid;
};

static_assert(sizeof(XdbContentRecord) == 64);

// One album. On writes title is the caller's string, only read. On reads the
// glue stores a new string from malloc there without looking at what the
// field held: callers pass title null and release the result with free.
struct XdbAlbumRecord {
  int32_t seconds;
  int32_t minutes;
  int32_t hours;
  int32_t dayOfMonth;
  int32_t month;
  int32_t yearsSince1900;
  int32_t weekday;
  int32_t dayOfYear;
  int32_t daylightFlag;
  char16_t* title;
  int32_t preference;
};

static_assert(offsetof(XdbAlbumRecord, daylightFlag) == 32);
static_assert(sizeof(char16_t*) != 8 || offsetof(XdbAlbumRecord, title) == 40);
static_assert(sizeof(char16_t*) != 8 || offsetof(XdbAlbumRecord, preference) == 48);
static_assert(sizeof(XdbAlbumRecord) <= sizeof(XdbContentRecord));

// A buffer of content-record size that a read fills with either record.
union XdbRecordBuffer {
  XdbContentRecord content;
  XdbAlbumRecord album;
};

static_assert(sizeof(XdbRecordBuffer) == sizeof(XdbContentRecord));

// A result set in the database's result cache: the runtime's 16-byte value
// record of the set. Opaque to callers; copies name the same cache entry.
struct XdbResultHandle {
  uint32_t w[4];
};

static_assert(sizeof(XdbResultHandle) == 16);
