#include "camerastore/xdb/XdbRecordMapper.h"

#include <new>

#include "camerastore/xdb/AlbumInfo.h"
#include "camerastore/xdb/ContentInfo.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/time/XpDateTimeSpan.h"
#include "platform/value/XpIniPath.h"

namespace XdbAccessor {

namespace {

const char16_t* const kPictureRoot = u"DCIM";
const char16_t* const kOwnSuffix = u"ZXDCF";
const char16_t* const kKavoSuffix = u"_KAVO";
const char16_t* const kCopySuffix = u"_COPY";
const char16_t* const kPicturePrefix = u"DSC0";
const char16_t* const kQmvPicturePrefix = u"QMVS";
const char16_t* const kMoviePrefix = u"MOV0";
const char16_t* const kQmvMoviePrefix = u"QMVM";
const char16_t* const kPictureExtension = u".JPG";
const char16_t* const kMovieExtension = u".MPG";
const char16_t* const kPictureName = u"%s%s%04d.JPG";
const char16_t* const kMovieName = u"%s%s%04d.MPG";

constexpr int32_t kYearBase = 1900;
constexpr int32_t kFolderNameLength = 8;
constexpr int32_t kSuffixLength = 5;
constexpr int32_t kFolderDigitsWindow = 9;
constexpr int32_t kFolderDigits = 3;
constexpr int32_t kBaseNameLength = 8;
constexpr int32_t kPrefixLength = 4;
constexpr int32_t kFileDigits = 4;
constexpr int32_t kExtensionLength = 4;

bool SameNoCase(const XpString& a, const char16_t* b) { return a.CompareNoCase(b) == 0; }

uint16_t ReadNumber(std::u16string_view digits) { return static_cast<uint16_t>(XpIniParseIndex(digits)); }

std::u16string_view LeftOf(std::u16string_view text, size_t count) { return text.substr(0, count); }

std::u16string_view RightOf(std::u16string_view text, size_t count) {
  return count >= text.size() ? text : text.substr(text.size() - count);
}

// The folder part (with its last separator) and the base name of a path, cut
// as XpPathSplit cuts them, without copies.
struct PathParts {
  std::u16string_view folder;
  std::u16string_view baseName;
};

PathParts SplitPath(std::u16string_view path) {
  constexpr auto kNone = std::u16string_view::npos;
  if (path.size() > 1 && path.back() == kXpPathSeparator) {
    path.remove_suffix(1);
  }
  const size_t separator = path.rfind(kXpPathSeparator);
  const size_t nameStart = separator == kNone ? 0 : separator + 1;
  size_t dot = path.rfind(u'.');
  if (dot != kNone && separator != kNone && dot < separator) {
    dot = kNone;
  }
  return {path.substr(0, nameStart),
          dot == kNone ? path.substr(nameStart) : path.substr(nameStart, dot - nameStart)};
}

template <typename Record>
bool WriteLocalParts(const XpDateTime& date, Record* record) {
  XpDateTime local = date;
  if (!local.UtcToLocal()) {
    return false;
  }
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  if (!local.GetParts(&year, &month, &day, &hour, &minute, &second, nullptr)) {
    return false;
  }
  record->seconds = second;
  record->minutes = minute;
  record->hours = hour;
  record->dayOfMonth = day;
  record->month = month - 1;
  record->yearsSince1900 = year - kYearBase;
  return true;
}

template <typename Record>
XpDateTime UtcOfRecord(const Record& record) {
  XpDateTime date;
  date.SetDateTime(record.yearsSince1900 + kYearBase, record.month + 1, record.dayOfMonth, record.hours,
                   record.minutes, record.seconds);
  XdbRecordMapper::RecordDateToUtc(date);
  return date;
}

int32_t KindOfPath(const XpString& path) {
  if (path.GetLength() < kExtensionLength) {
    return kContentOther;
  }
  const XpString extension = path.Right(kExtensionLength);
  if (SameNoCase(extension, kPictureExtension)) {
    return kContentPicture;
  }
  return SameNoCase(extension, kMovieExtension) ? kContentMovie : kContentOther;
}

// A DCF folder found by the walk, with its suffix.
struct CandidateFolder {
  XpString path;
  XpString suffix;
};

// The order of preference of folder suffixes.
constexpr int32_t kOwnRank = 0;
constexpr int32_t kKavoRank = 1;
constexpr int32_t kCopyRank = 2;
constexpr int32_t kOtherRank = 3;

int32_t SuffixRank(const XpString& suffix) {
  if (SameNoCase(suffix, kOwnSuffix)) {
    return kOwnRank;
  }
  if (SameNoCase(suffix, kKavoSuffix)) {
    return kKavoRank;
  }
  return SameNoCase(suffix, kCopySuffix) ? kCopyRank : kOtherRank;
}

// Whether folder found goes before entry.
bool GoesBefore(const XpString& suffix, int32_t rank, const CandidateFolder& entry) {
  const int32_t entryRank = SuffixRank(entry.suffix);
  if (rank < kOtherRank) {
    return entryRank >= rank;
  }
  return entryRank == kOtherRank && entry.suffix.CompareNoCase(suffix.CStr()) > 0;
}

void InsertCandidate(std::vector<CandidateFolder>* list, const XpString& path, const XpString& suffix) {
  const int32_t rank = SuffixRank(suffix);
  auto at = list->begin();
  while (at != list->end() && !GoesBefore(suffix, rank, *at)) {
    ++at;
  }
  list->insert(at, CandidateFolder{path, suffix});
}

// Walks the folders below path, depth levels below the search's start;
// false when path cannot be enumerated.
bool WalkFolders(const XpString& path, const XpString& number, int32_t depth, std::vector<CandidateFolder>* list) {
  XpDir dir(path);
  if (dir.BeginEnum(kXpEnumAll, XpString()) != kXpOk) {
    return false;
  }
  for (XpSharedPtr<XpAbstractFSObj> entry = dir.GetNext(); entry.Get() != nullptr; entry = dir.GetNext()) {
    if (!entry->IsDirectory()) {
      continue;
    }
    const XpString child = entry->GetPath();
    const XpString name = XpPathGetLeafName(child);
    if (name.GetLength() == kFolderNameLength && SameNoCase(name.Left(kFolderDigits), number.CStr())) {
      InsertCandidate(list, child, name.Right(kSuffixLength));
    }
    if (depth + 1 < XdbRecordMapper::kMaxSearchDepth) {
      WalkFolders(child, number, depth + 1, list);
    }
  }
  (void)dir.EndEnum();
  return true;
}

// The best DCF file so far in a folder.
struct BestFile {
  XpString path;
  XpString prefix;
  bool picture = false;
};

enum class Pick { kSkip, kTake, kTakeAndStop };

bool IsPrefix(const XpString& prefix, const char16_t* name) { return SameNoCase(prefix, name); }

// The rules for a candidate while the best so far is a picture.
Pick PickAfterPicture(const BestFile& best, const XpString& prefix, bool picture) {
  if (!picture) {
    return Pick::kSkip;
  }
  if (IsPrefix(prefix, kPicturePrefix)) {
    return Pick::kTakeAndStop;
  }
  if (IsPrefix(prefix, kQmvPicturePrefix)) {
    return Pick::kTake;
  }
  const bool better = !IsPrefix(best.prefix, kQmvPicturePrefix) && best.prefix.CompareNoCase(prefix.CStr()) > 0;
  return better ? Pick::kTake : Pick::kSkip;
}

// The rules for a candidate while the best so far is a movie.
Pick PickAfterMovie(const BestFile& best, const XpString& prefix, bool picture) {
  if (picture) {
    return IsPrefix(prefix, kPicturePrefix) ? Pick::kTakeAndStop : Pick::kTake;
  }
  const bool bestIsMovie = IsPrefix(best.prefix, kMoviePrefix);
  if (IsPrefix(prefix, kMoviePrefix)) {
    return Pick::kTake;
  }
  if (IsPrefix(prefix, kQmvMoviePrefix)) {
    return bestIsMovie ? Pick::kSkip : Pick::kTake;
  }
  const bool better =
      !bestIsMovie && !IsPrefix(best.prefix, kQmvMoviePrefix) && best.prefix.CompareNoCase(prefix.CStr()) > 0;
  return better ? Pick::kTake : Pick::kSkip;
}

Pick PickFile(const BestFile& best, const XpString& prefix, bool picture) {
  if (best.path.IsEmpty()) {
    return IsPrefix(prefix, kPicturePrefix) ? Pick::kTakeAndStop : Pick::kTake;
  }
  return best.picture ? PickAfterPicture(best, prefix, picture) : PickAfterMovie(best, prefix, picture);
}

}  // namespace

void XdbRecordMapper::SetRoot(const XpString& path) {
  root_ = path;
  if (root_.IsEmpty()) {
    return;
  }
  int32_t length = root_.GetLength();
  while (length > 0 && *root_.CharPtr(length - 1) == kXpPathSeparator) {
    --length;
  }
  root_ = root_.Left(length);
  root_ += kXpPathSeparator;
}

uint16_t XdbRecordMapper::GetFolderNumber(const XpString& path) {
  return ReadNumber(LeftOf(RightOf(SplitPath(path.View()).folder, kFolderDigitsWindow), kFolderDigits));
}

uint16_t XdbRecordMapper::GetFileNumber(const XpString& path) {
  return ReadNumber(RightOf(SplitPath(path.View()).baseName, kFileDigits));
}

bool XdbRecordMapper::DateToRecord(const XpDateTime& date, XdbContentRecord* record) {
  return WriteLocalParts(date, record);
}

bool XdbRecordMapper::DateToRecord(const XpDateTime& date, XdbAlbumRecord* record) {
  return WriteLocalParts(date, record);
}

void XdbRecordMapper::RecordDateToUtc(XpDateTime& date) {
  XpDateTime local = date;
  if (!local.UtcToLocal()) {
    return;
  }
  const XpDateTimeSpan offset = local - date;
  date -= offset;
}

XpString XdbRecordMapper::FormatAlbumDate(const XpDateTime& date) {
  XpDateTime local = date;
  local.UtcToLocal();
  return local.FormatDate(0);
}

void XdbRecordMapper::MakeAlbumRecord(const IAlbumInfo& album, MappedAlbumRecord* out) {
  out->title = album.GetTitle();
  out->record = XdbAlbumRecord{};
  // Writes only read the title.
  out->record.title = const_cast<char16_t*>(out->title.CStr());
  DateToRecord(album.GetDate(), &out->record);
}

void XdbRecordMapper::MakeAlbumRecord(const IAlbumInfo& album, const XdbContentRecord& dated, MappedAlbumRecord* out) {
  out->title = album.GetTitle();
  out->record = XdbAlbumRecord{};
  out->record.title = const_cast<char16_t*>(out->title.CStr());
  out->record.seconds = dated.seconds;
  out->record.minutes = dated.minutes;
  out->record.hours = dated.hours;
  out->record.dayOfMonth = dated.dayOfMonth;
  out->record.month = dated.month;
  out->record.yearsSince1900 = dated.yearsSince1900;
}

XdbContentRecord XdbRecordMapper::MakeContentRecord(const XpDateTime& date, const XpString& path, bool* dated) {
  XdbContentRecord record{};
  const bool written = DateToRecord(date, &record);
  if (dated != nullptr) {
    *dated = written;
  }
  record.fileID = GetFileNumber(path);
  record.folderID = GetFolderNumber(path);
  return record;
}

AlbumInfo* XdbRecordMapper::MakeAlbumInfo(const XdbAlbumRecord& record, int32_t id, const XpString& root) {
  try {
    AlbumData data;
    data.id = id;
    data.title = record.title;
    data.date = UtcOfRecord(record);
    return new (std::nothrow) AlbumInfo(data, root);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

ContentInfo* XdbRecordMapper::MakeContentInfo(const XdbContentRecord& record, int32_t id) const {
  try {
    ContentData data;
    data.date = UtcOfRecord(record);
    (void)FindContentPath(record.folderID, record.fileID, &data.path);
    data.kind = KindOfPath(data.path);
    data.shareFlags = record.shareFlag >> 1;
    data.favorite = record.favoriteFlag >> 1;
    data.guid = record.guid;
    data.albumId = record.albumID;
    data.id = id;
    return new (std::nothrow) ContentInfo(data);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

XpResult XdbRecordMapper::FindContentPath(int32_t folder, int32_t file, XpString* out) const {
  *out = XpString();
  if (root_.IsEmpty()) {
    return kXpErrFileNotFound;
  }
  XpString folderPath;
  if (folderPath.Format(u"%s%s/%03d%s/", root_, kPictureRoot, folder, kOwnSuffix) != kXpOk) {
    return kXpErrFileNotFound;
  }
  struct FixedName {
    const char16_t* format;
    const char16_t* prefix;
  };
  const FixedName fixedNames[] = {{kPictureName, kQmvPicturePrefix},
                                  {kPictureName, kPicturePrefix},
                                  {kMovieName, kMoviePrefix},
                                  {kMovieName, kQmvMoviePrefix}};
  for (const FixedName& fixed : fixedNames) {
    XpString candidate;
    if (candidate.Format(fixed.format, folderPath, fixed.prefix, file) == kXpOk && XpFileExists(candidate)) {
      *out = candidate;
      return kXpOk;
    }
  }
  std::vector<XpString> folders;
  if (FindCandidateFolders(root_ + kPictureRoot, folder, &folders) != kXpOk) {
    return kXpErrFileNotFound;
  }
  for (const XpString& candidateFolder : folders) {
    if (FindFileInFolder(candidateFolder, file, out) == kXpOk) {
      return kXpOk;
    }
  }
  *out = XpString();
  return kXpErrFileNotFound;
}

XpResult XdbRecordMapper::FindCandidateFolders(const XpString& path, int32_t number, std::vector<XpString>* list) {
  XpString digits;
  if (digits.Format(u"%03d", number) != kXpOk) {
    return kXpErrPathNotFound;
  }
  std::vector<CandidateFolder> found;
  if (!WalkFolders(path, digits, 0, &found) || found.empty()) {
    return kXpErrPathNotFound;
  }
  for (const CandidateFolder& folder : found) {
    list->push_back(folder.path);
  }
  return kXpOk;
}

XpResult XdbRecordMapper::FindFileInFolder(const XpString& folder, int32_t number, XpString* out) {
  XpString digits;
  XpDir dir(folder);
  if (digits.Format(u"%04d", number) != kXpOk || dir.BeginEnum(kXpEnumAll, XpString()) != kXpOk) {
    return kXpErrFileNotFound;
  }
  BestFile best;
  for (XpSharedPtr<XpAbstractFSObj> entry = dir.GetNext(); entry.Get() != nullptr; entry = dir.GetNext()) {
    if (entry->IsDirectory()) {
      continue;
    }
    const XpString path = entry->GetPath();
    XpString base;
    XpString extension;
    XpPathSplit(path, nullptr, &base, &extension);
    const bool picture = SameNoCase(extension, kPictureExtension);
    if (base.GetLength() != kBaseNameLength || extension.GetLength() != kExtensionLength ||
        !SameNoCase(base.Right(kFileDigits), digits.CStr()) || (!picture && !SameNoCase(extension, kMovieExtension))) {
      continue;
    }
    const XpString prefix = base.Left(kPrefixLength);
    const Pick pick = PickFile(best, prefix, picture);
    if (pick == Pick::kSkip) {
      continue;
    }
    best = BestFile{path, prefix, picture};
    if (pick == Pick::kTakeAndStop) {
      break;
    }
  }
  (void)dir.EndEnum();
  if (best.path.IsEmpty()) {
    return kXpErrFileNotFound;
  }
  *out = best.path;
  return kXpOk;
}

}  // namespace XdbAccessor
