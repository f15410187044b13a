#pragma once

#include <cstdint>
#include <vector>

#include "camerastore/dcf/XpDCFWrappedDir.h"

// One numbered DCF folder ("100ZXDCF") inside a root folder, with the list
// of its DCF files in file-number order.
class XpDCFDir : public XpDCFWrappedDir {
 public:
  explicit XpDCFDir(XpSharedPtr<XpAbstractFSObj> entry);
  ~XpDCFDir() override;

  // The folder number of the base name of the folder's path.
  int32_t GetFolderNumber() const;

  // Lists every entry (files and sub-folders) whose base name is a DCF file
  // name, sorted by file number; entries of one number stay next to each
  // other in no particular order. The list is emptied first; the result is
  // that of starting the enumeration.
  [[nodiscard]] XpResult ScanFiles();
  const std::vector<XpSharedPtr<XpAbstractFSObj>>& GetFiles() const { return files_; }
  void ClearFiles() { files_.clear(); }

  // The first entry's DCF file number is below the second's.
  static bool LessByFileNumber(XpSharedPtr<XpAbstractFSObj> a, XpSharedPtr<XpAbstractFSObj> b);

 private:
  std::vector<XpSharedPtr<XpAbstractFSObj>> files_;
};

// The DCF file number of the base name of the entry's path.
int32_t K2GetDCFFileNumber(const XpAbstractFSObj& entry);
