#include "accessor/dialogs/DlgExportSetting.h"

#include "accessor/app/CK2AccessorWinApp.h"
#include "accessor/settings/K2ExportConfig.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/suite/SfDlgSelectFolder.h"
#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/path/XpPath.h"

namespace {

constexpr int32_t kRadioGroup = 1;
constexpr uint32_t kQuestionStyle = 0x41;
constexpr uint32_t kWarningStyle = 0x30;
constexpr const char16_t* kWithoutConvertingKey = u"Messages/Confirms/ExportingWithoutConverting";
constexpr const char16_t* kUnknownErrorKey = u"Messages/Errors/UnkownError";
constexpr const char16_t* kSelectFolderKey = u"FileBrowser/SelectFolder";

struct ControlText {
  int32_t id;
  XfItemKind kind;
  const char16_t* key;
};

constexpr ControlText kControls[] = {
    {kXfIdOk, XfItemKind::kButton, u"UI/ExportSetting/1-0"},
    {kXfIdCancel, XfItemKind::kButton, u"UI/ExportSetting/1-1"},
    {DlgExportSetting::kBrowseId, XfItemKind::kButton, u"UI/ExportSetting/1-2"},
    {DlgExportSetting::kChangeSizeId, XfItemKind::kCheckBox, u"UI/ExportSetting/2-0"},
    {DlgExportSetting::kCuttingId, XfItemKind::kCheckBox, u"UI/ExportSetting/2-1"},
    {1020, XfItemKind::kStatic, u"UI/ExportSetting/6-0"},
    {1019, XfItemKind::kStatic, u"UI/ExportSetting/6-1"},
    {DlgExportSetting::kSize0Id, XfItemKind::kRadio, u"UI/ExportSetting/7-0"},
    {DlgExportSetting::kSize1Id, XfItemKind::kRadio, u"UI/ExportSetting/7-1"},
    {DlgExportSetting::kSizeLabelId, XfItemKind::kStatic, u"UI/ExportSetting/8-0"},
};

}  // namespace

DlgExportSetting::DlgExportSetting(K2ExportConfig& config) : XfDialogPresenter(kDialogId), config_(config) {}

XpString DlgExportSetting::DisplayFolder(const XpString& folder) {
  XpString shown = folder;
  if (shown.GetLength() > 1) {
    XpPathRemoveTrailingBackslash(shown);
  }
  return shown;
}

void DlgExportSetting::Init(XfDialogModel& model, XfUiHost& /*host*/) {
  tempDir_ = config_.GetTempDir();
  model.SetTitle(XfGetString(u"UI/ExportSetting/0-0"));
  for (const ControlText& control : kControls) {
    XfDialogItem& item = model.Add(control.id, control.kind);
    item.SetText(XfGetString(control.key), control.key);
    if (control.kind == XfItemKind::kRadio) {
      item.SetGroup(kRadioGroup);
    }
  }
  model.Add(kFolderId, XfItemKind::kStatic, DisplayFolder(tempDir_));
  model.SetChecked(kChangeSizeId, config_.GetChangeImageFileSize());
  model.SetChecked(kCuttingId, config_.GetPictureCutting());
  if (config_.GetImageFileSize() == 0) {
    model.SelectRadio(kSize0Id);
  } else if (config_.GetImageFileSize() == 1) {
    model.SelectRadio(kSize1Id);
  }
  ApplyEnableRules();
}

void DlgExportSetting::ApplyEnableRules() {
  const bool converting = Model().IsChecked(kChangeSizeId);
  for (const int32_t id : {kCuttingId, kSizeLabelId, kSize0Id, kSize1Id}) {
    Model().SetEnabled(id, converting);
  }
}

void DlgExportSetting::OnCheck(int32_t id, bool on) {
  if (id != kChangeSizeId) {
    return;
  }
  if (!on) {
    Model().SetChecked(kCuttingId, false);
  }
  ApplyEnableRules();
}

void DlgExportSetting::OnCommand(int32_t id) {
  if (id == kBrowseId) {
    Browse();
    return;
  }
  if (id == kXfIdOk) {
    Accept();
    return;
  }
  XfDialogPresenter::OnCommand(id);
}

void DlgExportSetting::Browse() {
  SfDlgSelectFolder picker(Host());
  picker.SetAllowNewFolder(true);
  picker.SetGoBelowDomain(false);
  picker.SetAllowCameraDrive(false, true);
  picker.SetAllowNetworkFolder(false);
  picker.SetAllowDriveRoot(false);
  picker.SetAllowHiddenFolder(true);
  picker.SetAllowProgramFiles(false);
  picker.SetAllowWindowsFolder(false);
  picker.SetAllowReadOnlyFolder(false);
  picker.SetAllowSpecialFolder(false);
  picker.SetAllowSpecialFolderExtra(true);
  picker.SetAllowCameraMemory(false);
  picker.SetMaxPathLength(kMaxFolderLength);
  picker.SetTitle(XfGetString(kSelectFolderKey));
  if (!tempDir_.IsEmpty()) {
    picker.SetInitialFolder(DisplayFolder(tempDir_));
  }
  if (picker.DoModal() != kXfIdOk) {
    return;
  }
  tempDir_ = picker.GetSelectedFolder();
  Model().SetText(kFolderId, DisplayFolder(tempDir_));
}

void DlgExportSetting::Accept() {
  const bool converting = Model().IsChecked(kChangeSizeId);
  if (!converting && ShowBox(XfGetString(kWithoutConvertingKey), kQuestionStyle) != kXfIdOk) {
    return;
  }
  config_.SetTempDir(tempDir_);
  config_.SetChangeImageFileSize(converting);
  config_.SetPictureCutting(Model().IsChecked(kCuttingId));
  if (Model().IsChecked(kSize0Id)) {
    config_.SetImageFileSize(0);
  } else if (Model().IsChecked(kSize1Id)) {
    config_.SetImageFileSize(1);
  }
  if (XpFailed(config_.Save())) {
    ShowBox(XfGetString(kUnknownErrorKey), kWarningStyle);
  }
  End(kXfIdOk);
}

int32_t DlgExportSetting::ShowBox(const XpString& text, uint32_t style) {
  CK2AccessorWinApp* app = CK2AccessorWinApp::Instance();
  if (app != nullptr) {
    return app->DoMessageBox(this, text, style);
  }
  XfUiHost* host = Host();
  return host != nullptr ? host->MessageBox(XpString(), text, style) : kXfIdCancel;
}
