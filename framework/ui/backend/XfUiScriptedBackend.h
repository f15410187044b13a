#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "framework/ui/backend/XfUiBackend.h"
#include "framework/ui/backend/XfUiScript.h"
#include "framework/ui/backend/XfUiTranscript.h"

class XfUiForm;
class XfUiBox;
class XfUiFolderPick;
class XfDialogItem;

// Answers from a script and writes a transcript of everything shown and
// answered. Steps are taken in order, each when the innermost thing shown
// matches it and its condition holds. A box or folder picker that the
// current step does not expect, or a step not met within the time-out, is
// "unexpected": the run fails, and from then on everything shown is
// cancelled so that the program comes to its end.
class XfUiScriptedBackend final : public XfUiBackend {
 public:
  XfUiScriptedBackend(XfUiScript script, std::unique_ptr<XfUiTranscript> transcript);

  bool UsesVirtualClock() const override { return !script_.realClock; }
  void Attach(XfUiHost& host) override;
  bool Step(XfUiHost& host) override;
  std::optional<int64_t> NextDeadline(const XfUiHost& host) const override;
  void OnClosed(XfUiHost& host, XfUiShown& shown) override;
  void OnInterrupt(XfUiHost& host, int signal) override;
  void Finish(XfUiHost& host) override;

  bool HasFailed() const { return failed_; }
  // Steps taken so far.
  size_t StepsTaken() const { return cursor_; }

 private:
  struct FormSnapshot {
    std::string title;
    std::map<int32_t, std::string> items;
    std::map<int32_t, int32_t> percent;
    std::map<int32_t, bool> marquee;
  };

  const XfUiStep* CurrentStep() const { return cursor_ < script_.steps.size() ? &script_.steps[cursor_] : nullptr; }
  void RecordForms(XfUiHost& host);
  void RecordForm(XfUiForm& form);
  void Present(XfUiShown& shown);
  bool Matches(const XfUiStep& step, XfUiShown& shown) const;
  bool ConditionHolds(const XfUiStep& step, XfUiShown& shown) const;
  void Perform(XfUiHost& host, const XfUiStep& step, XfUiShown& shown);
  void PerformOnForm(XfUiHost& host, const XfUiAction& action, XfUiForm& form);
  void PerformOnBox(XfUiHost& host, const XfUiAction& action, XfUiBox& box);
  void PerformOnFolder(XfUiHost& host, const XfUiAction& action, XfUiFolderPick& pick);
  bool StepWait(XfUiHost& host, const XfUiStep& step, XfUiShown* innermost);
  void Unexpected(XfUiHost& host, const std::string& what);
  bool Unwind(XfUiHost& host, XfUiShown* innermost);
  void StartWaiting(const XfUiHost& host);
  void Advance(const XfUiHost& host);
  // "unexpected box ..." or "unexpected folder ...", naming the current step
  // too when it waits for a condition on a dialog beneath.
  std::string UnexpectedShown(XfUiShown& shown) const;

  std::string FormPrefix(const XfUiForm& form) const;
  static std::string ItemLine(const XfDialogItem& item);
  static std::string BoxLine(const XfUiBox& box);

  XfUiScript script_;
  std::unique_ptr<XfUiTranscript> transcript_;
  size_t cursor_ = 0;
  int64_t waitingSince_ = 0;
  std::optional<int64_t> waitUntil_;
  uint64_t innermostSerial_ = 0;
  // The form the current step matched while its condition did not hold yet.
  uint64_t conditionFormSerial_ = 0;
  std::map<uint64_t, FormSnapshot> forms_;
  std::set<uint64_t> presented_;
  bool failed_ = false;
};
