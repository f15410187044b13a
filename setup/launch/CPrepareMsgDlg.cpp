#include "setup/launch/CPrepareMsgDlg.h"

#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "framework/ui/host/XfUiHost.h"

namespace {

constexpr const char16_t* kDefaultCaption = u"QMV Installer";
constexpr const char16_t* kCaptionSuffix = u" Installer";
constexpr const char16_t* kDefaultText = u"Preparing. Please wait...";

}  // namespace

CPrepareMsgDlg::CPrepareMsgDlg(const XpString& productName, const XpString& text)
    : XfDialogPresenter(kDialogId), productName_(productName), text_(text) {}

XpString CPrepareMsgDlg::Caption() const {
  return productName_.IsEmpty() ? XpString(kDefaultCaption) : productName_ + kCaptionSuffix;
}

XpString CPrepareMsgDlg::Text() const { return text_.IsEmpty() ? XpString(kDefaultText) : text_; }

void CPrepareMsgDlg::Init(XfDialogModel& model, XfUiHost& /*host*/) {
  model.SetTitle(Caption());
  model.Add(kTextId, XfItemKind::kStatic, Text());
}

void CPrepareMsgDlg::OnCommand(int32_t id) {
  if (id == kXfIdOk || id == kXfIdCancel) End(id);
}

PreparingWindow::PreparingWindow(XfUiHost& host, const XpString& productName)
    : host_(host), state_(std::make_shared<State>(productName)) {}

PreparingWindow::~PreparingWindow() { End(); }

void PreparingWindow::Start() {
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (state_->started) return;
    state_->started = true;
  }
  XfUiHost& host = host_;
  std::shared_ptr<State> state = state_;
  if (!host_.Post([&host, state] { RunOnUiThread(host, state); })) MarkEnded(*state_);
}

void PreparingWindow::RunOnUiThread(XfUiHost& host, const std::shared_ptr<State>& state) {
  {
    std::lock_guard<std::mutex> guard(state->lock);
    if (state->endAsked) {
      state->ended = true;
      state->changed.notify_all();
      return;
    }
  }
  static_cast<void>(host.RunModal(state->dialog));
  MarkEnded(*state);
}

void PreparingWindow::MarkEnded(State& state) {
  std::lock_guard<std::mutex> guard(state.lock);
  state.ended = true;
  state.changed.notify_all();
}

void PreparingWindow::End() {
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!state_->started || state_->ended) return;
    state_->endAsked = true;
  }
  std::shared_ptr<State> state = state_;
  auto endDialog = [state] {
    if (state->dialog.IsRunning()) state->dialog.End(kXfIdOk);
  };
  // A dialog that is not running yet either sees endAsked when its turn
  // comes, or runs the fallback closure queued behind its start.
  if (!host_.PostToDialog(state_->dialog, endDialog) && !host_.Post(endDialog)) return;
  if (host_.IsUiThread()) {
    host_.RunUntil([this] { return HasEnded(); });
    return;
  }
  std::unique_lock<std::mutex> guard(state_->lock);
  state_->changed.wait(guard, [this] { return state_->ended; });
}

bool PreparingWindow::IsStarted() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->started;
}

bool PreparingWindow::HasEnded() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->ended;
}
