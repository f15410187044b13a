#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "camerastore/dcf/XpDCFDir.h"
#include "camerastore/dcf/XpDCFWrappedDir.h"

// A DCF root folder ("DCIM", "MP_ROOT", "VELDRA") with the bookkeeping the
// export uses to pick a folder: how many DCF folders hold each folder
// number, the list of those folders with a cursor, and the folder the
// export currently writes into.
//
// Example: scan a card's "DCIM" and pick where the export writes.
//
//   XpDCFRootDir root(XpSharedPtr<XpAbstractFSObj>(new XpDir(u"/media/CAM/DCIM")));
//   const XpResult result = root.ScanFolders();
//   if (XpFailed(result)) return result;
//   // The first folder whose number no other folder shares; empty: none.
//   const XpSharedPtr<XpDCFDir> folder = root.NextFlaggedFolder();
//   if (folder) root.SetCurrentFolder(folder);
//   // A new folder's number: 101 on an empty card, kNoFolderNumberLeft
//   // once folder 999 exists.
//   const int32_t number = root.NextFolderNumber();
class XpDCFRootDir : public XpDCFWrappedDir {
 public:
  // Folder numbers are 0-999; DCF names only give 100-999.
  static constexpr int32_t kFolderNumberCount = 1000;
  static constexpr int32_t kFirstNewFolderNumber = 101;
  // NextFolderNumber's answer when folder 999 exists: no number is left.
  static constexpr int32_t kNoFolderNumberLeft = 1000;

  explicit XpDCFRootDir(XpSharedPtr<XpAbstractFSObj> entry);
  ~XpDCFRootDir() override;

  // Counts and lists the child folders with DCF folder names, in the order
  // the enumeration gives them, and sets the cursor to the start. Counts
  // and list are emptied first; the result is that of starting the
  // enumeration.
  [[nodiscard]] XpResult ScanFolders();

  // One above the highest folder number 101-999 in use, never filling a
  // gap; 101 when none is; kNoFolderNumberLeft when folder 999 exists.
  int32_t NextFolderNumber() const;
  // From the cursor on, the first folder whose number no other folder
  // shares; empty at the end of the list. The cursor moves past every
  // folder looked at, the one returned included.
  XpSharedPtr<XpDCFDir> NextFlaggedFolder();

  // How many folders of the last scan hold number; 0 outside 0-999.
  int32_t GetFolderNumberCount(int32_t number) const;
  const std::vector<XpSharedPtr<XpDCFDir>>& GetFolders() const { return folders_; }

  const XpSharedPtr<XpDCFDir>& GetCurrentFolder() const { return currentFolder_; }
  void SetCurrentFolder(const XpSharedPtr<XpDCFDir>& folder) { currentFolder_ = folder; }

 private:
  static bool IsFolderNumber(int32_t number) { return number >= 0 && number < kFolderNumberCount; }

  std::array<int32_t, kFolderNumberCount> folderCounts_{};
  std::vector<XpSharedPtr<XpDCFDir>> folders_;
  size_t cursor_ = 0;
  XpSharedPtr<XpDCFDir> currentFolder_;
};
