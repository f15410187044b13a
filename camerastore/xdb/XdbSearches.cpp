#include "camerastore/xdb/XdbSearches.h"

#include "camerastore/xdb/XdbHost.h"
#include "camerastore/xdb/XdbRecordScript.h"

namespace {

constexpr int32_t kSearchFailed = -9999;
constexpr int32_t kAlbumInfoFailed = -300;
constexpr int32_t kPhotoSearchFailed = -7;
constexpr int32_t kSetOperationFailed = -5;
constexpr int32_t kGetIDFailed = -300;
constexpr int32_t kRemoveFailed = -300;

constexpr int32_t kFirstLocal = 0;
constexpr int32_t kSecondLocal = 1;
constexpr int32_t kNewSetLocal = 2;
constexpr int32_t kSetLocals = 3;

// master.method(arguments) as a new set.
int32_t Search(int32_t failure, const char* method, std::initializer_list<XdbArg> arguments, XdbResultHandle* out) {
  return XdbBracketed({failure, kSetLocals}, [method, arguments, out](XdbHost& host) {
    host.Call(host.Master(), method, arguments);
    host.Store(kNewSetLocal);
    XdbRegisterSet(host, kNewSetLocal, out);
    return 0;
  });
}

// set.method(text, second text) as a new set.
int32_t OperateWithText(const char* method, const XdbResultHandle& set, std::initializer_list<XdbArg> arguments,
                        XdbResultHandle* out) {
  return XdbBracketed({kSetOperationFailed, kSetLocals}, [method, &set, arguments, out](XdbHost& host) {
    XdbFetchSet(host, set, kFirstLocal);
    host.Call(host.LocalPlace(kFirstLocal), method, arguments);
    host.Store(kNewSetLocal);
    XdbRegisterSet(host, kNewSetLocal, out);
    return 0;
  });
}

// first.method(second) as a new set.
int32_t Combine(const char* method, const XdbResultHandle& first, const XdbResultHandle& second, XdbResultHandle* out) {
  return XdbBracketed({kSetOperationFailed, kSetLocals}, [method, &first, &second, out](XdbHost& host) {
    XdbFetchSet(host, first, kFirstLocal);
    XdbFetchSet(host, second, kSecondLocal);
    host.Call(host.LocalPlace(kFirstLocal), method, {XdbArg::Copy(host.LocalPlace(kSecondLocal))});
    host.Store(kNewSetLocal);
    XdbRegisterSet(host, kNewSetLocal, out);
    return 0;
  });
}

}  // namespace

int32_t XdbSearch(const char* field, int32_t value, XdbResultHandle* out) {
  return Search(kSearchFailed, "search", {XdbArg::Text(field), XdbArg::Integer(value)}, out);
}

int32_t XdbSearchNumber(const char* field, double value, XdbResultHandle* out) {
  return Search(kSearchFailed, "search", {XdbArg::Text(field), XdbArg::Number(value)}, out);
}

int32_t XdbSearchAll(const char* field, XdbResultHandle* out) {
  return Search(kSearchFailed, "search", {XdbArg::Text(field), XdbArg::Null()}, out);
}

int32_t XdbRangeSearch(const char* field, int32_t low, int32_t high, XdbResultHandle* out) {
  return Search(kSearchFailed, "rangeSearch", {XdbArg::Text(field), XdbArg::Integer(low), XdbArg::Integer(high)}, out);
}

int32_t XdbRangeSearchNumber(const char* field, double low, double high, XdbResultHandle* out) {
  return Search(kSearchFailed, "rangeSearch", {XdbArg::Text(field), XdbArg::Number(low), XdbArg::Number(high)}, out);
}

int32_t XdbSearchGroup(const char* field, int32_t value, XdbResultHandle* out) {
  return Search(kSearchFailed, "searchGroup", {XdbArg::Text(field), XdbArg::Integer(value)}, out);
}

int32_t XdbSearchAlbumInfo(int32_t value, XdbResultHandle* out) {
  return Search(kAlbumInfoFailed, "searchAlbumInfo", {XdbArg::Integer(value)}, out);
}

int32_t XdbSearchPhoto(int32_t first, int32_t second, XdbResultHandle* out) {
  return Search(kPhotoSearchFailed, "searchPhoto", {XdbArg::Integer(first), XdbArg::Integer(second)}, out);
}

int32_t XdbSearchPhotoByYearAndMonth(int32_t first, int32_t second, XdbResultHandle* out) {
  return Search(kPhotoSearchFailed, "searchPhotoByYearAndMonth", {XdbArg::Integer(first), XdbArg::Integer(second)},
                out);
}

int32_t XdbSort(XdbResultHandle set, const char* key, const char* second, XdbResultHandle* out) {
  return OperateWithText("sort", set, {XdbArg::Text(key), XdbArg::Text(second)}, out);
}

int32_t XdbOr(XdbResultHandle first, XdbResultHandle second, XdbResultHandle* out) {
  return Combine("or", first, second, out);
}

int32_t XdbAnd(XdbResultHandle first, XdbResultHandle second, XdbResultHandle* out) {
  return Combine("and", first, second, out);
}

int32_t XdbUnique(XdbResultHandle set, const char* text, XdbResultHandle* out) {
  return OperateWithText("unique", set, {XdbArg::Text(text)}, out);
}

int32_t XdbGetID(XdbResultHandle set, int32_t position, int32_t* id) {
  return XdbBracketed({kGetIDFailed, kSetLocals}, [&set, position, id](XdbHost& host) {
    XdbFetchSet(host, set, kFirstLocal);
    host.Call(host.LocalPlace(kFirstLocal), "getID", {XdbArg::Integer(position)});
    *id = host.PopInteger();
    return 0;
  });
}

int32_t XdbRemovePhotoFromGroup(const char* group, int32_t contentId, int32_t groupValue) {
  return XdbBracketed({kRemoveFailed}, [group, contentId, groupValue](XdbHost& host) {
    host.Call(host.Master(), "removePhotoFromGroup",
              {XdbArg::Text(group), XdbArg::Integer(contentId), XdbArg::Integer(groupValue)});
    host.Drop();
    return 0;
  });
}
