#pragma once

#include <cstddef>
#include <cstdint>

#include "accessor/task/K2ExportItem.h"
#include "camerastore/dcf/XpDCFDir.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Gives every exportable item its DCF destination below the camera's DCF
// root: numbers continue after the highest folder and file in use, new
// "NNNZXDCF" folders open when one is full, and once the folder numbers run
// out every remaining item is placed by a search for unused numbers.
class K2DCFAllocation {
 public:
  // Entries a folder may hold, and its highest file number.
  static constexpr int64_t kFolderEntryLimit = 4000;
  static constexpr int32_t kMaxFileNumber = 9999;
  static constexpr int32_t kFirstSearchedFolder = 101;
  static constexpr int32_t kFolderNumberEnd = 1000;

  // dcfRoot: the camera's DCF root folder ("<mount>/DCIM/").
  explicit K2DCFAllocation(const XpString& dcfRoot);

  // Sets each item's destination and appends it to destinations, in item
  // order. kXpErrCreateDirFailed when a folder cannot be made,
  // kXpErrSystem when no slot is left; items before the failing one keep
  // their destinations.
  [[nodiscard]] XpResult FindDCFFolder(K2ExportItemVector& items, XpStringVector* destinations);
  // Places the items from folderPath on, starting at fileNumber; a folder
  // number of kFolderNumberEnd sends every item to the search.
  [[nodiscard]] XpResult CreateDCFFolder(XpString folderPath, int32_t folderNumber,
                                         int32_t fileNumber, K2ExportItemVector& items,
                                         XpStringVector* destinations);
  // The search for unused numbers from folder 101 on, taking care not to
  // repeat a destination of an item before current. A missing folder is
  // created and used from number 1. Empty, with both numbers 0, when no
  // slot is free.
  XpString MakeDestinationPath(int32_t* folderNumber, int32_t* fileNumber,
                               const K2ExportItemVector& items, size_t current);
  // The existing folder of number n (held by exactly one folder), else the
  // name a new one gets.
  XpString NextDCFFolderName(int32_t folderNumber);
  // "QMVS####.JPG" for JPEG sources, "QMVM####.MPG" for MPEG movies, else
  // "DSC0####" with the source's extension, joined to folderPath.
  static XpString MakeDCFFileName(const XpString& sourcePath, const XpString& folderPath,
                                  int32_t fileNumber);

  // The highest DCF file number in folder: 0 when it holds none or does
  // not exist, -1 when it cannot be read.
  static int32_t HighestFileNumber(XpDCFDir& folder);

 private:
  // The folder to continue in and its next file number; empty when the
  // folder numbers are used up.
  XpString FindWritableFolder(int32_t* folderNumber, int32_t* fileNumber);
  // The path of a new folder of number n with the export's suffix.
  XpString NewFolderPath(int32_t folderNumber) const;
  // The first file number of the folder that neither a file on the camera
  // nor an earlier item uses; 0 when none is left.
  int32_t FreeFileNumber(const XpString& folderPath, int32_t folderNumber,
                         const K2ExportItemVector& items, size_t current) const;

  XpString dcfRoot_;
};
