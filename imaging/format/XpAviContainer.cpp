#include "imaging/format/XpAviContainer.h"

#include <cctype>
#include <string_view>
#include <vector>

#include "imaging/format/XpByteWindow.h"
#include "imaging/format/XpFormatFile.h"
#include "imaging/format/XpMovieDateCodes.h"

namespace {

// Positions in the head block.
constexpr uint64_t kAvihSizeAt = 28;
constexpr uint64_t kHdrlSizeAt = 16;
constexpr uint64_t kStreamListAt = 32;
constexpr uint64_t kHeadLimit = 996;
constexpr uint64_t kStrnLimit = 985;
constexpr uint64_t kInfoLimit = 980;
constexpr uint64_t kMarkLength = 15;
constexpr std::string_view kMovieMark("KAVO DSC MOVIE\0", kMarkLength);
constexpr std::string_view kSoftwareMark("KAVO DSC MJPEG ", kMarkLength);

constexpr uint64_t kIditSize = 26;
constexpr uint64_t kChunkHeader = 8;

// DV chunk walk.
constexpr uint64_t kDifBlockSize = 80;
constexpr uint8_t kSectionMask = 0xE0;
constexpr uint8_t kVauxSection = 0x40;
constexpr uint64_t kPacksAt = 3;
constexpr int kPacksPerBlock = 15;
constexpr uint64_t kPackSize = 5;
constexpr uint8_t kDatePack = 0x62;
constexpr uint8_t kTimePack = 0x63;

// The RIFF, AVI, hdrl and avih marks; n receives the avih size.
bool HasAviHeader(const XpByteWindow& head, uint32_t& avihSize) {
  return head.Matches(0, "RIFF") && head.Matches(8, "AVI") && head.Matches(12, "LIST") &&
         head.Matches(20, "hdrl") && head.Matches(24, "avih") && head.Le32(kAvihSizeAt, avihSize);
}

bool ReadHead(const XpString& path, std::vector<uint8_t>& bytes) {
  XpFormatFile file;
  return file.Open(path) && file.ReadExactly(0, XpAviContainer::kHeadBytes, bytes);
}

// The chunk at position is id; next receives the position after it.
bool NextChunk(const XpByteWindow& head, uint64_t position, std::string_view id, uint64_t& next) {
  uint32_t size = 0;
  if (!head.Matches(position, id) || !head.Le32(position + 4, size)) {
    return false;
  }
  next = position + kChunkHeader + size;
  return true;
}

// The stream name after strf and strd carries the camera's mark.
bool StreamNameHasMark(const XpByteWindow& head, uint64_t n) {
  uint32_t strhSize = 0;
  if (!head.Le32(48 + n, strhSize)) {
    return false;
  }
  uint64_t position = 52 + n + strhSize;
  if (position > kHeadLimit || !NextChunk(head, position, "strf", position)) {
    return false;
  }
  if (position > kHeadLimit || !NextChunk(head, position, "strd", position)) {
    return false;
  }
  if (position + 8 > kStrnLimit || !head.Matches(position, "strn")) {
    return false;
  }
  return head.Matches(position + 8, kMovieMark);
}

// The info list after hdrl holds the camera's software tag.
bool InfoListHasMark(const XpByteWindow& head) {
  uint32_t hdrlSize = 0;
  if (!head.Le32(kHdrlSizeAt, hdrlSize)) {
    return false;
  }
  const uint64_t h = hdrlSize;
  if (h + 40 > kInfoLimit) {
    return false;
  }
  return head.Matches(20 + h, "LIST") && head.Matches(28 + h, "INFO") &&
         head.Matches(32 + h, "ISFT") && head.Matches(40 + h, kSoftwareMark);
}

// A token of letters, digits and marks up to white space, at most
// maxLength long.
class BoundedScanner {
 public:
  BoundedScanner(const char* text, uint64_t length) : text_(text), length_(length) {}

  bool Word(std::string_view& word, uint64_t maxLength) {
    SkipSpace();
    const uint64_t start = position_;
    while (position_ < length_ && !IsSpace(text_[position_]) && text_[position_] != '\0') {
      ++position_;
    }
    const uint64_t size = position_ - start;
    if (size == 0 || size > maxLength) {
      return false;
    }
    word = std::string_view(text_ + start, size);
    return true;
  }

