#pragma once

#include <cstdint>

#include "framework/ui/dialog/XfDialogPresenter.h"
#include "platform/text/XpString.h"

// The demo's form: a check box, a radio pair and a name field; OK stays
// disabled while the name is empty.
class UiDemoForm final : public XfDialogPresenter {
 public:
  static constexpr int32_t kDialogId = 500;
  static constexpr int32_t kIntro = 1000;
  static constexpr int32_t kKeepCopy = 1001;
  static constexpr int32_t kSmall = 1002;
  static constexpr int32_t kLarge = 1003;
  static constexpr int32_t kNameLabel = 1004;
  static constexpr int32_t kName = 1005;

  UiDemoForm() : XfDialogPresenter(kDialogId) {}

  void Init(XfDialogModel& model, XfUiHost& host) override;
  void OnText(int32_t id, const XpString& text) override;

  // What the form held when it ended.
  bool KeepCopy() const { return Model().IsChecked(kKeepCopy); }
  bool Large() const { return Model().IsChecked(kLarge); }
  XpString Name() const { return Model().Text(kName); }
};
