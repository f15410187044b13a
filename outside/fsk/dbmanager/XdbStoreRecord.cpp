#include "outside/fsk/dbmanager/XdbStoreRecord.h"

#include <algorithm>
#include <cstring>

#include "platform/text/XpUtf.h"

namespace {

constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;
constexpr char16_t kReplacement = 0xFFFD;
// Bytes from here on belong to multi-byte sequences.
constexpr unsigned char kFirstMultiByte = 0x80;
constexpr size_t kWordSize = 4;
constexpr size_t kDoubleSize = 8;

void PutWord(std::vector<uint8_t>* out, uint64_t value, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    out->push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

uint64_t WordAt(std::span<const uint8_t> bytes, size_t at, size_t size) {
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i) {
    value |= static_cast<uint64_t>(bytes[at + i]) << (8 * i);
  }
  return value;
}

void PutDouble(std::vector<uint8_t>* out, double value) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  PutWord(out, bits, kDoubleSize);
}

double DoubleAt(std::span<const uint8_t> bytes, size_t at) {
  uint64_t bits = WordAt(bytes, at, kDoubleSize);
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void PutInt(std::vector<uint8_t>* out, int32_t value) { PutWord(out, static_cast<uint32_t>(value), kWordSize); }

int32_t IntAt(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<int32_t>(static_cast<uint32_t>(WordAt(bytes, at, kWordSize)));
}

}  // namespace

std::string XdbStoreRecord::ValidTitle(const std::string& text) {
  std::string_view cut(text.data(), std::min(text.size(), std::strlen(text.c_str())));
  bool ascii =
      std::all_of(cut.begin(), cut.end(), [](char byte) { return static_cast<unsigned char>(byte) < kFirstMultiByte; });
  if (ascii) {
    // ASCII decodes to itself.
    return std::string(cut);
  }
  std::u16string units = XpUtf8ToUtf16(cut);
  for (char16_t& unit : units) {
    if (unit >= kFirstEscape && unit <= kLastEscape) {
      unit = kReplacement;
    }
  }
  return XpUtf16ToUtf8(units);
}

std::vector<uint8_t> XdbStoreRecord::EncodeContent(const XdbContent& content) {
  std::vector<uint8_t> out;
  out.reserve(kContentSize);
  PutDouble(&out, content.date);
  for (int32_t value : {content.folderID, content.fileID, content.albumID, content.misc, content.shareFlag,
                        content.favoriteFlag, content.guid}) {
    PutInt(&out, value);
  }
  return out;
}

bool XdbStoreRecord::DecodeContent(std::span<const uint8_t> payload, XdbContent* content) {
  if (payload.size() < kContentSize) {
    return false;
  }
  content->date = DoubleAt(payload, 0);
  int32_t* fields[] = {&content->folderID, &content->fileID,       &content->albumID, &content->misc,
                       &content->shareFlag, &content->favoriteFlag, &content->guid};
  size_t at = kDoubleSize;
  for (int32_t* field : fields) {
    *field = IntAt(payload, at);
    at += kWordSize;
  }
  return true;
}

std::vector<uint8_t> XdbStoreRecord::EncodeAlbum(const XdbAlbum& album) {
  std::string title = ValidTitle(album.title);
  std::vector<uint8_t> out;
  out.reserve(kSmallestAlbumSize + title.size());
  PutDouble(&out, album.albumDate);
  PutInt(&out, album.preference);
  out.insert(out.end(), title.begin(), title.end());
  out.push_back(0);
  return out;
}

bool XdbStoreRecord::DecodeAlbum(std::span<const uint8_t> payload, XdbAlbum* album) {
  if (payload.size() < kSmallestAlbumSize) {
    return false;
  }
  auto titleStart = payload.begin() + static_cast<std::ptrdiff_t>(kDoubleSize + kWordSize);
  auto end = std::find(titleStart, payload.end(), 0);
  if (end == payload.end()) {
    return false;
  }
  album->albumDate = DoubleAt(payload, 0);
  album->preference = IntAt(payload, kDoubleSize);
  album->title = ValidTitle(std::string(titleStart, end));
  return true;
}
