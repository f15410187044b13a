#include "camerastore/xdb/XdbRecordReads.h"

#include "camerastore/xdb/XdbHost.h"
#include "camerastore/xdb/XdbRecordScript.h"

namespace {

constexpr int32_t kReadFailed = -300;
constexpr int32_t kObjectLocal = 0;
constexpr int32_t kDateLocal = 1;
constexpr int32_t kReadLocals = 2;

void Fetch(XdbHost& host, const char* method, int32_t id) {
  host.Call(host.Master(), method, {XdbArg::Integer(id)});
  host.Store(kObjectLocal);
}

}  // namespace

int32_t XdbGetRecordFromID(int32_t id, XdbRecordBuffer* buffer) {
  return XdbBracketed({kReadFailed, kReadLocals}, [id, buffer](XdbHost& host) {
    Fetch(host, "getRecord", id);
    if (XdbIsContentObject(host, kObjectLocal)) {
      XdbReadContentObject(host, kObjectLocal, kDateLocal, &buffer->content);
    } else {
      XdbReadAlbumObject(host, kObjectLocal, kDateLocal, &buffer->album);
    }
    return 0;
  });
}

int32_t XdbGetRecordFromIDM(int32_t id, XdbContentRecord* record) {
  return XdbBracketed({kReadFailed, kReadLocals}, [id, record](XdbHost& host) {
    Fetch(host, "getRecord", id);
    XdbReadContentObject(host, kObjectLocal, kDateLocal, record);
    return 0;
  });
}

int32_t XdbGetRecordFromIDA(int32_t id, XdbAlbumRecord* record) {
  return XdbBracketed({kReadFailed, kReadLocals}, [id, record](XdbHost& host) {
    Fetch(host, "getRecordA", id);
    XdbReadAlbumObject(host, kObjectLocal, kDateLocal, record);
    return 0;
  });
}
