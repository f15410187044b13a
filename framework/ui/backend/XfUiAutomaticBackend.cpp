#include "framework/ui/backend/XfUiAutomaticBackend.h"

#include <string>

#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpWriteAll.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr int32_t kFirstTry = 0;
constexpr int32_t kCancelTry = 1;
// How long a dialog may stay open after a try before the next one.
constexpr int64_t kRetryMs = 1000;

// A question that can be declined asks for a confirmation.
bool IsConfirmationBox(const XfMessageBoxStyle& style) {
  return std::string(style.IconName()) == "question" && style.HasButton(kXfIdCancel);
}

}  // namespace

XfUiAutomaticBackend::XfUiAutomaticBackend(int echoFd, bool virtualClock)
    : echoFd_(echoFd), virtualClock_(virtualClock) {}

bool XfUiAutomaticBackend::Step(XfUiHost& host) {
  XfUiShown* innermost = host.Innermost();
  if (innermost == nullptr) {
    return false;
  }
  switch (innermost->Kind()) {
    case XfUiShownKind::kBox: {
      auto& box = static_cast<XfUiBox&>(*innermost);
      const bool decline = IsConfirmationBox(box.Style()) && !host.IsYes();
      declined_ = declined_ || decline;
      host.AnswerBox(box, decline ? box.Style().CancelAnswer() : box.Style().DefaultAnswer());
      return true;
    }
    case XfUiShownKind::kFolder: {
      auto& pick = static_cast<XfUiFolderPick&>(*innermost);
      host.EndFolderPick(pick);
      return true;
    }
    case XfUiShownKind::kForm:
      return ActOnForm(host, static_cast<XfUiForm&>(*innermost));
  }
  return false;
}

bool XfUiAutomaticBackend::ActOnForm(XfUiHost& host, XfUiForm& form) {
  XfDialogPresenter& presenter = form.Presenter();
  const int32_t accept = presenter.AcceptCommand();
  const int32_t cancel = presenter.CancelCommand();
  if (accept == 0) {
    // A dialog without an accept command ends by itself.
    return false;
  }
  Tries& tries = tries_[form.Serial()];
  const int64_t now = host.NowMs();
  if (tries.count > kFirstTry && now < tries.lastMs + kRetryMs) {
    return false;
  }
  const int32_t attempt = tries.count++;
  tries.lastMs = now;
  if (attempt == kFirstTry) {
    const bool decline = presenter.IsConfirmation() && !host.IsYes();
    declined_ = declined_ || decline;
    form.Command(decline ? cancel : accept);
    return true;
  }
  if (attempt == kCancelTry && cancel != 0) {
    form.Command(cancel);
    return true;
  }
  presenter.End(cancel != 0 ? cancel : kXfIdCancel);
  return true;
}

std::optional<int64_t> XfUiAutomaticBackend::NextDeadline(const XfUiHost& host) const {
  const XfUiShown* innermost = host.Innermost();
  if (innermost == nullptr) {
    return std::nullopt;
  }
  auto tries = tries_.find(innermost->Serial());
  if (tries == tries_.end() || tries->second.count == kFirstTry) {
    return std::nullopt;
  }
  return tries->second.lastMs + kRetryMs;
}

void XfUiAutomaticBackend::OnClosed(XfUiHost& /*host*/, XfUiShown& shown) {
  switch (shown.Kind()) {
    case XfUiShownKind::kBox: {
      auto& box = static_cast<XfUiBox&>(shown);
      Echo("[" + box.Caption().ToMultiByte().ToStdString() + "] " +
           box.Text().ToMultiByte().ToStdString() + " -> " +
           XfMessageBoxStyle::ButtonName(box.Answer()));
      break;
    }
    case XfUiShownKind::kFolder: {
      auto& pick = static_cast<XfUiFolderPick&>(shown);
      Echo("[" + pick.Title().ToMultiByte().ToStdString() + "] no folder chosen");
      break;
    }
    case XfUiShownKind::kForm:
      tries_.erase(shown.Serial());
      break;
  }
}

void XfUiAutomaticBackend::Echo(const std::string& line) const {
  const std::string text = line + "\n";
  // The echo only informs; a closed standard error must not stop the run.
  (void)XpWriteAll(XpSysCalls::Current(), echoFd_, text.data(), text.size());
}
