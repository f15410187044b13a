#pragma once

// The TIFF/Exif/GPS tag tree of one picture, built empty; its IFDs are
// added by parsing a tag block.
class XpTiffTagManager {
 public:
  XpTiffTagManager() = default;
  XpTiffTagManager(const XpTiffTagManager&) = delete;
  XpTiffTagManager& operator=(const XpTiffTagManager&) = delete;
  virtual ~XpTiffTagManager() = default;
};
