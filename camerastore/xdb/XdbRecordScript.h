#pragma once

#include <cstdint>

#include "camerastore/xdb/XdbHost.h"
#include "camerastore/xdb/XdbRecords.h"

// How records cross into script objects and back, field by field. Dates map
// onto a script Date's UTC fields without any time-zone arithmetic; weekday,
// dayOfYear and daylightFlag are neither read nor written. Each call may
// throw (FskException, XdbAbort).

// The date words of a record as the script sees them.
struct XdbDateParts {
  int32_t seconds;
  int32_t minutes;
  int32_t hours;
  int32_t dayOfMonth;
  int32_t month;
  int32_t yearsSince1900;
};

template <typename Record>
XdbDateParts XdbDatePartsOf(const Record& record) {
  return {record.seconds, record.minutes, record.hours, record.dayOfMonth, record.month, record.yearsSince1900};
}

// Makes a Date in local dateLocal from parts and stores its time value in
// local timeLocal.
void XdbScriptTime(XdbHost& host, const XdbDateParts& parts, int32_t dateLocal, int32_t timeLocal);

// Constructs dbManager.ContentMaster or dbManager.ContentAlbumInfo from a
// record, with the time value held in local timeLocal, into local
// objectLocal.
void XdbNewContentObject(XdbHost& host, const XdbContentRecord& record, int32_t timeLocal, int32_t objectLocal);
void XdbNewAlbumObject(XdbHost& host, const char* title, int32_t preference, int32_t timeLocal, int32_t objectLocal);

// Whether the object in local objectLocal is a dbManager.contentMaster.
bool XdbIsContentObject(XdbHost& host, int32_t objectLocal);

// Fill a record from the object in local objectLocal, each field as soon as
// it is converted; local dateLocal holds the Date. The album title is a new
// string from malloc; a title that cannot be converted throws XdbAbort.
void XdbReadContentObject(XdbHost& host, int32_t objectLocal, int32_t dateLocal, XdbContentRecord* record);
void XdbReadAlbumObject(XdbHost& host, int32_t objectLocal, int32_t dateLocal, XdbAlbumRecord* record);

// Result sets. Fetches the set that the result cache holds under handle into
// local setLocal (resultCache3.get).
void XdbFetchSet(XdbHost& host, const XdbResultHandle& handle, int32_t setLocal);
// Writes the value record of the set in local setLocal to *handle, then
// registers the set under it (resultCache3.push).
void XdbRegisterSet(XdbHost& host, int32_t setLocal, XdbResultHandle* handle);
// Drops the set registered under handle (resultCache3.free).
void XdbFreeSet(XdbHost& host, const XdbResultHandle& handle);
