#include "framework/ui/host/XfUiShown.h"

#include <utility>

#include "framework/ui/host/XfUiHost.h"

const char* XfUiInputName(XfUiInput input) {
  switch (input) {
    case XfUiInput::kTaken:
      return "taken";
    case XfUiInput::kNoSuchControl:
      return "no such control";
    case XfUiInput::kDisabled:
      return "disabled";
    case XfUiInput::kHidden:
      return "hidden";
    case XfUiInput::kWrongKind:
      return "wrong kind";
    case XfUiInput::kBusy:
      return "busy";
    case XfUiInput::kEnded:
      return "ended";
  }
  return "";
}

XfUiForm::XfUiForm(uint64_t serial, XfUiHost& host, XfDialogPresenter& presenter)
    : XfUiShown(serial), host_(host), presenter_(presenter) {}

XfUiInput XfUiForm::Check(const XfDialogItem* item) const {
  if (presenter_.HasEnded()) {
    return XfUiInput::kEnded;
  }
  if (host_.IsModalBusy()) {
    return XfUiInput::kBusy;
  }
  if (item == nullptr) {
    return XfUiInput::kNoSuchControl;
  }
  if (!item->IsVisible()) {
    return XfUiInput::kHidden;
  }
  if (!item->IsEnabled()) {
    return XfUiInput::kDisabled;
  }
  return XfUiInput::kTaken;
}

XfUiInput XfUiForm::Click(int32_t id) {
  XfDialogItem* item = Model().Find(id);
  const XfUiInput verdict = Check(item);
  if (verdict != XfUiInput::kTaken) {
    return verdict;
  }
  switch (item->Kind()) {
    case XfItemKind::kButton:
      presenter_.OnCommand(id);
      return XfUiInput::kTaken;
    case XfItemKind::kCheckBox:
      item->SetChecked(!item->IsChecked());
      presenter_.OnCheck(id, item->IsChecked());
      return XfUiInput::kTaken;
    case XfItemKind::kRadio:
      Model().SelectRadio(id);
      presenter_.OnCheck(id, true);
      return XfUiInput::kTaken;
    default:
      return XfUiInput::kWrongKind;
  }
}

XfUiInput XfUiForm::SetCheck(int32_t id, bool on) {
  XfDialogItem* item = Model().Find(id);
  const XfUiInput verdict = Check(item);
  if (verdict != XfUiInput::kTaken) {
    return verdict;
  }
  if (item->Kind() == XfItemKind::kRadio) {
    if (!on) {
      return XfUiInput::kWrongKind;
    }
    Model().SelectRadio(id);
    presenter_.OnCheck(id, true);
    return XfUiInput::kTaken;
  }
  if (item->Kind() != XfItemKind::kCheckBox) {
    return XfUiInput::kWrongKind;
  }
  item->SetChecked(on);
  presenter_.OnCheck(id, on);
  return XfUiInput::kTaken;
}

XfUiInput XfUiForm::Type(int32_t id, const XpString& text) {
  XfDialogItem* item = Model().Find(id);
  const XfUiInput verdict = Check(item);
  if (verdict != XfUiInput::kTaken) {
    return verdict;
  }
  if (item->Kind() != XfItemKind::kEdit) {
    return XfUiInput::kWrongKind;
  }
  item->SetText(text);
  presenter_.OnText(id, text);
  return XfUiInput::kTaken;
}

XfUiInput XfUiForm::Command(int32_t id) {
  const XfDialogItem* item = Model().Find(id);
  if (item != nullptr) {
    const XfUiInput verdict = Check(item);
    if (verdict != XfUiInput::kTaken) {
      return verdict;
    }
  } else if (presenter_.HasEnded()) {
    return XfUiInput::kEnded;
  } else if (host_.IsModalBusy()) {
    return XfUiInput::kBusy;
  }
  presenter_.OnCommand(id);
  return XfUiInput::kTaken;
}

XfUiBox::XfUiBox(uint64_t serial, const XpString& caption, const XpString& text, uint32_t style,
                 XfUiBoxRole role)
    : XfUiShown(serial), caption_(caption), text_(text), style_(style), role_(role) {}

int32_t XfUiBox::InterruptAnswer() const {
  if (role_ == XfUiBoxRole::kAsksToStop && style_.HasButton(kXfIdYes)) {
    return kXfIdYes;
  }
  return style_.CancelAnswer();
}

bool XfUiBox::IsDone() const { return Answer() != 0; }

bool XfUiBox::SetAnswer(int32_t answer) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (answer_ != 0 || answer == 0) {
      return false;
    }
    answer_ = answer;
  }
  answered_.notify_all();
  return true;
}

int32_t XfUiBox::Answer() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return answer_;
}

int32_t XfUiBox::WaitForAnswer() const {
  std::unique_lock<std::mutex> lock(mutex_);
  answered_.wait(lock, [this] { return answer_ != 0; });
  return answer_;
}

XfUiFolderPick::XfUiFolderPick(uint64_t serial, const XpString& title, const XpString& caption,
                               const XpString& okText, const XpString& initialPath, XfFolderValidator validator)
    : XfUiShown(serial),
      title_(title),
      caption_(caption),
      okText_(okText),
      initialPath_(initialPath),
      validator_(std::move(validator)) {}

bool XfUiFolderPick::Offer(const XpString& path) {
  if (done_) {
    return false;
  }
  const XfFolderCheck verdict = validator_ ? validator_(path) : XfFolderCheck::Ok();
  if (!verdict.ok) {
    refusal_ = verdict.reason;
    return false;
  }
  refusal_ = XpString();
  result_ = path;
  done_ = true;
  return true;
}

void XfUiFolderPick::Cancel() {
  if (done_) {
    return;
  }
  result_.reset();
  done_ = true;
}
