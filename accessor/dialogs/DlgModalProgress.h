#pragma once

#include <atomic>
#include <cstdint>

#include "accessor/dialogs/K2ProgressObserver.h"
#include "framework/ui/dialog/XfDialogPresenter.h"
#include "imaging/geometry/XpSize.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/text/XpString.h"

class IK2ProgressTask;
class XfUiTheme;
class XpPixmapBase;
class XpResourceModule;

// The window watched while an import, an export or a salvage runs: title,
// bar, percentage, remaining time, current item, destination, a status
// picture or a thumbnail of the current file, and a stop button. It learns
// of the task through its observer base, ends with kXfIdOk once the task
// reports its end, and keeps the computer awake while it is open.
//
// Made and run on the UI thread; the observer's notification threads reach
// it only through posted closures, the phase and the error boxes.
class DlgModalProgress : public XfDialogPresenter, public K2ProgressObserver {
 public:
  static constexpr int32_t kDialogId = 132;
  static constexpr int32_t kStopId = 2;
  static constexpr int32_t kPictureId = 1006;
  static constexpr int32_t kProgressId = 1007;
  static constexpr int32_t kRemainingId = 1008;
  static constexpr int32_t kPercentId = 1009;
  static constexpr int32_t kItemId = 1010;
  static constexpr int32_t kDestinationId = 1020;
  static constexpr int32_t kNoteId = 1021;
  static constexpr int32_t kFinalStepId = 1029;

  static constexpr int32_t kModeNone = 0;
  static constexpr int32_t kModeImport = 1;
  static constexpr int32_t kModeExport = 2;
  static constexpr int32_t kModeSalvage = 3;

  // Status bitmaps of the resource bundle.
  static constexpr uint32_t kBitmapImportWaiting = 160;
  static constexpr uint32_t kBitmapFinalStep = 161;
  static constexpr uint32_t kBitmapExportWaiting = 162;

  // The picture area when the window does not tell.
  static constexpr int32_t kPictureSide = 120;
  // Widths, in UTF-16 units, of the item and destination lines.
  static constexpr int32_t kLineUnits = 60;

  // resources holds the status bitmaps (and must outlive the dialog); null
  // reads the accessor's bundle beside the program.
  explicit DlgModalProgress(const XpResourceModule* resources = nullptr);
  ~DlgModalProgress() override;

  // Before the dialog runs: kModeImport, kModeExport or kModeSalvage.
  void SetMode(int32_t mode) { mode_ = mode; }
  int32_t GetMode() const { return mode_; }
  // Before the dialog runs: what the stop button pauses, resumes and stops;
  // it must outlive the dialog. Without one the stop question is still asked.
  void SetTask(IK2ProgressTask* task) { task_ = task; }

  int32_t GetPhase() const { return phase_.load(); }

  // XfDialogPresenter. The stop button is the cancel command; there is no
  // accept command: the dialog ends by itself.
  void Init(XfDialogModel& model, XfUiHost& host) override;
  void OnCommand(int32_t id) override;
  int32_t AcceptCommand() const override { return 0; }
  int32_t CancelCommand() const override { return kStopId; }

  // Shows what the current phase shows; on the UI thread.
  void RefreshView();

  // The status bitmap of a slot (0: 160, 1: 161, 2: 162), loaded by Init;
  // null when the bundle has none.
  XpSharedPtr<XpPixmapBase> GetStatusBitmap(int32_t slot) const;

 protected:
  // K2ProgressObserver.
  void RequestRefresh() override;
  void CloseView() override;
  XpSize GetThumbnailArea() override;
  void InvalidateThumbnail() override;
  bool ShowsThumbnails() override;
  void ShowError(uint32_t code) override;
  void EnterPhase1() override;
  void EnterPhase2() override;
  void EnterPhase3() override;

 private:
  static constexpr int32_t kStatusBitmapCount = 3;

  void LoadStatusBitmaps(const XfUiTheme& theme);
  void ShowWaitingTexts();
  void ShowRunningState();
  void ShowFinalStepText();
  void ShowPicture();
  XpString FormatRemainingTime();
  void RunStopSequence();
  void OnClose();
  void EndWithOk();
  void RestoreExecutionState();
  XpString ErrorText(uint32_t code) const;
  int32_t ShowBox(const XpString& text, uint32_t style);
  // The stop question; Ctrl-C answers it Yes.
  int32_t AskToStop(const XpString& question);

  const XpResourceModule* resources_;
  int32_t mode_ = kModeNone;
  std::atomic<int32_t> phase_{0};
  IK2ProgressTask* task_ = nullptr;
  XpSharedPtr<XpPixmapBase> statusBitmaps_[kStatusBitmapCount];
  bool awake_ = false;
  uint32_t savedExecutionState_ = 0;
};
