#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "framework/ui/dialog/XfDialogPresenter.h"
#include "platform/text/XpString.h"

class XfUiHost;

// The notice shown while the installer starts: "<product> Installer" over
// "Preparing. Please wait...". It has no buttons; commands 1 and 2 end it.
class CPrepareMsgDlg : public XfDialogPresenter {
 public:
  static constexpr int32_t kDialogId = 129;
  static constexpr int32_t kTextId = 1000;

  // The defaults stand for empty texts.
  CPrepareMsgDlg(const XpString& productName, const XpString& text);

  void Init(XfDialogModel& model, XfUiHost& host) override;
  void OnCommand(int32_t id) override;
  // Ends only when told to.
  int32_t AcceptCommand() const override { return 0; }
  int32_t CancelCommand() const override { return 0; }

  XpString Caption() const;
  XpString Text() const;

 private:
  XpString productName_;
  XpString text_;
};

// The preparing notice run modally on the UI thread while setup's steps run
// on another (or on the UI thread itself). Start posts it; End asks it to
// end and returns once it has.
class PreparingWindow {
 public:
  PreparingWindow(XfUiHost& host, const XpString& productName);
  PreparingWindow(const PreparingWindow&) = delete;
  PreparingWindow& operator=(const PreparingWindow&) = delete;
  ~PreparingWindow();

  void Start();
  // Does nothing when it was never started or has ended.
  void End();
  bool IsStarted() const;
  bool HasEnded() const;

 private:
  // Shared with the closures posted to the UI thread, which may outlive
  // this object.
  struct State {
    explicit State(const XpString& productName) : dialog(productName, XpString()) {}
    CPrepareMsgDlg dialog;
    std::mutex lock;
    std::condition_variable changed;
    bool started = false;
    bool endAsked = false;
    bool ended = false;
  };

  static void RunOnUiThread(XfUiHost& host, const std::shared_ptr<State>& state);
  static void MarkEnded(State& state);

  XfUiHost& host_;
  std::shared_ptr<State> state_;
};
