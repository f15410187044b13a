#pragma once

#include <string>

#include "imaging/format/XpFormatKind.h"
#include "platform/process/XpLookUpFunction.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// The outside MP4 parser, libParseMP4.so, loaded once per process: from the
// program's folder, else by the default search. A failed load is not
// retried; without the library every MP4 file is unknown and undated.
class MP4SDKWrapperLoader {
 public:
  static constexpr const char16_t* kLibraryName = u"libParseMP4.so";

  // Loads the library beside the program, else by its bare name.
  MP4SDKWrapperLoader();
  // Loads the library at path only.
  explicit MP4SDKWrapperLoader(const std::string& libraryPath);
  MP4SDKWrapperLoader(const MP4SDKWrapperLoader&) = delete;
  MP4SDKWrapperLoader& operator=(const MP4SDKWrapperLoader&) = delete;
  virtual ~MP4SDKWrapperLoader();

  bool IsLoaded() const { return handle_ != nullptr; }

 protected:
  // An exported function; null without library or export.
  template <typename Function>
  Function Symbol(const char* name) const {
    return XpLookUpFunction<Function>(handle_, name);
  }

 private:
  void* handle_ = nullptr;
};

// GetFormatType of the library: 1 gives kXpKindMp4Type1, 2 kXpKindMp4Type2,
// anything else kXpKindUnknown.
class GetMp4Type : public MP4SDKWrapperLoader {
 public:
  GetMp4Type();
  explicit GetMp4Type(const std::string& libraryPath);

  XpFormatKind operator()(const XpString& path) const;

  // The process-wide object, made on first use.
  static const GetMp4Type& Instance();

 private:
  using Function = int (*)(const char* path);
  Function function_ = nullptr;
};

// GetOriginalDateTime of the library: the movie's local creation time.
class GetOriginalDateTimeFromMP4 : public MP4SDKWrapperLoader {
 public:
  GetOriginalDateTimeFromMP4();
  explicit GetOriginalDateTimeFromMP4(const std::string& libraryPath);

  // True, and date set, when the library read a date that forms a valid
  // one; date untouched otherwise.
  bool operator()(const XpString& path, XpDateTime& date) const;

  static const GetOriginalDateTimeFromMP4& Instance();

 private:
  using Function = int (*)(const char* path, uint16_t* year, uint16_t* month, uint16_t* day,
                           uint16_t* hour, uint16_t* minute, uint16_t* second);
  Function function_ = nullptr;
};