  bool Number(int32_t& value) {
    SkipSpace();
    constexpr int kMaxDigits = 9;
    int digits = 0;
    int32_t number = 0;
    while (position_ < length_ && std::isdigit(static_cast<unsigned char>(text_[position_]))) {
      if (++digits > kMaxDigits) {
        return false;
      }
      number = number * 10 + (text_[position_] - '0');
      ++position_;
    }
    if (digits == 0) {
      return false;
    }
    value = number;
    return true;
  }

  bool Literal(char mark) {
    if (position_ >= length_ || text_[position_] != mark) {
      return false;
    }
    ++position_;
    return true;
  }

 private:
  static bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
  void SkipSpace() {
    while (position_ < length_ && IsSpace(text_[position_])) {
      ++position_;
    }
  }

  const char* text_;
  uint64_t length_;
  uint64_t position_ = 0;
};

constexpr uint64_t kNameLength = 3;
constexpr const char* kMonthNames[] = {"Dum", "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The index of the month name, compared without case; 0 when none.
int32_t MonthIndex(std::string_view name) {
  if (name.size() != kNameLength) {
    return 0;
  }
  for (int32_t index = 0; index < static_cast<int32_t>(std::size(kMonthNames)); ++index) {
    bool same = true;
    for (uint64_t at = 0; at < kNameLength; ++at) {
      same = same && std::tolower(static_cast<unsigned char>(name[at])) ==
                         std::tolower(static_cast<unsigned char>(kMonthNames[index][at]));
    }
    if (same) {
      return index;
    }
  }
  return 0;
}

// The date and time packs of one DIF block.
bool DateOfDifBlock(const XpByteWindow& block, XpDateTime& date) {
  uint8_t section = 0;
  if (!block.Byte(0, section) || (section & kSectionMask) != kVauxSection) {
    return false;
  }
  const uint8_t* datePack = nullptr;
  const uint8_t* timePack = nullptr;
  for (int index = 0; index < kPacksPerBlock; ++index) {
    const uint8_t* pack = block.At(kPacksAt + index * kPackSize, kPackSize);
    if (pack == nullptr) {
      return false;
    }
    if (pack[0] == kDatePack && datePack == nullptr) {
      datePack = pack;
    } else if (pack[0] == kTimePack && timePack == nullptr) {
      timePack = pack;
    }
  }
  if (datePack == nullptr || timePack == nullptr) {
    return false;
  }
  return XpSetDateFromParts(date, XpDecodeBcdYear(datePack[4]), XpDecodeMonth(datePack[3]),
                            XpDecodeDayOrHour(datePack[2]), XpDecodeDayOrHour(timePack[4]),
                            XpDecodeMinuteOrSecond(timePack[3]),
                            XpDecodeMinuteOrSecond(timePack[2]));
}

// Little-endian 32-bit number of the bytes read.
bool ReadLe32At(XpFormatFile& file, uint64_t position, uint32_t& value) {
  std::vector<uint8_t> bytes;
  return file.ReadExactly(position, 4, bytes) && XpByteWindow(bytes.data(), 4).Le32(0, value);
}

// Finds the "movi" list from offset 12; start and size of the list.
bool FindMovieList(XpFormatFile& file, uint64_t& start, uint64_t& size) {
  uint32_t riffSize = 0;
  if (!ReadLe32At(file, 4, riffSize)) {
    return false;
  }
  constexpr uint64_t kListHeader = 12;
  uint64_t position = 12;
  std::vector<uint8_t> bytes;
  while (position < riffSize) {
    uint32_t chunkSize = 0;
    if (!file.ReadExactly(position, kListHeader, bytes)) {
      return false;
    }
    const XpByteWindow header(bytes.data(), bytes.size());
    if (!header.Le32(4, chunkSize)) {
      return false;
    }
    if (header.Matches(8, "movi")) {
      start = position;
      size = chunkSize;
      return true;
    }
    position += kChunkHeader + chunkSize;
  }
  return false;
}

// The first "00db" chunk of the movie list: its position and size.
bool FindFirstVideoChunk(XpFormatFile& file, uint64_t moviStart, uint64_t moviSize,
                         uint64_t& chunk, uint64_t& size) {
  constexpr uint64_t kFirstChunkAt = 12;
  uint64_t total = 0;
  std::vector<uint8_t> bytes;
  while (total < moviSize) {
    const uint64_t position = moviStart + kFirstChunkAt + total;
    uint32_t chunkSize = 0;
    if (!file.ReadExactly(position, kChunkHeader, bytes)) {
      return false;
    }
    const XpByteWindow header(bytes.data(), bytes.size());
    if (!header.Le32(4, chunkSize) || chunkSize == 0) {
      return false;
    }
    if (header.Matches(0, "00db")) {
      chunk = position;
      size = chunkSize;
      return true;
    }
    total += kChunkHeader + chunkSize;
  }
  return false;
}

}  // namespace

XpFormatKind XpAviContainer::DetectKind(const XpString& path) {
  std::vector<uint8_t> bytes;
  if (!ReadHead(path, bytes)) {
    return kXpKindUnknown;
  }
  const XpByteWindow head(bytes.data(), bytes.size());
  uint32_t avihSize = 0;
  if (!HasAviHeader(head, avihSize)) {
    return kXpKindUnknown;
  }
  const uint64_t n = avihSize;
  if (n + 56 > kHeadLimit) {
    return kXpKindUnknown;
  }
  if (!head.Matches(kStreamListAt + n, "LIST") || !head.Matches(40 + n, "strl") ||
      !head.Matches(44 + n, "strh")) {
    return kXpKindUnknown;
  }
  if (!head.Matches(52 + n, "vids") && !head.Matches(52 + n, "iavs")) {
    return kXpKindUnknown;
  }
  if (head.Matches(56 + n, "dvsd")) {
    return kXpKindDvAvi;
  }
  if (!head.Matches(56 + n, "MJPG") && !head.Matches(56 + n, "mjpg")) {
    return kXpKindUnknown;
  }
  if (StreamNameHasMark(head, n) || InfoListHasMark(head)) {
    return kXpKindCameraMjpegAvi;
  }
  return kXpKindUnknown;
}

bool XpAviContainer::ReadDvDate(const XpString& path, XpDateTime& date) {
  XpFormatFile file;
  if (!file.Open(path)) {
    return false;
  }
  uint64_t moviStart = 0;
  uint64_t moviSize = 0;
  uint64_t chunk = 0;
  uint64_t chunkSize = 0;
  if (!FindMovieList(file, moviStart, moviSize) ||
      !FindFirstVideoChunk(file, moviStart, moviSize, chunk, chunkSize)) {
    return false;
  }
  std::vector<uint8_t> bytes;
  for (uint64_t offset = 0; offset + kDifBlockSize < chunkSize + kChunkHeader;
       offset += kDifBlockSize) {
    if (!file.ReadExactly(chunk + kChunkHeader + offset, kDifBlockSize, bytes)) {
      return false;
    }
    if (DateOfDifBlock(XpByteWindow(bytes.data(), bytes.size()), date)) {
      return true;
    }
  }
  return false;
}

bool XpAviContainer::ReadIditDate(const XpString& path, XpDateTime& date) {
  std::vector<uint8_t> bytes;
  if (!ReadHead(path, bytes)) {
    return false;
  }
  const XpByteWindow head(bytes.data(), bytes.size());
  uint32_t avihSize = 0;
  if (!HasAviHeader(head, avihSize)) {
    return false;
  }
  uint64_t position = kStreamListAt + avihSize;
  if (!NextChunk(head, position, "LIST", position) ||
      !NextChunk(head, position, "LIST", position)) {
    return false;
  }
  uint32_t iditSize = 0;
  if (!head.Matches(position, "IDIT") || !head.Le32(position + 4, iditSize) ||
      iditSize != kIditSize) {
    return false;
  }
  const uint8_t* text = head.At(position + kChunkHeader, kIditSize);
  if (text == nullptr || text[kIditSize - 2] != '\n' || text[kIditSize - 1] != '\0') {
    return false;
  }
  return ParseIditText(reinterpret_cast<const char*>(text), kIditSize, date);
}

bool XpAviContainer::ParseIditText(const char* text, uint64_t length, XpDateTime& date) {
  BoundedScanner scanner(text, length);
  std::string_view weekday;
  std::string_view month;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  int32_t year = 0;
  if (!scanner.Word(weekday, kNameLength) || !scanner.Word(month, kNameLength) ||
      !scanner.Number(day) || !scanner.Number(hour) || !scanner.Literal(':') ||
      !scanner.Number(minute) || !scanner.Literal(':') || !scanner.Number(second) ||
      !scanner.Number(year)) {
    return false;
  }
  return XpSetDateFromParts(date, year, MonthIndex(month), day, hour, minute, second);
}
