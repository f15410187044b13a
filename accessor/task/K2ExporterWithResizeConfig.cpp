#include "accessor/task/K2ExporterWithResizeConfig.h"

K2ExporterWithResizeConfig::K2ExporterWithResizeConfig(const XpString& tempDir, bool cutting,
                                                       uint32_t sizeChoice,
                                                       K2ExportItemVector* items)
    : tempDir_(tempDir), cutting_(cutting), items_(items) {
  if (sizeChoice == kLargeSizeChoice) {
    width_ = kLargeWidth;
    height_ = kLargeHeight;
  }
}

K2ExporterWithResizeConfig::~K2ExporterWithResizeConfig() = default;

void K2ExporterWithResizeConfig::GetSize(Size* size) const {
  if (size == nullptr) {
    return;
  }
  size->width = width_;
  size->height = height_;
}
