#pragma once

#include <cstdint>
#include <vector>

#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// Content types of the hand-over file that an export writes to the camera.
inline constexpr uint32_t kK2ContentTypeUnread = 0x1000000;
inline constexpr uint32_t kK2ContentTypeJpeg = 0x10000101;
inline constexpr uint32_t kK2ContentTypeMovie = 0x20011101;

// One content of the hand-over file on its way to the camera.
struct K2ExportItem {
  uint32_t contentType = kK2ContentTypeUnread;
  // The folder of the content's first file, with its trailing '/'.
  XpString sourceFolder;
  // Leaf names of the content's files in hand-over order, side files left
  // out; empty when the content had only side files.
  XpStringVector fileNames;
  std::vector<int32_t> favoriteList;
  XpDateTime shootingDate;
  // The name of the folder that holds the source file.
  XpString albumName;
  // The full path on the camera.
  XpString destination;
  // The file copied to the camera: the first source file, or a converted
  // or re-encoded file.
  XpString fileToWrite;

  bool HasFiles() const { return !fileNames.empty(); }
  // The source folder joined with the first file name; "" without files.
  XpString FirstSourcePath() const;
};

using K2ExportItemVector = std::vector<K2ExportItem>;

// Export order: source folders in natural name order, then the earlier
// shooting date, then the first file names in natural order.
bool K2ExportItemLess(const K2ExportItem& a, const K2ExportItem& b);
