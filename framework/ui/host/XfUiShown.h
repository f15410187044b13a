#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "framework/ui/dialog/XfDialogPresenter.h"
#include "framework/ui/dialog/XfMessageBoxStyle.h"
#include "platform/text/XpString.h"

class XfUiHost;

enum class XfUiShownKind { kForm, kBox, kFolder };

// Something the host shows and a back end presents: a dialog, a message box
// or a folder picker. Each has a serial number in the order it was shown.
class XfUiShown {
 public:
  XfUiShown(const XfUiShown&) = delete;
  XfUiShown& operator=(const XfUiShown&) = delete;
  virtual ~XfUiShown() = default;

  virtual XfUiShownKind Kind() const = 0;
  // Ended, answered or picked: it waits for no more input.
  virtual bool IsDone() const = 0;
  uint64_t Serial() const { return serial_; }

 protected:
  explicit XfUiShown(uint64_t serial) : serial_(serial) {}

 private:
  uint64_t serial_;
};

// How input to a form fared.
enum class XfUiInput {
  kTaken,
  kNoSuchControl,
  kDisabled,
  kHidden,
  kWrongKind,
  kBusy,
  kEnded,
};

// "taken", "no such control", "disabled", "hidden", "wrong kind", "busy", "ended".
const char* XfUiInputName(XfUiInput input);

// A running dialog. Input arrives here as a person gives it: the model
// changes first, as a control would, then the presenter hears of it.
class XfUiForm final : public XfUiShown {
 public:
  XfUiForm(uint64_t serial, XfUiHost& host, XfDialogPresenter& presenter);

  XfUiShownKind Kind() const override { return XfUiShownKind::kForm; }
  bool IsDone() const override { return presenter_.HasEnded(); }

  XfDialogPresenter& Presenter() const { return presenter_; }
  XfDialogModel& Model() const { return presenter_.Model(); }

  // A click: a button sends its command; a check box flips; a radio button
  // is selected.
  XfUiInput Click(int32_t id);
  XfUiInput SetCheck(int32_t id, bool on);
  XfUiInput Type(int32_t id, const XpString& text);
  // A command without a control, as the dialog manager sends IDOK and
  // IDCANCEL; refused when a control of that id exists and is disabled.
  XfUiInput Command(int32_t id);

 private:
  XfUiInput Check(const XfDialogItem* item) const;

  XfUiHost& host_;
  XfDialogPresenter& presenter_;
};

// What a message box asks, where its style does not tell: a stop question
// ("Stop the export?") is answered Yes by Ctrl-C, so a second Ctrl-C stops.
enum class XfUiBoxRole { kPlain, kAsksToStop };

// A message box. It may be waited for from another thread.
class XfUiBox final : public XfUiShown {
 public:
  XfUiBox(uint64_t serial, const XpString& caption, const XpString& text, uint32_t style,
          XfUiBoxRole role = XfUiBoxRole::kPlain);

  XfUiShownKind Kind() const override { return XfUiShownKind::kBox; }
  bool IsDone() const override;

  const XpString& Caption() const { return caption_; }
  const XpString& Text() const { return text_; }
  const XfMessageBoxStyle& Style() const { return style_; }
  XfUiBoxRole Role() const { return role_; }
  // The answer Ctrl-C gives: Yes for a stop question that has it, else the
  // style's cancel answer.
  int32_t InterruptAnswer() const;

  // The first answer counts; false for a later one.
  bool SetAnswer(int32_t answer);
  // 0 while unanswered.
  int32_t Answer() const;
  int32_t WaitForAnswer() const;

 private:
  XpString caption_;
  XpString text_;
  XfMessageBoxStyle style_;
  XfUiBoxRole role_;
  mutable std::mutex mutex_;
  mutable std::condition_variable answered_;
  int32_t answer_ = 0;
};

// The verdict of a folder validator: ok, or the reason it is refused.
struct XfFolderCheck {
  bool ok = true;
  XpString reason;

  static XfFolderCheck Ok() { return XfFolderCheck{}; }
  static XfFolderCheck Refuse(const XpString& reason) { return XfFolderCheck{false, reason}; }
};

using XfFolderValidator = std::function<XfFolderCheck(const XpString& path)>;

// A folder picker: a path is offered, the validator judges it, and a
// refused path leaves the picker open with the reason to show.
class XfUiFolderPick final : public XfUiShown {
 public:
  XfUiFolderPick(uint64_t serial, const XpString& title, const XpString& caption, const XpString& okText,
                 const XpString& initialPath, XfFolderValidator validator);

  XfUiShownKind Kind() const override { return XfUiShownKind::kFolder; }
  bool IsDone() const override { return done_; }

  const XpString& Title() const { return title_; }
  const XpString& Caption() const { return caption_; }
  const XpString& OkText() const { return okText_; }
  const XpString& InitialPath() const { return initialPath_; }
  // The reason the last offered path was refused; "" when none was.
  const XpString& Refusal() const { return refusal_; }

  // True when the path is taken.
  bool Offer(const XpString& path);
  void Cancel();
  const std::optional<XpString>& Result() const { return result_; }

 private:
  XpString title_;
  XpString caption_;
  XpString okText_;
  XpString initialPath_;
  XfFolderValidator validator_;
  XpString refusal_;
  bool done_ = false;
  std::optional<XpString> result_;
};
