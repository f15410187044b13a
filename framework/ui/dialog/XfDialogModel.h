#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/ui/dialog/IXfPicture.h"
#include "framework/ui/dialog/XfUiGeometry.h"
#include "framework/ui/progress/SfProgressCtrl.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/text/XpString.h"

enum class XfItemKind { kStatic, kEdit, kCheckBox, kRadio, kButton, kList, kProgress, kPicture };

// "static", "edit", "check", "radio", "button", "list", "progress", "picture".
const char* XfItemKindName(XfItemKind kind);

class XfDialogModel;

// One control of a dialog. Every item has a text, enabled, visible and
// checked states, and optionally the message key its text came from; the
// kinds add a radio group, lines, a progress bar or a picture. A progress
// item's visibility is the bar's own.
class XfDialogItem {
 public:
  XfDialogItem(XfDialogModel& model, int32_t id, XfItemKind kind);
  XfDialogItem(const XfDialogItem&) = delete;
  XfDialogItem& operator=(const XfDialogItem&) = delete;

  int32_t Id() const { return id_; }
  XfItemKind Kind() const { return kind_; }

  const XpString& Text() const { return text_; }
  void SetText(const XpString& text);
  // The text and the message key it was looked up by.
  void SetText(const XpString& text, const XpString& messageKey);
  const XpString& MessageKey() const { return messageKey_; }

  bool IsEnabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool IsVisible() const;
  void SetVisible(bool visible);
  bool IsChecked() const { return checked_; }
  void SetChecked(bool checked);

  // The static item that labels this one ("Folders:" beside "2"); 0 for
  // none. A back end that lays items out as lines shows the two together.
  int32_t LabelId() const { return labelId_; }
  void SetLabel(int32_t labelId);

  // Radio buttons of one group exclude each other.
  int32_t Group() const { return group_; }
  void SetGroup(int32_t group);

  const std::vector<XpString>& Lines() const { return lines_; }
  void SetLines(std::vector<XpString> lines);
  void AddLine(const XpString& line);

  // The bar of a progress item; null for other kinds.
  SfProgressCtrl* Progress() const { return progress_.get(); }

  int32_t BitmapId() const { return bitmapId_; }
  const XpSharedPtr<IXfPicture>& Picture() const { return picture_; }
  XfUiSize PictureArea() const { return pictureArea_; }
  void SetBitmap(int32_t bitmapId);
  void SetPicture(const XpSharedPtr<IXfPicture>& picture);
  void SetPictureArea(XfUiSize area);

  // True for the kinds a person acts on: edit, check box, radio, button.
  bool TakesInput() const;

 private:
  void Touch();

  XfDialogModel& model_;
  const int32_t id_;
  const XfItemKind kind_;
  XpString text_;
  XpString messageKey_;
  bool enabled_ = true;
  bool visible_ = true;
  bool checked_ = false;
  int32_t group_ = 0;
  int32_t labelId_ = 0;
  std::vector<XpString> lines_;
  std::unique_ptr<SfProgressCtrl> progress_;
  int32_t bitmapId_ = 0;
  XpSharedPtr<IXfPicture> picture_;
  XfUiSize pictureArea_;
};

// What one dialog shows: its id (the template id), its title and its
// items keyed by control id, in the order they were added. Read and changed
// on the UI thread only; every change moves the revision on so that back
// ends know to draw again.
class XfDialogModel {
 public:
  explicit XfDialogModel(int32_t dialogId = 0);
  XfDialogModel(const XfDialogModel&) = delete;
  XfDialogModel& operator=(const XfDialogModel&) = delete;

  int32_t DialogId() const { return dialogId_; }
  void SetDialogId(int32_t dialogId);
  const XpString& Title() const { return title_; }
  void SetTitle(const XpString& title);

  // Adds an item, or returns the one with that id (whose kind then stays).
  XfDialogItem& Add(int32_t id, XfItemKind kind, const XpString& text = XpString());
  XfDialogItem* Find(int32_t id);
  const XfDialogItem* Find(int32_t id) const;
  const std::vector<std::unique_ptr<XfDialogItem>>& Items() const { return items_; }
  void Clear();

  // Shortcuts that do nothing for an id without an item. The readers
  // answer "", false and null for one.
  XpString Text(int32_t id) const;
  void SetText(int32_t id, const XpString& text);
  bool IsEnabled(int32_t id) const;
  void SetEnabled(int32_t id, bool enabled);
  bool IsVisible(int32_t id) const;
  void SetVisible(int32_t id, bool visible);
  bool IsChecked(int32_t id) const;
  void SetChecked(int32_t id, bool checked);
  // Checks a radio button and clears the others of its group.
  void SelectRadio(int32_t id);
  SfProgressCtrl* Progress(int32_t id) const;
  // The first progress item; null when there is none.
  XfDialogItem* FirstProgressItem() const;

  // The timers the progress bars run on while the dialog runs: set, every
  // bar is created on them (bars added later too); cleared, every bar is
  // destroyed and its timers killed.
  void AttachTimers(XfUiTimers* timers);
  XfUiTimers* Timers() const { return timers_; }

  uint64_t Revision() const { return revision_; }
  void Touch() { ++revision_; }

 private:
  XfUiTimers* timers_ = nullptr;
  int32_t dialogId_;
  XpString title_;
  std::vector<std::unique_ptr<XfDialogItem>> items_;
  uint64_t revision_ = 0;
};
