#include "camerastore/xdb/XdbResultCache.h"

#include "camerastore/xdb/XdbHost.h"
#include "camerastore/xdb/XdbRecordScript.h"

namespace {

constexpr int32_t kCountFailed = -9999;
constexpr int32_t kRecordFailed = -300;
constexpr int32_t kFreeFailed = -9999;
constexpr int32_t kFreeAllFailed = -9999;
constexpr int32_t kLimitFailed = -9999;
constexpr int32_t kNoValue = 0;

const char* const kResultCache = "resultCache3";

constexpr int32_t kSetLocal = 0;
constexpr int32_t kRecordLocal = 1;
constexpr int32_t kDateLocal = 2;
constexpr int32_t kRecordLocals = 3;
constexpr int32_t kCountLocals = 1;

// A bracket without a try: an exception ends it with the current result.
template <typename Body>
int32_t Untried(Body&& body) {
  FskMachine* machine = XdbConnectionMachine();
  if (machine == nullptr) {
    return kNoValue;
  }
  int32_t result = kNoValue;
  try {
    XdbHost host(machine);
    result = body(host);
  } catch (...) {
  }
  return result;
}

}  // namespace

int32_t XdbCount(XdbResultHandle set, int32_t* count) {
  return XdbBracketed({kCountFailed, kCountLocals}, [&set, count](XdbHost& host) {
    XdbFetchSet(host, set, kSetLocal);
    host.Call(host.LocalPlace(kSetLocal), "count", {});
    *count = host.PopInteger();
    return 0;
  });
}

int32_t XdbGetCachedRecord(XdbResultHandle set, int32_t position, XdbRecordBuffer* buffer) {
  XdbRecordKind kind = XdbRecordKind::kUnknown;
  return XdbGetCachedRecordOfKind(set, position, buffer, &kind);
}

int32_t XdbGetCachedRecordOfKind(XdbResultHandle set, int32_t position, XdbRecordBuffer* buffer,
                                 XdbRecordKind* kind) {
  *kind = XdbRecordKind::kUnknown;
  return XdbBracketed({kRecordFailed, kRecordLocals}, [&set, position, buffer, kind](XdbHost& host) {
    XdbFetchSet(host, set, kSetLocal);
    host.Call(host.LocalPlace(kSetLocal), "getRecord", {XdbArg::Integer(position)});
    host.Store(kRecordLocal);
    if (XdbIsContentObject(host, kRecordLocal)) {
      *kind = XdbRecordKind::kContent;
      XdbReadContentObject(host, kRecordLocal, kDateLocal, &buffer->content);
    } else {
      *kind = XdbRecordKind::kAlbum;
      XdbReadAlbumObject(host, kRecordLocal, kDateLocal, &buffer->album);
    }
    return 0;
  });
}

int32_t XdbResultFree(XdbResultHandle set) {
  return XdbBracketed({kFreeFailed}, [&set](XdbHost& host) {
    XdbFreeSet(host, set);
    return 0;
  });
}

int32_t XdbResultFreeAll() {
  return XdbBracketed({kFreeAllFailed}, [](XdbHost& host) {
    host.Call(host.MasterProperty(kResultCache), "freeAll", {});
    host.Drop();
    return 0;
  });
}

int32_t XdbGetLimit(int32_t* limit) {
  return XdbBracketed({kLimitFailed}, [limit](XdbHost& host) {
    host.Call(host.Master(), "getLimit", {});
    *limit = host.PopInteger();
    return 0;
  });
}

void XdbTrace(const char* text) {
  (void)Untried([text](XdbHost& host) {
    host.Call(host.Global(), "trace", {XdbArg::Text(text)});
    host.Drop();
    return kNoValue;
  });
}

int32_t XdbClockProbe() {
  return Untried([](XdbHost& host) {
    host.New(host.Global(), "Date", {});
    host.Call(XdbPlace{fxTop(host.Machine()), nullptr, nullptr}, "valueOf", {});
    const int32_t time = host.PopInteger();
    host.Drop();
    return time;
  });
}
