#include "framework/ui/demo/UiDemoForm.h"

void UiDemoForm::Init(XfDialogModel& model, XfUiHost& /*host*/) {
  model.Clear();
  model.SetTitle(u"Demo settings");
  model.Add(kIntro, XfItemKind::kStatic, u"Choose how the demo runs.");
  model.Add(kKeepCopy, XfItemKind::kCheckBox, u"Keep a copy");
  model.Add(kSmall, XfItemKind::kRadio, u"Small pictures").SetGroup(1);
  model.Add(kLarge, XfItemKind::kRadio, u"Large pictures").SetGroup(1);
  model.SelectRadio(kSmall);
  model.Add(kNameLabel, XfItemKind::kStatic, u"Name:");
  model.Add(kName, XfItemKind::kEdit);
  model.Add(kXfIdOk, XfItemKind::kButton, u"OK").SetEnabled(false);
  model.Add(kXfIdCancel, XfItemKind::kButton, u"Cancel");
}

void UiDemoForm::OnText(int32_t id, const XpString& text) {
  if (id == kName) {
    Model().SetEnabled(kXfIdOk, !text.IsEmpty());
  }
}
