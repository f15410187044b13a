#pragma once

#include <cstdint>

#include "accessor/task/K2ExportItem.h"
#include "platform/text/XpString.h"

// What a resizing conversion needs: the folder that receives the converted
// files, the cutting flag, the target size and the items to convert (not
// owned: the export task manager's exportable items).
class K2ExporterWithResizeConfig {
 public:
  static constexpr int32_t kSmallWidth = 640;
  static constexpr int32_t kSmallHeight = 480;
  static constexpr int32_t kLargeWidth = 1920;
  static constexpr int32_t kLargeHeight = 1080;
  // The size choice that gives the large size; every other value is small.
  static constexpr uint32_t kLargeSizeChoice = 1;

  struct Size {
    int32_t width = 0;
    int32_t height = 0;
  };

  // No folder, no cutting, the small size and no items.
  K2ExporterWithResizeConfig() = default;
  K2ExporterWithResizeConfig(const XpString& tempDir, bool cutting, uint32_t sizeChoice,
                             K2ExportItemVector* items);
  virtual ~K2ExporterWithResizeConfig();

  virtual XpString GetTempDir() const { return tempDir_; }
  virtual bool IsCuttingEnabled() const { return cutting_; }
  // Copies the size into *size when one is given.
  virtual void GetSize(Size* size) const;
  virtual int32_t GetWidth() const { return width_; }
  virtual int32_t GetHeight() const { return height_; }
  virtual K2ExportItemVector* GetItems() const { return items_; }

 private:
  XpString tempDir_;
  bool cutting_ = false;
  int32_t width_ = kSmallWidth;
  int32_t height_ = kSmallHeight;
  K2ExportItemVector* items_ = nullptr;
};
