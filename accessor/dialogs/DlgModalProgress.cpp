#include "accessor/dialogs/DlgModalProgress.h"

#include <memory>
#include <new>

#include "accessor/app/CK2AccessorWinApp.h"
#include "accessor/dialogs/IK2ProgressTask.h"
#include "accessor/dialogs/K2CompactPath.h"
#include "accessor/dialogs/K2ProgressTexts.h"
#include "accessor/settings/K2ExportConfig.h"
#include "framework/progress/XfViewProgress.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/ui/controls/SfDrawBitmapOnFace.h"
#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "framework/ui/host/XfUiHost.h"
#include "framework/ui/host/XfUiTheme.h"
#include "imaging/bitmap/XpPixmapLoadBitmap.h"
#include "imaging/geometry/XpFitSize.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "platform/path/XpPath.h"
#include "platform/process/XpSetThreadExecutionState.h"
#include "platform/resource/XpResourceModule.h"
#include "platform/shell/XpDisplayPath.h"

namespace {

// The message keys of one mode.
struct ModeTexts {
  const char16_t* title;
  const char16_t* stop;
  // Null: the mode has no waiting text.
  const char16_t* waiting;
  const char16_t* item;
  const char16_t* destination;
  const char16_t* percent;
  // Null: the final step shows an empty line.
  const char16_t* finalStep;
  const char16_t* stopQuestion;
};

constexpr const char16_t* kNoteKey = u"UI/CommonConfirm/8-1";
constexpr const char16_t* kResourceLibrary = u"TLVK2AccessorLOC.dll";
constexpr uint32_t kMarqueeIntervalMs = 20;
constexpr int32_t kBarLower = 0;
constexpr int32_t kBarUpper = 100;
constexpr int32_t kPhaseWaiting = 0;
constexpr int32_t kPhaseRunning = 1;
constexpr int32_t kPhaseFinalStep = 2;
constexpr int32_t kPhaseNoTextChange = 3;
constexpr int32_t kPhaseClosed = 4;
// Yes and No, Yes an exclamation, No the default.
constexpr uint32_t kStopQuestionStyle = 0x134;
constexpr int32_t kSlotImportWaiting = 0;
constexpr int32_t kSlotFinalStep = 1;
constexpr int32_t kSlotExportWaiting = 2;
constexpr int32_t kNoSlot = -1;

constexpr uint32_t kSlotBitmaps[] = {DlgModalProgress::kBitmapImportWaiting,
                                     DlgModalProgress::kBitmapFinalStep,
                                     DlgModalProgress::kBitmapExportWaiting};

// A pixmap as the dialog model's picture, at the size it is drawn.
class PixmapPicture final : public IXfPicture {
 public:
  PixmapPicture(XpSharedPtr<XpPixmapBase> pixmap, XfUiSize drawn)
      : pixmap_(std::move(pixmap)), drawn_(drawn) {}
  XfUiSize Size() const override { return drawn_; }

 private:
  XpSharedPtr<XpPixmapBase> pixmap_;
  XfUiSize drawn_;
};

// bitmap on a 24-bit pixmap of the face colour: blended when it has an
// alpha channel, copied otherwise. Null when it cannot be allocated.
XpSharedPtr<XpPixmapBase> OnFace(const XpPixmapBase& bitmap, XfColour face) {
  auto* picture = new (std::nothrow) XpPixmapBGR24NoHandle();
  if (picture == nullptr) {
    return XpSharedPtr<XpPixmapBase>();
  }
  XpSharedPtr<XpPixmapBase> result(picture);
  if (XpFailed(picture->Allocate(bitmap.width, bitmap.height))) {
    return XpSharedPtr<XpPixmapBase>();
  }
  SfDrawBitmapOnFace(*picture, bitmap, 0, face);
  return result;
}

XfUiSize PixmapSize(const XpPixmapBase& pixmap) { return XfUiSize{pixmap.width, pixmap.height}; }

constexpr ModeTexts kImportTexts = {
    u"UI/ImportProgress/0-0", u"UI/ImportProgress/1-0",          u"UI/ImportProgress/8-0",
    u"UI/ImportProgress/8-1", u"UI/ImportProgress/8-2",          u"UI/ImportProgress/8-3",
    u"UI/ImportProgress/8-5", u"Messages/Confirms/ImportingStop"};
constexpr ModeTexts kExportTexts = {
    u"UI/ExportProgress/0-0", u"UI/ExportProgress/1-0", u"UI/ExportProgress/8-0",
    u"UI/ExportProgress/8-1", u"UI/ExportProgress/8-2", u"UI/ExportProgress/8-3",
    nullptr,                  u"Messages/Confirms/ExportingStop"};
constexpr ModeTexts kSalvageTexts = {
    u"UI/SalvageProgress/0-0", u"UI/SalvageProgress/1-0", nullptr,
    u"UI/SalvageProgress/8-0", u"UI/SalvageProgress/8-1", u"UI/SalvageProgress/8-2",
    u"UI/SalvageProgress/8-3", u"Messages/Confirms/SalvageStop"};

const ModeTexts* TextsFor(int32_t mode) {
  switch (mode) {
    case DlgModalProgress::kModeImport:
      return &kImportTexts;
    case DlgModalProgress::kModeExport:
      return &kExportTexts;
    case DlgModalProgress::kModeSalvage:
      return &kSalvageTexts;
    default:
      return nullptr;
  }
}

}  // namespace

