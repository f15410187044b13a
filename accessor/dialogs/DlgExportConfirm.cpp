#include "accessor/dialogs/DlgExportConfirm.h"

#include <memory>
#include <mutex>
#include <new>
#include <utility>

#include "accessor/app/CK2AccessorWinApp.h"
#include "accessor/dialogs/DlgExportSetting.h"
#include "accessor/dialogs/K2FormatByteSize.h"
#include "accessor/settings/K2ExportConfig.h"
#include "accessor/task/K2ExportTaskManager.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/ui/controls/SfDrawBitmapOnFace.h"
#include "framework/ui/host/XfUiHost.h"
#include "imaging/bitmap/XpPixmapLoadBitmap.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "platform/resource/XpResourceModule.h"
#include "platform/volume/XpVolumeWatchDogWrapper.h"

namespace {

constexpr uint32_t kWarningStyle = 0x30;
constexpr int kHalfBits = 32;
constexpr const char16_t* kCaptionKey = u"UI/ExportConfirm/0-0";
constexpr const char16_t* kCalculatingKey = u"Strings/Calculating";
constexpr const char16_t* kNoCameraKey = u"Messages/Warnings/DoNotConnectCamera";
constexpr const char16_t* kSeveralCamerasKey = u"Messages/Warnings/FoundSomeConnectedCameras";

struct ControlText {
  int32_t id;
  XfItemKind kind;
  const char16_t* key;
};

constexpr ControlText kControls[] = {
    {DlgExportConfirm::kSettingsId, XfItemKind::kButton, u"UI/ExportConfirm/1-0"},
    {kXfIdOk, XfItemKind::kButton, u"UI/ExportConfirm/1-1"},
    {kXfIdCancel, XfItemKind::kButton, u"UI/ExportConfirm/1-2"},
    {1005, XfItemKind::kStatic, u"UI/ExportConfirm/6-0"},
    {1004, XfItemKind::kStatic, u"UI/ExportConfirm/8-0"},
    {1008, XfItemKind::kStatic, u"UI/ExportConfirm/8-1"},
    {1006, XfItemKind::kStatic, u"UI/ExportConfirm/8-2"},
    {1010, XfItemKind::kStatic, u"UI/ExportConfirm/8-3"},
    {DlgExportConfirm::kSizeId, XfItemKind::kStatic, kCalculatingKey},
    {1031, XfItemKind::kStatic, u"UI/CommonConfirm/8-0"},
};

// The values and the texts that label them.
struct ValueLabel {
  int32_t value;
  int32_t label;
};
constexpr ValueLabel kValueLabels[] = {
    {DlgExportConfirm::kGroupCountId, 1004},
    {DlgExportConfirm::kItemCountId, 1008},
    {DlgExportConfirm::kSizeId, 1006},
};

// The export task manager as the dialog's task.
class TaskManagerLink : public IK2ExportConfirmTask {
 public:
  explicit TaskManagerLink(K2ExportTaskManager& manager) : manager_(manager) {}
  XpResult SetConfig(const K2ExportConfig& config) override { return manager_.SetConfig(config); }
  void OnCameraRemoved(bool arrived) override { manager_.OnCameraRemoved(arrived); }

 private:
  K2ExportTaskManager& manager_;
};

// A bitmap drawn on a plain background, as the dialog shows it.
class BlendedPicture : public IXfPicture {
 public:
  XfUiSize Size() const override { return {pixmap.width, pixmap.height}; }
  XpPixmapBGR24 pixmap;
};

XpString Number(uint32_t value) {
  XpString text;
  (void)text.Format(u"%d", static_cast<int32_t>(value));  // "%d" of an int always formats
  return text;
}

// bitmap on face: blended when it has alpha, else copied. Null when the
// picture cannot be allocated.
XpSharedPtr<IXfPicture> Blend(const XpPixmapBase& bitmap, XfColour face) {
  auto* picture = new (std::nothrow) BlendedPicture();
  if (picture == nullptr) {
    return XpSharedPtr<IXfPicture>();
  }
  XpSharedPtr<IXfPicture> shared(picture);
  if (XpFailed(picture->pixmap.Allocate(bitmap.width, bitmap.height))) {
    return XpSharedPtr<IXfPicture>();
  }
  SfDrawBitmapOnFace(picture->pixmap, bitmap, 0, face);
  return shared;
}

}  // namespace

DlgExportConfirm::DlgExportConfirm(K2ExportTaskManager& taskManager,
                                   std::unique_ptr<IXpMountTableSource> source)
    : XfDialogPresenter(kDialogId),
      ownTask_(std::make_unique<TaskManagerLink>(taskManager)),
      task_(*ownTask_),
      watch_(std::make_unique<XpVolumeWatchDogWrapper>(nullptr, true, std::move(source))) {}

DlgExportConfirm::DlgExportConfirm(IK2ExportConfirmTask& task,
                                   std::unique_ptr<IXpMountTableSource> source)
    : XfDialogPresenter(kDialogId),
      task_(task),
      watch_(std::make_unique<XpVolumeWatchDogWrapper>(nullptr, true, std::move(source))) {}

