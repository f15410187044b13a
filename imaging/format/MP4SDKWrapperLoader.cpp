#include "imaging/format/MP4SDKWrapperLoader.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

#include "imaging/format/XpMovieDateCodes.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL;
constexpr int kParserType1 = 1;
constexpr int kParserType2 = 2;
constexpr int kSuccessMask = 0xFF;

void* OpenBesideProgramOrBySearch() {
  const XpString beside = XpFindFileBesideProgram(MP4SDKWrapperLoader::kLibraryName);
  if (!beside.IsEmpty()) {
    void* handle = ::dlopen(beside.ToMultiByte().CStr(), kOpenFlags);
    if (handle != nullptr) {
      return handle;
    }
  }
  return ::dlopen(XpString(MP4SDKWrapperLoader::kLibraryName).ToMultiByte().CStr(), kOpenFlags);
}

}  // namespace

MP4SDKWrapperLoader::MP4SDKWrapperLoader() : handle_(OpenBesideProgramOrBySearch()) {}

MP4SDKWrapperLoader::MP4SDKWrapperLoader(const std::string& libraryPath)
    : handle_(::dlopen(libraryPath.c_str(), kOpenFlags)) {}

MP4SDKWrapperLoader::~MP4SDKWrapperLoader() {
  if (handle_ != nullptr) {
    ::dlclose(handle_);
  }
}

GetMp4Type::GetMp4Type() : function_(Symbol<Function>("GetFormatType")) {}

GetMp4Type::GetMp4Type(const std::string& libraryPath)
    : MP4SDKWrapperLoader(libraryPath), function_(Symbol<Function>("GetFormatType")) {}

XpFormatKind GetMp4Type::operator()(const XpString& path) const {
  if (function_ == nullptr) {
    return kXpKindUnknown;
  }
  switch (function_(path.ToMultiByte().CStr())) {
    case kParserType1:
      return kXpKindMp4Type1;
    case kParserType2:
      return kXpKindMp4Type2;
    default:
      return kXpKindUnknown;
  }
}

const GetMp4Type& GetMp4Type::Instance() {
  static std::once_flag once;
  static std::unique_ptr<GetMp4Type> instance;
  std::call_once(once, [] { instance = std::make_unique<GetMp4Type>(); });
  return *instance;
}

GetOriginalDateTimeFromMP4::GetOriginalDateTimeFromMP4()
    : function_(Symbol<Function>("GetOriginalDateTime")) {}

GetOriginalDateTimeFromMP4::GetOriginalDateTimeFromMP4(const std::string& libraryPath)
    : MP4SDKWrapperLoader(libraryPath),
      function_(Symbol<Function>("GetOriginalDateTime")) {}

bool GetOriginalDateTimeFromMP4::operator()(const XpString& path, XpDateTime& date) const {
  if (function_ == nullptr) {
    return false;
  }
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  const int result =
      function_(path.ToMultiByte().CStr(), &year, &month, &day, &hour, &minute, &second);
  if ((result & kSuccessMask) == 0) {
    return false;
  }
  return XpSetDateFromParts(date, year, month, day, hour, minute, second);
}

const GetOriginalDateTimeFromMP4& GetOriginalDateTimeFromMP4::Instance() {
  static std::once_flag once;
  static std::unique_ptr<GetOriginalDateTimeFromMP4> instance;
  std::call_once(once, [] { instance = std::make_unique<GetOriginalDateTimeFromMP4>(); });
  return *instance;
}
