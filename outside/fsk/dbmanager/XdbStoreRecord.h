#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The payloads of the album database's records, little-endian:
// - content: date (double), folderID, fileID, albumID, misc, shareFlag,
//   favoriteFlag, guid (int32 each);
// - album: albumDate (double), preference (int32), then the title as
//   NUL-terminated UTF-8.
// Titles are kept as valid UTF-8: each byte that does not decode becomes
// U+FFFD, and a title ends at its first NUL.
//
// Decoding accepts trailing zero bytes, which the record file may add to a
// payload, and refuses a payload too short for its record.
struct XdbContent {
  double date = 0;
  int32_t folderID = 0;
  int32_t fileID = 0;
  int32_t albumID = 0;
  int32_t misc = 0;
  int32_t shareFlag = 0;
  int32_t favoriteFlag = 0;
  int32_t guid = 0;
  bool operator==(const XdbContent& other) const = default;
};

struct XdbAlbum {
  double albumDate = 0;
  int32_t preference = 0;
  std::string title;
  bool operator==(const XdbAlbum& other) const = default;
};

class XdbStoreRecord {
 public:
  static constexpr int32_t kContentType = 0x434F4E54;  // "CONT"
  static constexpr int32_t kAlbumType = 0x414C424D;    // "ALBM"
  static constexpr size_t kContentSize = 36;
  // An album with an empty title.
  static constexpr size_t kSmallestAlbumSize = 13;

  static std::vector<uint8_t> EncodeContent(const XdbContent& content);
  [[nodiscard]] static bool DecodeContent(std::span<const uint8_t> payload, XdbContent* content);
  static std::vector<uint8_t> EncodeAlbum(const XdbAlbum& album);
  [[nodiscard]] static bool DecodeAlbum(std::span<const uint8_t> payload, XdbAlbum* album);

  // text as valid UTF-8, cut at its first NUL.
  static std::string ValidTitle(const std::string& text);
};
