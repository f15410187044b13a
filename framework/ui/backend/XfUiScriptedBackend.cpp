#include "framework/ui/backend/XfUiScriptedBackend.h"

#include <csignal>
#include <cstdio>
#include <utility>

#include "framework/ui/host/XfUiHost.h"

namespace {

std::string Number(int64_t value) { return std::to_string(value); }

std::string NotMet(const XfUiStep& step) { return "line " + Number(step.line) + " not met: " + step.source; }

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof(buffer), "0x%X", value);
  return buffer;
}

bool Contains(const XpString& text, const XpString& part) {
  return text.View().find(part.View()) != std::u16string_view::npos;
}

// The bar's shown position in whole percent of its range.
int32_t Percent(const SfProgressCtrl& bar) {
  int32_t lower = 0;
  int32_t upper = 0;
  bar.GetRange(&lower, &upper);
  if (upper == lower) {
    return 0;
  }
  const int64_t offset = static_cast<int64_t>(bar.GetDisplayedPos()) - lower;
  return static_cast<int32_t>(offset * 100 / (static_cast<int64_t>(upper) - lower));
}

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal";
  }
}

}  // namespace

XfUiScriptedBackend::XfUiScriptedBackend(XfUiScript script, std::unique_ptr<XfUiTranscript> transcript)
    : script_(std::move(script)), transcript_(std::move(transcript)) {}

void XfUiScriptedBackend::Attach(XfUiHost& host) { StartWaiting(host); }

void XfUiScriptedBackend::StartWaiting(const XfUiHost& host) { waitingSince_ = host.NowMs(); }

bool XfUiScriptedBackend::Step(XfUiHost& host) {
  RecordForms(host);
  XfUiShown* innermost = host.Innermost();
  const uint64_t serial = innermost ? innermost->Serial() : 0;
  if (serial != innermostSerial_) {
    innermostSerial_ = serial;
    StartWaiting(host);
  }
  if (innermost != nullptr) {
    Present(*innermost);
  }
  if (failed_) {
    return Unwind(host, innermost);
  }
  const XfUiStep* step = CurrentStep();
  if (step != nullptr && step->kind == XfUiStepKind::kWait) {
    return StepWait(host, *step, innermost);
  }
  if (innermost == nullptr && step == nullptr) {
    return false;
  }
  if (innermost != nullptr) {
    if (step != nullptr && Matches(*step, *innermost)) {
      if (ConditionHolds(*step, *innermost)) {
        Advance(host);
        Perform(host, *step, *innermost);
        return true;
      }
      conditionFormSerial_ = innermost->Serial();
    } else if (innermost->Kind() != XfUiShownKind::kForm) {
      Unexpected(host, UnexpectedShown(*innermost));
      return true;
    }
  }
  if (host.NowMs() < waitingSince_ + script_.timeoutMs) {
    return false;
  }
  if (step != nullptr) {
    Unexpected(host, "unexpected timeout after " + Number(script_.timeoutMs) + " ms: " + NotMet(*step));
  } else {
    auto& form = static_cast<XfUiForm&>(*innermost);
    Unexpected(host, "unexpected " + FormPrefix(form) + " left waiting after " + Number(script_.timeoutMs) + " ms");
  }
  return true;
}

bool XfUiScriptedBackend::StepWait(XfUiHost& host, const XfUiStep& step, XfUiShown* innermost) {
  if (!waitUntil_) {
    waitUntil_ = host.NowMs() + step.waitMs;
  }
  if (host.NowMs() >= *waitUntil_) {
    waitUntil_.reset();
    Advance(host);
    transcript_->Line("wait " + Number(step.waitMs));
    return true;
  }
  if (innermost != nullptr && innermost->Kind() != XfUiShownKind::kForm) {
    Unexpected(host, UnexpectedShown(*innermost));
    return true;
  }
  return false;
}

void XfUiScriptedBackend::Advance(const XfUiHost& host) {
  ++cursor_;
  conditionFormSerial_ = 0;
  StartWaiting(host);
}

std::string XfUiScriptedBackend::UnexpectedShown(XfUiShown& shown) const {
  std::string what = shown.Kind() == XfUiShownKind::kBox
                         ? "unexpected " + BoxLine(static_cast<XfUiBox&>(shown))
                         : "unexpected folder " + XfUiTranscript::Quote(static_cast<XfUiFolderPick&>(shown).Title());
  const XfUiStep* step = CurrentStep();
  if (conditionFormSerial_ != 0 && step != nullptr) what += " while " + NotMet(*step);
  return what;
}