DlgModalProgress::DlgModalProgress(const XpResourceModule* resources)
    : XfDialogPresenter(kDialogId), resources_(resources) {
  StartObserving();
}

DlgModalProgress::~DlgModalProgress() {
  StopObserving();
  RestoreExecutionState();
}

void DlgModalProgress::Init(XfDialogModel& model, XfUiHost& host) {
  const ModeTexts* texts = TextsFor(mode_);
  model.Add(kStopId, XfItemKind::kButton);
  XfDialogItem& picture = model.Add(kPictureId, XfItemKind::kPicture);
  picture.SetPictureArea(XfUiSize{kPictureSide, kPictureSide});
  model.Add(kProgressId, XfItemKind::kProgress);
  for (const int32_t id : {kRemainingId, kPercentId, kItemId, kDestinationId, kNoteId, kFinalStepId}) {
    model.Add(id, XfItemKind::kStatic);
  }
  model.SetVisible(kFinalStepId, false);
  model.Find(kRemainingId)->SetLabel(kNoteId);
  if (texts != nullptr) {
    model.SetTitle(XfGetString(texts->title));
    model.Find(kStopId)->SetText(XfGetString(texts->stop), texts->stop);
    if (texts->waiting != nullptr) {
      model.Find(kDestinationId)->SetText(XfGetString(texts->waiting), texts->waiting);
    }
  }
  model.Find(kNoteId)->SetText(XfGetString(kNoteKey), kNoteKey);
  model.SetText(kRemainingId, FormatRemainingTime());
  if (SfProgressCtrl* bar = model.Progress(kProgressId)) {
    bar->SetRange(kBarLower, kBarUpper);
    bar->SetMarquee(true, kMarqueeIntervalMs);
  }
  model.SetText(kItemId, K2CompactPath(XpPathToDisplayPath(GetCaption()), kLineUnits));
  LoadStatusBitmaps(host.Theme());
  ShowPicture();
  if (!awake_) {
    savedExecutionState_ = XpSetThreadExecutionState(kXpEsContinuous | kXpEsSystemRequired);
    awake_ = true;
  }
  // A task that ended before the dialog ran closes it now.
  if (phase_.load() == kPhaseClosed) {
    OnClose();
  }
}

void DlgModalProgress::OnCommand(int32_t id) {
  if (id == kStopId) {
    RunStopSequence();
  }
}

void DlgModalProgress::RunStopSequence() {
  if (!Model().IsEnabled(kStopId)) {
    return;
  }
  const ModeTexts* texts = TextsFor(mode_);
  if (task_ != nullptr) {
    task_->Pause();
  }
  const XpString question = texts != nullptr ? XfGetString(texts->stopQuestion) : XpString();
  if (AskToStop(question) != kXfIdYes) {
    if (task_ != nullptr) {
      task_->Resume();
    }
    return;
  }
  // The dialog stays open until the task reports its end.
  Model().SetEnabled(kStopId, false);
  GetProgress().Finish();
  if (task_ != nullptr) {
    task_->Stop();
  }
}

