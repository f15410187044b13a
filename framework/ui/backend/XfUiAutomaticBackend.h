#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "framework/ui/backend/XfUiBackend.h"

// Answers without a person: every box takes its default button, a
// confirmation (a dialog, or a question box that can be cancelled) is
// declined (accepted with --yes), other dialogs take their
// accept command, and the folder picker gives nothing. A dialog that stays
// open a second after that gets its cancel command, and is ended with it a
// second later, so a run never hangs on a form. Each box is echoed to the
// given descriptor (standard error).
class XfUiAutomaticBackend final : public XfUiBackend {
 public:
  // Tests run it on the virtual clock.
  explicit XfUiAutomaticBackend(int echoFd, bool virtualClock = false);

  bool UsesVirtualClock() const override { return virtualClock_; }
  bool Step(XfUiHost& host) override;
  std::optional<int64_t> NextDeadline(const XfUiHost& host) const override;
  void OnClosed(XfUiHost& host, XfUiShown& shown) override;
  bool HasDeclinedUnattended() const override { return declined_; }

 private:
  bool ActOnForm(XfUiHost& host, class XfUiForm& form);
  void Echo(const std::string& line) const;

  int echoFd_;
  bool virtualClock_;
  struct Tries {
    int32_t count = 0;
    int64_t lastMs = 0;
  };
  std::map<uint64_t, Tries> tries_;
  bool declined_ = false;
};
