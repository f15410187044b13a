#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/ui/dialog/XfDialogPresenter.h"
#include "framework/ui/host/XfUiHost.h"

namespace ui_test {

using Lines = std::shared_ptr<std::vector<std::string>>;

// A host on the scripted back end with the script given as text; the
// transcript goes to lines. Signals are left alone unless asked for.
std::unique_ptr<XfUiHost> MakeScriptedHost(std::string_view script, const Lines& lines,
                                           bool catchSignals = false);

// The lines that start with prefix.
std::vector<std::string> LinesStartingWith(const std::vector<std::string>& lines, std::string_view prefix);

// A presenter whose behaviour the test gives as functions; without them it
// behaves as the base class does.
class TestPresenter final : public XfDialogPresenter {
 public:
  using InitFunction = std::function<void(TestPresenter&, XfDialogModel&, XfUiHost&)>;
  using CommandFunction = std::function<void(TestPresenter&, int32_t id)>;
  using TimerFunction = std::function<void(TestPresenter&, uint32_t id)>;

  explicit TestPresenter(int32_t dialogId) : XfDialogPresenter(dialogId) {}

  void Init(XfDialogModel& model, XfUiHost& host) override;
  void OnCommand(int32_t id) override;
  void OnTimer(uint32_t id) override;
  int32_t AcceptCommand() const override { return accept; }
  int32_t CancelCommand() const override { return cancel; }
  bool IsConfirmation() const override { return confirmation; }

  InitFunction onInit;
  CommandFunction onCommand;
  TimerFunction onTimer;
  int32_t accept = kXfIdOk;
  int32_t cancel = kXfIdCancel;
  bool confirmation = false;
  std::vector<int32_t> commands;
};

// OK and Cancel buttons, and the title.
void AddOkCancel(XfDialogModel& model, const XpString& title);

}  // namespace ui_test