std::optional<int64_t> XfUiScriptedBackend::NextDeadline(const XfUiHost& host) const {
  if (failed_) {
    return std::nullopt;
  }
  const XfUiStep* step = CurrentStep();
  if (step != nullptr && step->kind == XfUiStepKind::kWait) {
    return waitUntil_ ? *waitUntil_ : host.NowMs() + step->waitMs;
  }
  if (step == nullptr && host.Innermost() == nullptr) {
    return std::nullopt;
  }
  return waitingSince_ + script_.timeoutMs;
}

void XfUiScriptedBackend::Unexpected(XfUiHost& host, const std::string& what) {
  transcript_->Line(what);
  failed_ = true;
  host.Fail();
}

bool XfUiScriptedBackend::Unwind(XfUiHost& host, XfUiShown* innermost) {
  if (innermost == nullptr) {
    return false;
  }
  switch (innermost->Kind()) {
    case XfUiShownKind::kBox: {
      auto& box = static_cast<XfUiBox&>(*innermost);
      host.AnswerBox(box, box.Style().CancelAnswer());
      return true;
    }
    case XfUiShownKind::kFolder:
      host.EndFolderPick(static_cast<XfUiFolderPick&>(*innermost));
      return true;
    case XfUiShownKind::kForm: {
      XfDialogPresenter& presenter = static_cast<XfUiForm&>(*innermost).Presenter();
      const int32_t cancel = presenter.CancelCommand();
      presenter.End(cancel != 0 ? cancel : kXfIdCancel);
      return true;
    }
  }
  return false;
}

bool XfUiScriptedBackend::Matches(const XfUiStep& step, XfUiShown& shown) const {
  switch (step.kind) {
    case XfUiStepKind::kBox: {
      if (shown.Kind() != XfUiShownKind::kBox) {
        return false;
      }
      const auto& box = static_cast<const XfUiBox&>(shown);
      return step.matchAny || Contains(box.Text(), step.matchText) || Contains(box.Caption(), step.matchText);
    }
    case XfUiStepKind::kForm: {
      if (shown.Kind() != XfUiShownKind::kForm) {
        return false;
      }
      const XfDialogModel& model = static_cast<const XfUiForm&>(shown).Model();
      if (step.matchAny) {
        return true;
      }
      return step.dialogId != 0 ? model.DialogId() == step.dialogId : Contains(model.Title(), step.matchText);
    }
    case XfUiStepKind::kFolder: {
      if (shown.Kind() != XfUiShownKind::kFolder) {
        return false;
      }
      const auto& pick = static_cast<const XfUiFolderPick&>(shown);
      return step.matchAny || Contains(pick.Title(), step.matchText) || Contains(pick.Caption(), step.matchText);
    }
    case XfUiStepKind::kWait:
      return false;
  }
  return false;
}

bool XfUiScriptedBackend::ConditionHolds(const XfUiStep& step, XfUiShown& shown) const {
  const XfUiCondition& condition = step.condition;
  if (condition.kind == XfUiConditionKind::kNone || shown.Kind() != XfUiShownKind::kForm) {
    return true;
  }
  const XfDialogModel& model = static_cast<const XfUiForm&>(shown).Model();
  if (condition.kind == XfUiConditionKind::kPercentAtLeast) {
    const XfDialogItem* item = model.FirstProgressItem();
    return item != nullptr && Percent(*item->Progress()) >= condition.percent;
  }
  const XfDialogItem* item = model.Find(condition.id);
  if (item == nullptr) {
    return false;
  }
  switch (condition.kind) {
    case XfUiConditionKind::kTextEquals:
      return item->Text() == condition.text;
    case XfUiConditionKind::kTextDiffers:
      return item->Text() != condition.text;
    case XfUiConditionKind::kTextContains:
      return Contains(item->Text(), condition.text);
    case XfUiConditionKind::kEnabled:
      return item->IsEnabled();
    case XfUiConditionKind::kDisabled:
      return !item->IsEnabled();
    case XfUiConditionKind::kChecked:
      return item->IsChecked();
    case XfUiConditionKind::kUnchecked:
      return !item->IsChecked();
    case XfUiConditionKind::kVisible:
      return item->IsVisible();
    case XfUiConditionKind::kHidden:
      return !item->IsVisible();
    default:
      return false;
  }
}

void XfUiScriptedBackend::Perform(XfUiHost& host, const XfUiStep& step, XfUiShown& shown) {
  // An action may run a nested loop (a dialog that asks a question), which
  // takes the next steps; the step is counted as taken before it acts.
  for (const XfUiAction& action : step.actions) {
    if (failed_) {
      return;
    }
    switch (shown.Kind()) {
      case XfUiShownKind::kForm:
        PerformOnForm(host, action, static_cast<XfUiForm&>(shown));
        RecordForms(host);
        break;
      case XfUiShownKind::kBox:
        PerformOnBox(host, action, static_cast<XfUiBox&>(shown));
        break;
      case XfUiShownKind::kFolder:
        PerformOnFolder(host, action, static_cast<XfUiFolderPick&>(shown));
        break;
    }
  }
}

