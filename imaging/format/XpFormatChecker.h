#pragma once

#include <cstdint>
#include <vector>

#include "imaging/format/XpFormatKind.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

class XpAbstractFSObj;

// Tells the format kind of a file and when its picture or movie was shot.
// Every operation is static; failures to open or read a file give
// kXpKindUnknown or false, never an error.
class XpFormatChecker {
 public:
  virtual ~XpFormatChecker() = default;

  // The kind judged by the name alone: kXpKindDirectory for an existing
  // folder or an empty path, else the kind of the last component's
  // extension, compared without case; kXpKindUnknown for any other
  // extension or none. Opens no file.
  static XpFormatKind KindFromExtension(const XpString& path);
  // The kind of the last component's extension alone, compared without
  // case; kXpKindUnknown for any other extension or none. Looks at nothing
  // on disk, so a folder is judged by its name too.
  static XpFormatKind KindFromName(const XpString& path);

  // True for ".jpg", ".jpeg", ".jpe" and ".thm", compared without case.
  static bool IsJpegExtension(const XpString& path);

  // The kind judged by name and content: kXpKindDirectory first, then the
  // extension's content test; kXpKindUnknown when a test fails.
  static XpFormatKind DetectFormatKind(const XpString& path);

  // The recording date of a picture or movie by its content kind; false,
  // date untouched, when none was read.
  static bool GetShootingDate(const XpString& path, XpDateTime& date);
  // The date that orders files: the modification time, or a picture's Exif
  // DateTime when that is exactly one second from it. Always true; date is
  // untouched when the file has no times.
  static bool GetFileDate(const XpString& path, XpDateTime& date);
  // One Exif date tag of IFD 0 or its sub-IFDs, read by the reader for the
  // picture kind.
  static bool ReadTagDate(const XpString& path, XpFormatKind kind, uint16_t tag,
                          XpDateTime& date);
  // Any output may be null. kXpErrBadArgument for a null path,
  // kXpErrFileNotFound when the file cannot be examined.
  [[nodiscard]] static XpResult GetFileTimes(const char16_t* path, XpDateTime* created,
                                             XpDateTime* modified, XpDateTime* accessed);

  // Append to list the kinds that can be shown, given the movie plug-ins
  // of the folder.
  static void GetSupportedKinds(std::vector<XpFormatKind>& list, const XpString& pluginFolder);
  // Of kinds, in order: the still kinds always, the movie kinds that a
  // plug-in supports; every other kind is dropped.
  static void FilterSupportedKinds(const std::vector<XpFormatKind>& kinds,
                                   std::vector<XpFormatKind>& list, const XpString& pluginFolder);
  // The movie kinds some plug-in can analyse, computed once per process
  // (the first call's folder wins) and appended to list on every call.
  static void GetAnalyzableMovieKinds(std::vector<XpFormatKind>& list,
                                      const XpString& pluginFolder);
  // For tests: the next GetAnalyzableMovieKinds computes the list again.
  static void ResetAnalyzableKindsForTest();

  // False for null and for the entries "." and "..", true for other
  // entries.
  static bool IsListableEntry(const XpAbstractFSObj* entry);

  // The container readers.
  static bool ReadDvAviDate(const XpString& path, XpDateTime& date);
  static bool ReadAviIditDate(const XpString& path, XpDateTime& date);
  static bool ReadPsDate(const XpString& path, XpDateTime& date);
  static bool ReadTsDate(const XpString& path, XpDateTime& date);
  static bool FindTsPacketSize(const XpString& path, uint64_t& packetSize, uint64_t& start);
  static XpFormatKind DetectTsKind(const XpString& path);
};