DlgExportConfirm::~DlgExportConfirm() {
  // Nothing may reach the dialog from another thread once its parts go.
  StopObserving();
  StopVolumeWatch();
  if (themeHost_ != nullptr && XfUiHost::Instance() == themeHost_) {
    LeaveTheme();
  }
}

void DlgExportConfirm::SetExportConfig(K2ExportConfig* config) { config_ = config; }

void DlgExportConfirm::SetTitle(const XpString& title) { title_ = title; }

void DlgExportConfirm::SetGroupCount(uint32_t count) { groupCount_ = count; }

void DlgExportConfirm::SetItemCount(uint32_t count) { itemCount_ = count; }

void DlgExportConfirm::SetResources(const XpResourceModule* resources) { resources_ = resources; }

void DlgExportConfirm::SetQuietPeriodForTest(uint32_t milliseconds) {
  watch_->SetQuietPeriodForTest(milliseconds);
}

XpString DlgExportConfirm::GetDestination() const {
  std::lock_guard<XpCriticalSection> lock(lock_);
  return destination_;
}

K2CameraList DlgExportConfirm::GetCameras() const {
  std::lock_guard<XpCriticalSection> lock(lock_);
  return cameras_;
}

void DlgExportConfirm::Init(XfDialogModel& model, XfUiHost& host) {
  SetControlTexts(model);
  PlacePicture(host);
  CollectCameras();
  StartWatch();
  StartSizeTimer();
}

void DlgExportConfirm::SetControlTexts(XfDialogModel& model) {
  model.SetTitle(XfGetString(kCaptionKey));
  for (const ControlText& control : kControls) {
    model.Add(control.id, control.kind).SetText(XfGetString(control.key), control.key);
  }
  model.Add(kGroupCountId, XfItemKind::kStatic, Number(groupCount_));
  model.Add(kItemCountId, XfItemKind::kStatic, Number(itemCount_));
  model.Add(kPictureId, XfItemKind::kPicture);
  for (const ValueLabel& pair : kValueLabels) {
    model.Find(pair.value)->SetLabel(pair.label);
  }
}

void DlgExportConfirm::PlacePicture(XfUiHost& host) {
  themeHost_ = &host;
  const std::shared_ptr<XfDialogLife> life = Life();
  themeToken_ = host.Theme().Subscribe([this, life, &host] {
    // Only the life is touched here: the dialog may be gone by now.
    host.Post([this, life] {
      if (life->running.load()) {
        OnColoursChanged();
      }
    });
  });
  BlendPicture(host.Theme().GetSysColor(kXfColourButtonFace));
}

void DlgExportConfirm::LeaveTheme() {
  if (themeHost_ == nullptr) {
    return;
  }
  themeHost_->Theme().Unsubscribe(themeToken_);
  themeHost_ = nullptr;
}

void DlgExportConfirm::BlendPicture(XfColour face) {
  if (resources_ == nullptr && !ownResources_) {
    ownResources_ =
        std::make_unique<XpResourceModule>(XpResourceModule::LibraryFolder(kResourceLibrary));
  }
  const XpResourceModule& module = resources_ != nullptr ? *resources_ : *ownResources_;
  std::unique_ptr<XpPixmapBase> bitmap(XpPixmapLoadBitmapResource(module, kPictureBitmapId));
  if (!bitmap) {
    return;
  }
  XpSharedPtr<IXfPicture> picture = Blend(*bitmap, face);
  if (!picture) {
    return;
  }
  picture_ = picture;
  pictureFace_ = face;
  XfDialogItem* item = Model().Find(kPictureId);
  if (item != nullptr) {
    item->SetPicture(picture_);
    item->SetPictureArea(picture_->Size());
  }
}

void DlgExportConfirm::OnColoursChanged() {
  XfUiHost* host = Host();
  if (host == nullptr || !picture_) {
    return;
  }
  const XfColour face = host->Theme().GetSysColor(kXfColourButtonFace);
  if (face != pictureFace_) {
    BlendPicture(face);
  }
}

void DlgExportConfirm::StartWatch() {
  // Without the watch the dialog still works; it only misses changes.
  (void)watch_->RemoveCallback(this);
  if (XpFailed(watch_->AddCallback(this))) {
    return;
  }
  (void)watch_->Start();
}

void DlgExportConfirm::StopVolumeWatch() {
  // Stop joins the watch's threads, so no callback runs once it returns.
  (void)watch_->Stop();
  (void)watch_->RemoveCallback(this);
}

void DlgExportConfirm::StartSizeTimer() {
  XfUiHost* host = Host();
  if (host == nullptr) {
    return;
  }
  host->SetTimer(this, kTimerId, kTimerIntervalMs);
  std::lock_guard<XpCriticalSection> lock(lock_);
  timerRunning_ = true;
}