void XfUiScriptedBackend::PerformOnForm(XfUiHost& /*host*/, const XfUiAction& action, XfUiForm& form) {
  std::string line = FormPrefix(form) + " input ";
  XfUiInput result = XfUiInput::kTaken;
  switch (action.kind) {
    case XfUiActionKind::kPress:
    case XfUiActionKind::kClick:
      line += (action.kind == XfUiActionKind::kPress ? "press " : "click ") + Number(action.id);
      transcript_->Line(line);
      result = form.Model().Find(action.id) != nullptr ? form.Click(action.id) : form.Command(action.id);
      break;
    case XfUiActionKind::kCheck:
      line += "check " + Number(action.id) + (action.on ? " on" : " off");
      transcript_->Line(line);
      result = form.SetCheck(action.id, action.on);
      break;
    case XfUiActionKind::kType:
      line += "type " + Number(action.id) + " " + XfUiTranscript::Quote(action.text);
      transcript_->Line(line);
      result = form.Type(action.id, action.text);
      break;
    case XfUiActionKind::kCancel: {
      const int32_t cancel = form.Presenter().CancelCommand();
      transcript_->Line(line + "cancel");
      result = cancel != 0 ? form.Command(cancel) : XfUiInput::kNoSuchControl;
      break;
    }
    case XfUiActionKind::kPick:
      break;
  }
  if (result != XfUiInput::kTaken) {
    transcript_->Line(FormPrefix(form) + " refused: " + XfUiInputName(result));
  }
}

void XfUiScriptedBackend::PerformOnBox(XfUiHost& host, const XfUiAction& action, XfUiBox& box) {
  if (box.IsDone()) {
    return;
  }
  const int32_t answer = action.kind == XfUiActionKind::kCancel ? box.Style().CancelAnswer() : action.id;
  if (!box.Style().HasButton(answer)) {
    Unexpected(host, std::string("unexpected press ") + XfMessageBoxStyle::ButtonName(answer) +
                         ": the box has no such button");
    return;
  }
  host.AnswerBox(box, answer);
}

void XfUiScriptedBackend::PerformOnFolder(XfUiHost& host, const XfUiAction& action, XfUiFolderPick& pick) {
  if (pick.IsDone()) {
    return;
  }
  if (action.kind == XfUiActionKind::kCancel) {
    transcript_->Line("folder input cancel");
    host.EndFolderPick(pick);
    return;
  }
  transcript_->Line("folder input pick " + XfUiTranscript::Quote(action.text));
  if (!pick.Offer(action.text)) {
    transcript_->Line("folder refused " + XfUiTranscript::Quote(pick.Refusal()));
  }
}

void XfUiScriptedBackend::OnClosed(XfUiHost& host, XfUiShown& shown) {
  switch (shown.Kind()) {
    case XfUiShownKind::kForm: {
      auto& form = static_cast<XfUiForm&>(shown);
      RecordForm(form);
      transcript_->Line(FormPrefix(form) + " end " + Number(form.Presenter().EndCode()));
      forms_.erase(form.Serial());
      // The dialog a step waited on went away before its condition held.
      const XfUiStep* step = CurrentStep();
      if (form.Serial() == conditionFormSerial_ && step != nullptr && !failed_) {
        conditionFormSerial_ = 0;
        Unexpected(host, "unexpected " + FormPrefix(form) + " end: " + NotMet(*step));
      }
      break;
    }
    case XfUiShownKind::kBox: {
      auto& box = static_cast<XfUiBox&>(shown);
      Present(box);
      transcript_->Line(std::string("box answer ") + XfMessageBoxStyle::ButtonName(box.Answer()));
      presented_.erase(box.Serial());
      break;
    }
    case XfUiShownKind::kFolder: {
      auto& pick = static_cast<XfUiFolderPick&>(shown);
      Present(pick);
      transcript_->Line("folder end " + (pick.Result() ? XfUiTranscript::Quote(*pick.Result()) : std::string("none")));
      presented_.erase(pick.Serial());
      break;
    }
  }
  StartWaiting(host);
}

void XfUiScriptedBackend::OnInterrupt(XfUiHost& /*host*/, int signal) {
  transcript_->Line(std::string("interrupt ") + SignalName(signal));
}

void XfUiScriptedBackend::Finish(XfUiHost& host) {
  const XfUiStep* step = CurrentStep();
  if (step != nullptr && !failed_) {
    Unexpected(host, "unexpected end: " + NotMet(*step));
  }
}

