#pragma once

#include <cstdint>
#include <vector>

#include "camerastore/xdb/XdbRecords.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

namespace XdbAccessor {

class AlbumInfo;
class ContentInfo;
class IAlbumInfo;

// An album record made from an album object. record.title points into
// title, so the record is valid while this object lives.
struct MappedAlbumRecord {
  MappedAlbumRecord() = default;
  MappedAlbumRecord(const MappedAlbumRecord&) = delete;
  MappedAlbumRecord& operator=(const MappedAlbumRecord&) = delete;

  XpString title;
  XdbAlbumRecord record{};
};

// Converts between the records of the album database glue and the layer's
// objects, and finds the file on the card that a content record stands for.
//
// The database keeps only a content's DCF folder and file numbers; the
// file is one of the names this system writes in "%03dZXDCF", else the best
// match of the DCF folders below "DCIM".
//
// Records hold local date parts, objects UTC dates. The way back is not
// exact: RecordDateToUtc subtracts the offset that UtcToLocal adds at the
// local value itself, so within an hour of a daylight-saving change the
// result can be an hour off.
class XdbRecordMapper {
 public:
  // How deep below "DCIM" the folder search goes.
  static constexpr int32_t kMaxSearchDepth = 16;

  // The root of the card's volume, with one trailing '/'; "" (nothing is
  // found) until set.
  void SetRoot(const XpString& path);
  const XpString& GetRoot() const { return root_; }

  // The three digits in front of the DCF folder suffix: characters 1-3 of
  // the last 9 characters of the directory part, read as _wtoi does.
  static uint16_t GetFolderNumber(const XpString& path);
  // The last 4 characters of the base name, read as _wtoi does.
  static uint16_t GetFileNumber(const XpString& path);

  // Writes the local parts of a UTC date into the first six words of a
  // record; the other words keep their values. False when the date has no
  // local parts, and nothing was written.
  static bool DateToRecord(const XpDateTime& date, XdbContentRecord* record);
  static bool DateToRecord(const XpDateTime& date, XdbAlbumRecord* record);
  // Turns a local time into UTC (see the class comment).
  static void RecordDateToUtc(XpDateTime& date);
  // The short date of the user's locale of a UTC date's local time.
  static XpString FormatAlbumDate(const XpDateTime& date);

  // A zeroed record with the album's title and date.
  static void MakeAlbumRecord(const IAlbumInfo& album, MappedAlbumRecord* out);
  // The same with the six date words of a content record instead.
  static void MakeAlbumRecord(const IAlbumInfo& album, const XdbContentRecord& dated, MappedAlbumRecord* out);
  // A zeroed record with the date and the DCF numbers of path; dated, when
  // given, tells whether the date words were written.
  static XdbContentRecord MakeContentRecord(const XpDateTime& date, const XpString& path, bool* dated = nullptr);

  // New objects that the caller owns; null when they cannot be allocated.
  static AlbumInfo* MakeAlbumInfo(const XdbAlbumRecord& record, int32_t id, const XpString& root);
  // The file is searched below the root; when none is found the content
  // has an empty path and kind other.
  ContentInfo* MakeContentInfo(const XdbContentRecord& record, int32_t id) const;

  // The file of a content: kXpOk with *out set, or kXpErrFileNotFound with
  // *out empty.
  [[nodiscard]] XpResult FindContentPath(int32_t folder, int32_t file, XpString* out) const;
  // Appends the DCF folders below path whose number is number, in the order
  // of preference: each "ZXDCF" at the front, then "_KAVO", then "_COPY",
  // then the others by suffix ignoring case. Symbolic links are not
  // followed and the walk ends kMaxSearchDepth levels below path.
  // kXpErrPathNotFound when path cannot be read or nothing was found.
  [[nodiscard]] static XpResult FindCandidateFolders(const XpString& path, int32_t number,
                                                     std::vector<XpString>* list);
  // The best DCF file numbered number directly in folder: kXpOk with *out,
  // or kXpErrFileNotFound.
  [[nodiscard]] static XpResult FindFileInFolder(const XpString& folder, int32_t number,
                                                 XpString* out);

 private:
  XpString root_;
};

}  // namespace XdbAccessor
