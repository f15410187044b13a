#pragma once

#include <cstdint>
#include <memory>

#include "accessor/camera/K2CameraDetection.h"
#include "accessor/dialogs/K2ExportConfirmObserver.h"
#include "framework/ui/dialog/IXfPicture.h"
#include "framework/ui/dialog/XfDialogPresenter.h"
#include "framework/ui/host/XfUiTheme.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/text/XpString.h"
#include "platform/volume/IXpMountTableSource.h"
#include "platform/volume/IXpVolumeWatchDogCallback.h"

class K2ExportConfig;
class K2ExportTaskManager;
class XpResourceModule;
class XpVolumeWatchDogWrapper;
class XfUiHost;

// What the confirmation dialog asks of the export task: a new preparation
// with changed settings, and the stop when the destination camera goes.
// Called from the UI thread and from the volume watch's threads.
class IK2ExportConfirmTask {
 public:
  virtual ~IK2ExportConfirmTask() = default;
  [[nodiscard]] virtual XpResult SetConfig(const K2ExportConfig& config) = 0;
  virtual void OnCameraRemoved(bool arrived) = 0;
};

// The export confirmation: it shows the groups, the items and the space the
// export needs, and confirms the export to the one connected camera. It
// watches the volumes from its start until it is cancelled or destroyed, so
// that after OK a removal of the destination camera stops the task. The
// space total arrives through the observer on any thread and is shown on the
// next tick of its timer.
//
// Once it is built, call StartObserving so that the space total can reach
// it; set the settings, the title and the counts, then run it modally on the
// UI host; OK (1) accepts and Cancel (2) declines. A derived class calls
// StopVolumeWatch first thing in its destructor.
class DlgExportConfirm : public XfDialogPresenter,
                         public IXpVolumeWatchDogCallback,
                         public K2ExportConfirmObserver {
 public:
  static constexpr int32_t kDialogId = 157;
  static constexpr int32_t kSettingsId = 1012;
  static constexpr int32_t kGroupCountId = 1007;
  static constexpr int32_t kItemCountId = 1009;
  static constexpr int32_t kSizeId = 1011;
  static constexpr int32_t kPictureId = 1028;
  static constexpr uint32_t kTimerId = 1010;
  static constexpr uint32_t kTimerIntervalMs = 1000;
  static constexpr uint32_t kPictureBitmapId = 163;
  // The bundle that holds the picture, beside the program.
  static constexpr const char16_t* kResourceLibrary = u"TLVK2AccessorLOC.dll";

  // taskManager receives the changed settings and the camera removal; it
  // must outlive the dialog. source is the mount table the volume watch
  // reads (null: the system's).
  explicit DlgExportConfirm(K2ExportTaskManager& taskManager,
                            std::unique_ptr<IXpMountTableSource> source = nullptr);
  // As above over any task (not owned; must outlive the dialog).
  explicit DlgExportConfirm(IK2ExportConfirmTask& task,
                            std::unique_ptr<IXpMountTableSource> source = nullptr);
  // Stops observing and the volume watch, waiting for a callback in
  // progress, before anything else goes.
  ~DlgExportConfirm() override;

  // The export flow's settings (not owned; must outlive the dialog).
  void SetExportConfig(K2ExportConfig* config);
  // The title names the text shown when several cameras are connected.
  void SetTitle(const XpString& title);
  void SetGroupCount(uint32_t count);
  void SetItemCount(uint32_t count);
  // The bundle that holds the picture (not owned); without one, the
  // bundle of kResourceLibrary.
  void SetResources(const XpResourceModule* resources);

  // Kills the size timer when it runs; true.
  bool StopTimer();
  // Stops the volume watch and waits for a callback in progress; idempotent.
  void StopVolumeWatch();

  // The camera volume's root confirmed with OK; empty before.
  XpString GetDestination() const;
  // A copy of the connected cameras as last collected.
  K2CameraList GetCameras() const;

  // The bytes the export needs, from any thread; shown on the next tick.
  void SetRequiredBytes(uint32_t low, uint32_t high) override;

  // The button-face colour the picture was last blended on; 0 without a
  // picture.
  XfColour GetPictureFace() const { return pictureFace_; }

  // For tests: a shorter quiet period of the volume watch.
  void SetQuietPeriodForTest(uint32_t milliseconds);

  void Init(XfDialogModel& model, XfUiHost& host) override;
  void OnCommand(int32_t id) override;
  void OnTimer(uint32_t id) override;
  bool IsConfirmation() const override { return true; }

  void OnVolumeArrived(const XpString& root) override;
  void OnVolumeRemoved(const XpString& root) override;

 private:
  void SetControlTexts(XfDialogModel& model);
  void PlacePicture(XfUiHost& host);
  void BlendPicture(XfColour face);
  void OnColoursChanged();
  void LeaveTheme();
  void StartWatch();
  void StartSizeTimer();
  void CollectCameras();
  void ShowRequiredSize();
  void Confirm();
  void OpenSettings();
  void Decline();
  int32_t ShowBox(const XpString& text, uint32_t style);

  std::unique_ptr<IK2ExportConfirmTask> ownTask_;
  IK2ExportConfirmTask& task_;
  std::unique_ptr<XpVolumeWatchDogWrapper> watch_;
  K2ExportConfig* config_ = nullptr;
  // Guards the camera list with its generations, the destination, the size
  // fields and the timer check.
  mutable XpCriticalSection lock_;
  K2CameraList cameras_;
  uint64_t collectionsStarted_ = 0;
  uint64_t collectedGeneration_ = 0;
  XpString destination_;
  uint32_t groupCount_ = 0;
  uint32_t itemCount_ = 0;
  uint64_t requiredBytes_ = 0;
  bool sizeReady_ = false;
  bool timerRunning_ = false;
  const XpResourceModule* resources_ = nullptr;
  std::unique_ptr<XpResourceModule> ownResources_;
  XpSharedPtr<IXfPicture> picture_;
  XfColour pictureFace_ = 0;
  XfUiHost* themeHost_ = nullptr;
  int32_t themeToken_ = 0;
  XpString title_;
};