void DlgModalProgress::RefreshView() {
  switch (phase_.load()) {
    case kPhaseWaiting:
      ShowWaitingTexts();
      break;
    case kPhaseRunning:
      ShowRunningState();
      break;
    case kPhaseFinalStep:
      ShowFinalStepText();
      break;
    default:
      break;
  }
  ShowPicture();
}

void DlgModalProgress::ShowWaitingTexts() {
  const ModeTexts* texts = TextsFor(mode_);
  if (texts == nullptr || texts->waiting == nullptr) {
    return;
  }
  for (const int32_t id : {kItemId, kPercentId, kRemainingId}) {
    Model().SetText(id, XpString());
  }
  Model().SetText(kDestinationId, XfGetString(texts->waiting));
}

void DlgModalProgress::ShowRunningState() {
  const ModeTexts* texts = TextsFor(mode_);
  const int32_t percent = static_cast<int32_t>(GetProgress().GetPercent());
  if (SfProgressCtrl* bar = Model().Progress(kProgressId)) {
    bar->SetMarquee(false, 0);
    bar->SetPos(percent);
  }
  if (texts == nullptr) {
    return;
  }
  Model().SetText(kPercentId, XfFormatString(texts->percent, percent));
  Model().SetText(kRemainingId, FormatRemainingTime());
  const XpString source = GetSourceText();
  if (!source.IsEmpty()) {
    Model().SetText(kItemId, XfFormatString(texts->item, source));
  }
  const XpString destination = GetDestinationText();
  if (destination.IsEmpty()) {
    return;
  }
  const int32_t frame = XfFormatString(texts->destination, u"").GetLength();
  const XpString shown = K2CompactPath(destination, kLineUnits - frame);
  Model().SetText(kDestinationId, XfFormatString(texts->destination, shown));
}

void DlgModalProgress::ShowFinalStepText() {
  ShowRunningState();
  const ModeTexts* texts = TextsFor(mode_);
  const bool hasText = texts != nullptr && texts->finalStep != nullptr;
  Model().SetText(kFinalStepId, hasText ? XfGetString(texts->finalStep) : XpString());
  Model().SetVisible(kItemId, false);
  Model().SetVisible(kDestinationId, false);
  Model().SetVisible(kFinalStepId, true);
}

XpString DlgModalProgress::FormatRemainingTime() {
  return K2FormatRemainingTime(GetProgress().EstimateRemainingSeconds(),
                               GetProgress().EstimateRemainingMinutes());
}

void DlgModalProgress::ShowPicture() {
  XfDialogItem* item = Model().Find(kPictureId);
  if (item == nullptr) {
    return;
  }
  const int32_t phase = phase_.load();
  int32_t slot = kNoSlot;
  if (mode_ == kModeImport && phase == kPhaseWaiting) {
    slot = kSlotImportWaiting;
  } else if ((mode_ == kModeImport || mode_ == kModeSalvage) && phase == kPhaseFinalStep) {
    slot = kSlotFinalStep;
  } else if (mode_ == kModeExport && phase == kPhaseWaiting) {
    slot = kSlotExportWaiting;
  }
  const XfUiSize area = item->PictureArea();
  if (slot != kNoSlot) {
    item->SetBitmap(static_cast<int32_t>(kSlotBitmaps[slot]));
    const XpSharedPtr<XpPixmapBase>& bitmap = statusBitmaps_[slot];
    XfUiSize fitted;
    if (bitmap) {
      XpFitSizeInside(bitmap->width, bitmap->height, area.width, area.height, fitted.width,
                      fitted.height);
    }
    item->SetPicture(bitmap ? XpSharedPtr<IXfPicture>(new PixmapPicture(bitmap, fitted))
                            : XpSharedPtr<IXfPicture>());
    return;
  }
  item->SetBitmap(0);
  const XpSharedPtr<XpPixmapBase> thumbnail = GetThumbnail();
  item->SetPicture(thumbnail
                       ? XpSharedPtr<IXfPicture>(new PixmapPicture(thumbnail, PixmapSize(*thumbnail)))
                       : XpSharedPtr<IXfPicture>());
}

