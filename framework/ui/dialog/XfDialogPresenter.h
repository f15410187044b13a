#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "framework/ui/dialog/XfDialogModel.h"
#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "framework/ui/host/XfUiTimers.h"
#include "platform/text/XpString.h"

class XfUiHost;

// Whether a dialog runs; shared with closures posted to it, which are
// dropped once it has ended.
struct XfDialogLife {
  std::atomic<bool> running{false};
};

// All the logic of one dialog, without input or output: it fills its model
// in Init, reacts to commands, checks, typed text, timers and posted
// closures, and ends with End. The host runs it (XfUiHost::RunModal) and a
// back end shows its model and feeds it input. Used on the UI thread.
class XfDialogPresenter : public XfUiTimerTarget {
 public:
  explicit XfDialogPresenter(int32_t dialogId = 0);
  XfDialogPresenter(const XfDialogPresenter&) = delete;
  XfDialogPresenter& operator=(const XfDialogPresenter&) = delete;
  virtual ~XfDialogPresenter();

  XfDialogModel& Model() { return model_; }
  const XfDialogModel& Model() const { return model_; }

  // Fills the model; the host is the one that runs the dialog.
  virtual void Init(XfDialogModel& model, XfUiHost& host) = 0;
  // A button was pressed (or the dialog manager sent a command). By default
  // the accept and cancel commands end the dialog with their id.
  virtual void OnCommand(int32_t id);
  // A check box or radio button changed; the model already shows it.
  virtual void OnCheck(int32_t id, bool on);
  // An edit field's text changed; the model already holds it.
  virtual void OnText(int32_t id, const XpString& text);
  void OnTimer(uint32_t id) override;

  // The commands that accept and cancel the dialog; 0 when it has none
  // (a progress dialog ends by itself).
  virtual int32_t AcceptCommand() const { return kXfIdOk; }
  virtual int32_t CancelCommand() const { return kXfIdCancel; }
  // A confirmation is declined by the automatic back end unless --yes.
  virtual bool IsConfirmation() const { return false; }

  // Ends the dialog with code; the first end counts.
  void End(int32_t code);
  bool HasEnded() const { return ended_; }
  int32_t EndCode() const { return endCode_; }
  bool IsRunning() const { return life_->running.load(); }
  // The host running the dialog; null when it does not run.
  XfUiHost* Host() const { return host_; }

  // For the host.
  void BeginRun(XfUiHost& host);
  void FinishRun();
  const std::shared_ptr<XfDialogLife>& Life() const { return life_; }

 private:
  XfDialogModel model_;
  XfUiHost* host_ = nullptr;
  bool ended_ = false;
  int32_t endCode_ = 0;
  std::shared_ptr<XfDialogLife> life_;
};
