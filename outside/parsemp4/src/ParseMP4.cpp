#include "parsemp4/ParseMP4.h"

#include <cstdint>
#include <ctime>
#include <string_view>

#include "Mp4BoxReader.h"

namespace {

constexpr uint64_t kMinFtypSize = 16;
constexpr std::string_view kQuickTimeBrand("qt  ", 4);
constexpr int kNotMp4 = 0;
constexpr int kIsoMedia = 1;
constexpr int kQuickTime = 2;

// Seconds from 1904-01-01 to 1970-01-01, both UTC.
constexpr int64_t kSecondsFrom1904To1970 = 2082844800;
constexpr int kMaxYear = 65535;
constexpr uint8_t kLongTimesVersion = 1;

uint64_t BigEndian(const unsigned char* bytes, int count) {
  uint64_t value = 0;
  for (int index = 0; index < count; ++index) {
    value = (value << 8) | bytes[index];
  }
  return value;
}

// The creation time of "mvhd" in the top-level "moov"; false without one.
bool ReadCreationTime(const Mp4BoxReader& reader, uint64_t& creation) {
  Mp4BoxReader::Box movie{};
  Mp4BoxReader::Box header{};
  if (!reader.FindBox(0, reader.FileSize(), "moov", movie) ||
      !reader.FindBox(movie.start + movie.headerSize, movie.end, "mvhd", header)) {
    return false;
  }
  const uint64_t versionAt = header.start + header.headerSize;
  unsigned char fields[12];
  if (versionAt >= header.end || !reader.ReadAt(versionAt, fields, 4)) {
    return false;
  }
  const int timeBytes = fields[0] == kLongTimesVersion ? 8 : 4;
  if (header.end - versionAt < 4 + static_cast<uint64_t>(timeBytes) ||
      !reader.ReadAt(versionAt + 4, fields + 4, static_cast<uint64_t>(timeBytes))) {
    return false;
  }
  creation = BigEndian(fields + 4, timeBytes);
  return true;
}

}  // namespace

extern "C" int GetFormatType(const char* path) {
  const Mp4BoxReader reader(path);
  Mp4BoxReader::Box box{};
  if (!reader.IsOpen() || !reader.ReadBox(0, reader.FileSize(), box)) {
    return kNotMp4;
  }
  if (std::string_view(box.type, sizeof box.type) != "ftyp" || box.end - box.start < kMinFtypSize) {
    return kNotMp4;
  }
  char brand[4];
  if (!reader.ReadAt(box.start + box.headerSize, brand, sizeof brand)) {
    return kNotMp4;
  }
  return std::string_view(brand, sizeof brand) == kQuickTimeBrand ? kQuickTime : kIsoMedia;
}

extern "C" int GetOriginalDateTime(const char* path, uint16_t* year, uint16_t* month,
                                   uint16_t* day, uint16_t* hour, uint16_t* minute,
                                   uint16_t* second) {
  if (year == nullptr || month == nullptr || day == nullptr || hour == nullptr ||
      minute == nullptr || second == nullptr) {
    return 0;
  }
  const Mp4BoxReader reader(path);
  uint64_t creation = 0;
  if (!reader.IsOpen() || !ReadCreationTime(reader, creation) || creation == 0) {
    return 0;
  }
  constexpr uint64_t kLargestTime = static_cast<uint64_t>(INT64_MAX) - kSecondsFrom1904To1970;
  if (creation > kLargestTime) {
    return 0;
  }
  const time_t unixTime =
      static_cast<time_t>(static_cast<int64_t>(creation) - kSecondsFrom1904To1970);
  ::tzset();
  struct tm parts {};
  if (::localtime_r(&unixTime, &parts) == nullptr) {
    return 0;
  }
  const int64_t fullYear = int64_t{parts.tm_year} + 1900;
  if (fullYear < 1 || fullYear > kMaxYear) {
    return 0;
  }
  *year = static_cast<uint16_t>(fullYear);
  *month = static_cast<uint16_t>(parts.tm_mon + 1);
  *day = static_cast<uint16_t>(parts.tm_mday);
  *hour = static_cast<uint16_t>(parts.tm_hour);
  *minute = static_cast<uint16_t>(parts.tm_min);
  *second = static_cast<uint16_t>(parts.tm_sec);
  return 1;
}