XpSharedPtr<XpPixmapBase> DlgModalProgress::GetStatusBitmap(int32_t slot) const {
  if (slot < 0 || slot >= kStatusBitmapCount) {
    return XpSharedPtr<XpPixmapBase>();
  }
  return statusBitmaps_[slot];
}

void DlgModalProgress::LoadStatusBitmaps(const XfUiTheme& theme) {
  std::unique_ptr<XpResourceModule> own;
  const XpResourceModule* module = resources_;
  if (module == nullptr) {
    own = std::make_unique<XpResourceModule>(XpResourceModule::LibraryFolder(kResourceLibrary));
    module = own.get();
  }
  const XfColour face = theme.GetSysColor(kXfColourButtonFace);
  for (int32_t slot = 0; slot < kStatusBitmapCount; ++slot) {
    std::unique_ptr<XpPixmapBase> bitmap(XpPixmapLoadBitmapResource(*module, kSlotBitmaps[slot]));
    statusBitmaps_[slot] = bitmap ? OnFace(*bitmap, face) : XpSharedPtr<XpPixmapBase>();
  }
}

void DlgModalProgress::RequestRefresh() {
  XpSetThreadExecutionState(kXpEsSystemRequired);
  if (XfUiHost* host = XfUiHost::Instance()) {
    host->PostToDialog(*this, [this] { RefreshView(); });
  }
}

void DlgModalProgress::CloseView() {
  // Recorded first: a dialog that is not running yet finds it in Init.
  phase_.store(kPhaseClosed);
  if (XfUiHost* host = XfUiHost::Instance()) {
    host->PostToDialog(*this, [this] { OnClose(); });
  }
}

void DlgModalProgress::OnClose() {
  StopThumbnailWorker();
  RestoreExecutionState();
  End(kXfIdOk);
}

void DlgModalProgress::RestoreExecutionState() {
  if (!awake_) {
    return;
  }
  awake_ = false;
  XpSetThreadExecutionState(savedExecutionState_);
}

XpSize DlgModalProgress::GetThumbnailArea() { return XpSize(kPictureSide, kPictureSide); }

void DlgModalProgress::InvalidateThumbnail() {
  if (XfUiHost* host = XfUiHost::Instance()) {
    host->PostToDialog(*this, [this] { ShowPicture(); });
  }
}

bool DlgModalProgress::ShowsThumbnails() {
  const XfUiHost* host = XfUiHost::Instance();
  return host != nullptr && host->ShowsPictures();
}

void DlgModalProgress::EnterPhase1() { phase_.store(kPhaseRunning); }

void DlgModalProgress::EnterPhase2() {
  phase_.store(kPhaseFinalStep);
  InvalidateThumbnail();
}

void DlgModalProgress::EnterPhase3() { phase_.store(kPhaseNoTextChange); }

void DlgModalProgress::ShowError(uint32_t code) {
  ShowBox(ErrorText(code), K2ProgressErrorFor(code).style);
}

XpString DlgModalProgress::ErrorText(uint32_t code) const {
  if (code != kK2ErrorFreeSpaceDetail) {
    return XfGetString(K2ProgressErrorFor(code).key);
  }
  // Read afresh; settings that cannot be read leave their defaults.
  K2ExportConfig config;
  static_cast<void>(config.Load());
  const uint64_t count = task_ != nullptr ? task_->GetExportableCount() : 0;
  return K2FreeSpaceDetailText(XpPathGetRoot(config.GetTempDir()), count,
                               config.GetImageFileSize() != 0);
}

int32_t DlgModalProgress::AskToStop(const XpString& question) {
  if (CK2AccessorWinApp* app = CK2AccessorWinApp::Instance()) {
    return app->AskToStop(this, question, kStopQuestionStyle);
  }
  XfUiHost* host = XfUiHost::Instance();
  return host != nullptr ? host->MessageBox(XpString(), question, kStopQuestionStyle, XfUiBoxRole::kAsksToStop)
                         : kXfIdCancel;
}

int32_t DlgModalProgress::ShowBox(const XpString& text, uint32_t style) {
  if (CK2AccessorWinApp* app = CK2AccessorWinApp::Instance()) {
    return app->DoMessageBox(this, text, style);
  }
  XfUiHost* host = XfUiHost::Instance();
  return host != nullptr ? host->MessageBox(XpString(), text, style) : kXfIdCancel;
}
