#include "camerastore/xdb/XdbRecordScript.h"

#include "camerastore/xdb/XdbText.h"

namespace {

constexpr int32_t kYearBase = 1900;

// Where a read puts the date words, in the order they are read.
struct DateTargets {
  int32_t* yearsSince1900;
  int32_t* month;
  int32_t* dayOfMonth;
  int32_t* hours;
  int32_t* minutes;
  int32_t* seconds;
};

template <typename Record>
DateTargets TargetsOf(Record* record) {
  return {&record->yearsSince1900, &record->month,   &record->dayOfMonth,
          &record->hours,          &record->minutes, &record->seconds};
}

int32_t CallGetter(XdbHost& host, int32_t dateLocal, const char* getter) {
  host.Call(host.LocalPlace(dateLocal), getter, {});
  return host.PopInteger();
}

void ReadDate(XdbHost& host, int32_t objectLocal, const char* property, int32_t dateLocal, const DateTargets& targets) {
  host.New(host.Global(), "Date", {XdbArg::Copy(host.LocalProperty(objectLocal, property))});
  host.Store(dateLocal);
  *targets.yearsSince1900 = CallGetter(host, dateLocal, "getUTCFullYear") - kYearBase;
  *targets.month = CallGetter(host, dateLocal, "getUTCMonth");
  *targets.dayOfMonth = CallGetter(host, dateLocal, "getUTCDate");
  *targets.hours = CallGetter(host, dateLocal, "getUTCHours");
  *targets.minutes = CallGetter(host, dateLocal, "getUTCMinutes");
  *targets.seconds = CallGetter(host, dateLocal, "getUTCSeconds");
}

int32_t ReadInteger(XdbHost& host, int32_t objectLocal, const char* property) {
  host.Read(host.LocalProperty(objectLocal, property));
  return host.PopInteger();
}

}  // namespace

void XdbScriptTime(XdbHost& host, const XdbDateParts& parts, int32_t dateLocal, int32_t timeLocal) {
  host.New(host.Global(), "Date", {});
  host.Store(dateLocal);
  host.Call(host.LocalPlace(dateLocal), "setUTCHours",
            {XdbArg::Integer(parts.hours), XdbArg::Integer(parts.minutes), XdbArg::Integer(parts.seconds),
             XdbArg::Integer(0)});
  host.Drop();
  host.Call(host.LocalPlace(dateLocal), "setUTCFullYear",
            {XdbArg::Integer(parts.yearsSince1900 + kYearBase), XdbArg::Integer(parts.month),
             XdbArg::Integer(parts.dayOfMonth)});
  host.Drop();
  host.Call(host.LocalPlace(dateLocal), "valueOf", {});
  host.Store(timeLocal);
}

void XdbNewContentObject(XdbHost& host, const XdbContentRecord& record, int32_t timeLocal, int32_t objectLocal) {
  host.New(host.GlobalProperty("dbManager"), "ContentMaster",
           {XdbArg::Copy(host.LocalPlace(timeLocal)), XdbArg::Integer(record.folderID), XdbArg::Integer(record.fileID),
            XdbArg::Integer(record.albumID), XdbArg::Integer(record.misc), XdbArg::Integer(record.guid)});
  host.Store(objectLocal);
}

void XdbNewAlbumObject(XdbHost& host, const char* title, int32_t preference, int32_t timeLocal, int32_t objectLocal) {
  host.New(host.GlobalProperty("dbManager"), "ContentAlbumInfo",
           {XdbArg::Copy(host.LocalPlace(timeLocal)), XdbArg::Text(title), XdbArg::Integer(preference)});
  host.Store(objectLocal);
}

bool XdbIsContentObject(XdbHost& host, int32_t objectLocal) {
  return host.IsInstance(host.LocalPlace(objectLocal), host.GlobalProperty("dbManager", "contentMaster"));
}

void XdbReadContentObject(XdbHost& host, int32_t objectLocal, int32_t dateLocal, XdbContentRecord* record) {
  ReadDate(host, objectLocal, "date", dateLocal, TargetsOf(record));
  record->folderID = ReadInteger(host, objectLocal, "folderID");
  record->fileID = ReadInteger(host, objectLocal, "fileID");
  record->albumID = ReadInteger(host, objectLocal, "albumID");
  record->misc = ReadInteger(host, objectLocal, "misc");
  record->shareFlag = ReadInteger(host, objectLocal, "shareFlag");
  record->favoriteFlag = ReadInteger(host, objectLocal, "favoriteFlag");
  record->guid = ReadInteger(host, objectLocal, "guid");
}

void XdbReadAlbumObject(XdbHost& host, int32_t objectLocal, int32_t dateLocal, XdbAlbumRecord* record) {
  ReadDate(host, objectLocal, "albumDate", dateLocal, TargetsOf(record));
  host.Read(host.LocalProperty(objectLocal, "title"));
  char16_t* title = nullptr;
  const int32_t converted = XdbFromUtf8(fxToString(host.Machine(), fxTop(host.Machine())), &title);
  host.Drop();
  if (converted != 0) {
    throw XdbAbort{};
  }
  record->title = title;
  record->preference = ReadInteger(host, objectLocal, "preference");
}

namespace {

const char* const kResultCache = "resultCache3";

XdbArg Word(const XdbResultHandle& handle, int index) { return XdbArg::Integer(static_cast<int32_t>(handle.w[index])); }

}  // namespace

void XdbFetchSet(XdbHost& host, const XdbResultHandle& handle, int32_t setLocal) {
  host.Call(host.MasterProperty(kResultCache), "get",
            {Word(handle, 0), Word(handle, 1), Word(handle, 2), Word(handle, 3)});
  host.Store(setLocal);
}

void XdbRegisterSet(XdbHost& host, int32_t setLocal, XdbResultHandle* handle) {
  fxGetValueRecord(host.Machine(), host.Local(setLocal), handle->w);
  host.Call(host.MasterProperty(kResultCache), "push",
            {Word(*handle, 0), Word(*handle, 1), Word(*handle, 2), Word(*handle, 3),
             XdbArg::Copy(host.LocalPlace(setLocal))});
  host.Drop();
}

void XdbFreeSet(XdbHost& host, const XdbResultHandle& handle) {
  host.Call(host.MasterProperty(kResultCache), "free",
            {Word(handle, 0), Word(handle, 1), Word(handle, 2), Word(handle, 3)});
  host.Drop();
}
