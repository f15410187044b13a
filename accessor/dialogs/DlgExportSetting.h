#pragma once

#include <cstdint>

#include "framework/ui/dialog/XfDialogPresenter.h"
#include "platform/text/XpString.h"

class K2ExportConfig;
class XfUiHost;

// The export settings: conversion, its size, picture cutting and the
// temporary folder. It edits the live settings only on OK, and saves them.
class DlgExportSetting : public XfDialogPresenter {
 public:
  static constexpr int32_t kDialogId = 158;
  static constexpr int32_t kFolderId = 1012;
  static constexpr int32_t kBrowseId = 1014;
  static constexpr int32_t kChangeSizeId = 1016;
  static constexpr int32_t kCuttingId = 1018;
  static constexpr int32_t kSizeLabelId = 1021;
  static constexpr int32_t kSize0Id = 1022;
  static constexpr int32_t kSize1Id = 1023;
  static constexpr int32_t kMaxFolderLength = 230;

  // config must outlive the dialog.
  explicit DlgExportSetting(K2ExportConfig& config);

  void Init(XfDialogModel& model, XfUiHost& host) override;
  void OnCommand(int32_t id) override;
  void OnCheck(int32_t id, bool on) override;

  // The folder as shown: one trailing '/' removed, except from "/".
  static XpString DisplayFolder(const XpString& folder);

 private:
  void ApplyEnableRules();
  void Browse();
  void Accept();
  int32_t ShowBox(const XpString& text, uint32_t style);

  K2ExportConfig& config_;
  XpString tempDir_;
};