void XfUiScriptedBackend::Present(XfUiShown& shown) {
  if (shown.Kind() == XfUiShownKind::kForm || !presented_.insert(shown.Serial()).second) {
    return;
  }
  if (shown.Kind() == XfUiShownKind::kBox) {
    transcript_->Line(BoxLine(static_cast<XfUiBox&>(shown)));
    return;
  }
  const auto& pick = static_cast<XfUiFolderPick&>(shown);
  transcript_->Line("folder show " + XfUiTranscript::Quote(pick.Title()) + " " + XfUiTranscript::Quote(pick.Caption()) +
                    " ok " + XfUiTranscript::Quote(pick.OkText()) + " initial " +
                    XfUiTranscript::Quote(pick.InitialPath()));
}

void XfUiScriptedBackend::RecordForms(XfUiHost& host) {
  for (XfUiForm* form : host.Forms()) {
    RecordForm(*form);
  }
}

void XfUiScriptedBackend::RecordForm(XfUiForm& form) {
  const XfDialogModel& model = form.Model();
  const std::string prefix = FormPrefix(form);
  auto [entry, isNew] = forms_.try_emplace(form.Serial());
  FormSnapshot& snapshot = entry->second;
  const std::string title = XfUiTranscript::Quote(model.Title());
  if (isNew) {
    transcript_->Line(prefix + " show " + title);
  } else if (title != snapshot.title) {
    transcript_->Line(prefix + " title " + title);
  }
  snapshot.title = title;
  for (const auto& item : model.Items()) {
    const std::string line = ItemLine(*item);
    std::string& known = snapshot.items[item->Id()];
    if (line != known) {
      transcript_->Line(prefix + " " + line);
      known = line;
    }
    const SfProgressCtrl* bar = item->Progress();
    if (bar == nullptr) {
      continue;
    }
    const bool marquee = bar->IsMarqueeOn();
    auto knownMarquee = snapshot.marquee.find(item->Id());
    if (knownMarquee == snapshot.marquee.end() ? marquee : knownMarquee->second != marquee) {
      transcript_->Line(prefix + " progress " + Number(item->Id()) + " marquee " + (marquee ? "on" : "off"));
    }
    snapshot.marquee[item->Id()] = marquee;
    const int32_t percent = Percent(*bar);
    auto knownPercent = snapshot.percent.find(item->Id());
    if (knownPercent == snapshot.percent.end() || knownPercent->second != percent) {
      transcript_->Line(prefix + " progress " + Number(item->Id()) + " " + Number(percent) + " %");
    }
    snapshot.percent[item->Id()] = percent;
  }
}

std::string XfUiScriptedBackend::FormPrefix(const XfUiForm& form) const {
  return "form " + Number(form.Model().DialogId());
}

std::string XfUiScriptedBackend::ItemLine(const XfDialogItem& item) {
  std::string line = "item " + Number(item.Id()) + " " + XfItemKindName(item.Kind());
  if (item.Kind() != XfItemKind::kProgress) {
    line += " " + XfUiTranscript::Quote(item.Text());
  }
  if (item.Kind() == XfItemKind::kCheckBox || item.Kind() == XfItemKind::kRadio) {
    line += item.IsChecked() ? " on" : " off";
  }
  if (item.Kind() == XfItemKind::kRadio) {
    line += " group " + Number(item.Group());
  }
  if (item.Kind() == XfItemKind::kList) {
    line += " lines";
    for (const XpString& text : item.Lines()) {
      line += " " + XfUiTranscript::Quote(text);
    }
  }
  if (item.Kind() == XfItemKind::kPicture) {
    line += " bitmap " + Number(item.BitmapId()) + " area " + Number(item.PictureArea().width) + "x" +
            Number(item.PictureArea().height);
  }
  if (const SfProgressCtrl* bar = item.Progress()) {
    int32_t lower = 0;
    int32_t upper = 0;
    bar->GetRange(&lower, &upper);
    line += " range " + Number(lower) + " " + Number(upper);
  }
  if (!item.IsEnabled()) {
    line += " disabled";
  }
  if (!item.IsVisible()) {
    line += " hidden";
  }
  if (!item.MessageKey().IsEmpty()) {
    line += " key " + XfUiTranscript::Quote(item.MessageKey());
  }
  return line;
}

std::string XfUiScriptedBackend::BoxLine(const XfUiBox& box) {
  const XfMessageBoxStyle& style = box.Style();
  std::string buttons;
  for (int32_t answer : style.Buttons()) {
    buttons += buttons.empty() ? "" : "/";
    buttons += XfMessageBoxStyle::ButtonName(answer);
  }
  std::string line = "box " + XfUiTranscript::Quote(box.Caption()) + " " + XfUiTranscript::Quote(box.Text()) +
                     " style " + Hex(style.Style()) + " buttons " + buttons + " default " +
                     XfMessageBoxStyle::ButtonName(style.DefaultAnswer());
  return line;
}
