#include "camerastore/xdb/XdbRecordWrites.h"

#include "camerastore/xdb/XdbHost.h"
#include "camerastore/xdb/XdbRecordScript.h"

namespace {

constexpr int32_t kFlushFailed = -9999;
constexpr int32_t kAddPhotoFailed = -7;
constexpr int32_t kAddToGroupFailed = -7;
constexpr int32_t kDeletePhotoFailed = -300;
constexpr int32_t kCreateAlbumFailed = -9999;
constexpr int32_t kDeleteAlbumFailed = -300;
constexpr int32_t kUpdatePhotoFailed = -300;
constexpr int32_t kUpdateAlbumFailed = -300;
constexpr int32_t kCompactFailed = -5;
// The script's answer for a record it did not add.
constexpr int32_t kNotAdded = -1;

// Script locals of the adds and the updates.
constexpr int32_t kDateLocal = 0;
constexpr int32_t kTimeLocal = 1;
constexpr int32_t kObjectLocal = 2;
constexpr int32_t kAnswerLocal = 3;
constexpr int32_t kAddLocals = 4;
constexpr int32_t kUpdateLocals = 3;

// master.method(arguments), its result dropped.
int32_t CallMaster(int32_t failure, const char* method, std::initializer_list<XdbArg> arguments) {
  return XdbBracketed({failure}, [method, arguments](XdbHost& host) {
    host.Call(host.Master(), method, arguments);
    host.Drop();
    return 0;
  });
}

// master.method(object), the answer written to newId.
int32_t AddObject(XdbHost& host, const char* method, int32_t* newId) {
  host.Call(host.Master(), method, {XdbArg::Copy(host.LocalPlace(kObjectLocal))});
  host.Store(kAnswerLocal);
  const int32_t answer = host.LocalInteger(kAnswerLocal);
  *newId = answer;
  return answer == kNotAdded ? kNotAdded : 0;
}

}  // namespace

int32_t XdbFlush() { return CallMaster(kFlushFailed, "flush", {}); }

int32_t XdbAddPhoto(XdbContentRecord record, int32_t* newId) {
  return XdbBracketed({kAddPhotoFailed, kAddLocals}, [&record, newId](XdbHost& host) {
    XdbScriptTime(host, XdbDatePartsOf(record), kDateLocal, kTimeLocal);
    XdbNewContentObject(host, record, kTimeLocal, kObjectLocal);
    return AddObject(host, "addPhoto", newId);
  });
}

int32_t XdbAddPhotoToGroup(const char* group, int32_t contentId, int32_t groupValue) {
  return CallMaster(kAddToGroupFailed, "addPhotoToGroup",
                    {XdbArg::Text(group), XdbArg::Integer(contentId), XdbArg::Integer(groupValue)});
}

int32_t XdbDeletePhoto(int32_t contentId) {
  return CallMaster(kDeletePhotoFailed, "deletePhoto", {XdbArg::Integer(contentId)});
}

int32_t XdbCreateAlbum(XdbAlbumRecord record, int32_t* newId) {
  return XdbBracketedWithText({kCreateAlbumFailed, kAddLocals}, record.title,
                              [&record, newId](XdbHost& host, const char* title) {
                                XdbScriptTime(host, XdbDatePartsOf(record), kDateLocal, kTimeLocal);
                                XdbNewAlbumObject(host, title, record.preference, kTimeLocal, kObjectLocal);
                                return AddObject(host, "createAlbum", newId);
                              });
}

int32_t XdbDeleteAlbum(int32_t albumId) {
  return CallMaster(kDeleteAlbumFailed, "deleteAlbum", {XdbArg::Integer(albumId)});
}

int32_t XdbUpdatePhoto(int32_t contentId, XdbContentRecord record) {
  return XdbBracketed({kUpdatePhotoFailed, kUpdateLocals}, [contentId, &record](XdbHost& host) {
    XdbScriptTime(host, XdbDatePartsOf(record), kDateLocal, kTimeLocal);
    XdbNewContentObject(host, record, kTimeLocal, kObjectLocal);
    host.Call(host.Master(), "updatePhoto", {XdbArg::Integer(contentId), XdbArg::Copy(host.LocalPlace(kObjectLocal))});
    host.Drop();
    return 0;
  });
}

int32_t XdbUpdateAlbumInfo(int32_t albumId, XdbAlbumRecord record) {
  return XdbBracketedWithText({kUpdateAlbumFailed, kUpdateLocals}, record.title,
                              [albumId, &record](XdbHost& host, const char* title) {
                                XdbScriptTime(host, XdbDatePartsOf(record), kDateLocal, kTimeLocal);
                                XdbNewAlbumObject(host, title, record.preference, kTimeLocal, kObjectLocal);
                                host.Call(host.Master(), "updateAlbumInfo",
                                          {XdbArg::Integer(albumId), XdbArg::Copy(host.LocalPlace(kObjectLocal))});
                                host.Drop();
                                return 0;
                              });
}

int32_t XdbCompact() { return CallMaster(kCompactFailed, "compact", {}); }