bool DlgExportConfirm::StopTimer() {
  std::lock_guard<XpCriticalSection> lock(lock_);
  if (timerRunning_ && Host() != nullptr) {
    Host()->KillTimer(this, kTimerId);
  }
  timerRunning_ = false;
  return true;
}

void DlgExportConfirm::SetRequiredBytes(uint32_t low, uint32_t high) {
  std::lock_guard<XpCriticalSection> lock(lock_);
  requiredBytes_ = (static_cast<uint64_t>(high) << kHalfBits) | low;
  sizeReady_ = true;
}

void DlgExportConfirm::OnTimer(uint32_t id) {
  if (id != kTimerId) {
    return;
  }
  std::lock_guard<XpCriticalSection> lock(lock_);
  if (!sizeReady_ || !IsRunning() || Host() == nullptr) {
    return;
  }
  sizeReady_ = false;
  Host()->PostToDialog(*this, [this] { ShowRequiredSize(); });
}

void DlgExportConfirm::ShowRequiredSize() {
  uint64_t bytes = 0;
  {
    std::lock_guard<XpCriticalSection> lock(lock_);
    bytes = requiredBytes_;
  }
  Model().SetText(kSizeId, K2FormatByteSize(bytes));
}

void DlgExportConfirm::CollectCameras() {
  // Reading the devices takes time: collect outside the lock and swap the
  // list in under it. Callbacks of two volumes may collect at once; a
  // collection started earlier never replaces one started later.
  uint64_t generation = 0;
  {
    std::lock_guard<XpCriticalSection> lock(lock_);
    generation = ++collectionsStarted_;
  }
  K2CameraList cameras;
  CollectConnectedCameras(cameras);
  std::lock_guard<XpCriticalSection> lock(lock_);
  if (generation < collectedGeneration_) {
    return;
  }
  collectedGeneration_ = generation;
  cameras_.swap(cameras);
}

void DlgExportConfirm::OnVolumeArrived(const XpString& /*root*/) { CollectCameras(); }

void DlgExportConfirm::OnVolumeRemoved(const XpString& /*root*/) {
  CollectCameras();
  bool destinationGone = false;
  {
    // Only OK sets the destination, in the step that ends the dialog.
    std::lock_guard<XpCriticalSection> lock(lock_);
    destinationGone = !destination_.IsEmpty() && !ContainsCameraPath(cameras_, destination_);
  }
  if (destinationGone) {
    task_.OnCameraRemoved(false);
  }
}

void DlgExportConfirm::OnCommand(int32_t id) {
  switch (id) {
    case kXfIdOk:
      Confirm();
      return;
    case kXfIdCancel:
      Decline();
      return;
    case kSettingsId:
      OpenSettings();
      return;
    default:
      XfDialogPresenter::OnCommand(id);
  }
}

void DlgExportConfirm::Confirm() {
  size_t count = 0;
  XpString destination;
  {
    // Choosing the camera and ending are one step under the lock, so that a
    // removal either shows in the list read here or finds the destination.
    std::lock_guard<XpCriticalSection> lock(lock_);
    count = cameras_.size();
    if (count == 1) {
      destination = cameras_.front()->GetPath();
      destination_ = destination;
      End(kXfIdOk);
    }
  }
  if (count == 0) {
    ShowBox(XfGetString(kNoCameraKey), kWarningStyle);
    return;
  }
  if (count > 1) {
    ShowBox(XfGetStringItem(kSeveralCamerasKey, title_.CStr()), kWarningStyle);
    return;
  }
  if (config_ != nullptr) {
    config_->SetDestination(destination);
    (void)task_.SetConfig(*config_);  // always kXpOk
  }
  LeaveTheme();
}

void DlgExportConfirm::Decline() {
  StopVolumeWatch();
  LeaveTheme();
  End(kXfIdCancel);
}

void DlgExportConfirm::OpenSettings() {
  XfUiHost* host = Host();
  if (config_ == nullptr || host == nullptr) {
    return;
  }
  const K2ExportConfig before = *config_;
  DlgExportSetting settings(*config_);
  if (host->RunModal(settings) != kXfIdOk) {
    return;
  }
  if (!config_->IsTempDirDifferent(before) && !config_->IsConversionDifferent(before)) {
    return;
  }
  {
    // A total still waiting belongs to the settings before the change.
    std::lock_guard<XpCriticalSection> lock(lock_);
    sizeReady_ = false;
  }
  Model().SetText(kSizeId, XfGetString(kCalculatingKey));
  StopTimer();
  StartSizeTimer();
  (void)task_.SetConfig(*config_);  // always kXpOk
}

int32_t DlgExportConfirm::ShowBox(const XpString& text, uint32_t style) {
  CK2AccessorWinApp* app = CK2AccessorWinApp::Instance();
  if (app != nullptr) {
    return app->DoMessageBox(this, text, style);
  }
  XfUiHost* host = Host();
  return host != nullptr ? host->MessageBox(XpString(), text, style) : kXfIdCancel;
}
