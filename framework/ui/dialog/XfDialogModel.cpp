#include "framework/ui/dialog/XfDialogModel.h"

#include <utility>

const char* XfItemKindName(XfItemKind kind) {
  switch (kind) {
    case XfItemKind::kStatic:
      return "static";
    case XfItemKind::kEdit:
      return "edit";
    case XfItemKind::kCheckBox:
      return "check";
    case XfItemKind::kRadio:
      return "radio";
    case XfItemKind::kButton:
      return "button";
    case XfItemKind::kList:
      return "list";
    case XfItemKind::kProgress:
      return "progress";
    case XfItemKind::kPicture:
      return "picture";
  }
  return "";
}

XfDialogItem::XfDialogItem(XfDialogModel& model, int32_t id, XfItemKind kind)
    : model_(model), id_(id), kind_(kind) {
  if (kind == XfItemKind::kProgress) {
    progress_ = std::make_unique<SfProgressCtrl>();
    if (model.Timers() != nullptr) {
      progress_->Create(model.Timers());
    }
  }
}

void XfDialogItem::SetText(const XpString& text) {
  if (text == text_) {
    return;
  }
  text_ = text;
  Touch();
}

void XfDialogItem::SetText(const XpString& text, const XpString& messageKey) {
  messageKey_ = messageKey;
  SetText(text);
  Touch();
}

void XfDialogItem::SetEnabled(bool enabled) {
  if (enabled != enabled_) {
    enabled_ = enabled;
    Touch();
  }
}

bool XfDialogItem::IsVisible() const { return progress_ ? progress_->IsWindowVisible() : visible_; }

void XfDialogItem::SetVisible(bool visible) {
  if (progress_) {
    progress_->ShowWindow(visible ? kSfShow : kSfShowHide);
    Touch();
    return;
  }
  if (visible != visible_) {
    visible_ = visible;
    Touch();
  }
}

void XfDialogItem::SetChecked(bool checked) {
  if (checked != checked_) {
    checked_ = checked;
    Touch();
  }
}

void XfDialogItem::SetGroup(int32_t group) {
  group_ = group;
  Touch();
}

void XfDialogItem::SetLabel(int32_t labelId) {
  labelId_ = labelId;
  Touch();
}

void XfDialogItem::SetLines(std::vector<XpString> lines) {
  lines_ = std::move(lines);
  Touch();
}

void XfDialogItem::AddLine(const XpString& line) {
  lines_.push_back(line);
  Touch();
}

void XfDialogItem::SetBitmap(int32_t bitmapId) {
  bitmapId_ = bitmapId;
  Touch();
}

void XfDialogItem::SetPicture(const XpSharedPtr<IXfPicture>& picture) {
  picture_ = picture;
  Touch();
}

void XfDialogItem::SetPictureArea(XfUiSize area) {
  pictureArea_ = area;
  Touch();
}

bool XfDialogItem::TakesInput() const {
  return kind_ == XfItemKind::kEdit || kind_ == XfItemKind::kCheckBox || kind_ == XfItemKind::kRadio ||
         kind_ == XfItemKind::kButton;
}

void XfDialogItem::Touch() { model_.Touch(); }

XfDialogModel::XfDialogModel(int32_t dialogId) : dialogId_(dialogId) {}

void XfDialogModel::SetDialogId(int32_t dialogId) {
  dialogId_ = dialogId;
  Touch();
}

void XfDialogModel::SetTitle(const XpString& title) {
  title_ = title;
  Touch();
}

XfDialogItem& XfDialogModel::Add(int32_t id, XfItemKind kind, const XpString& text) {
  if (XfDialogItem* existing = Find(id)) {
    existing->SetText(text);
    return *existing;
  }
  items_.push_back(std::make_unique<XfDialogItem>(*this, id, kind));
  XfDialogItem& item = *items_.back();
  item.SetText(text);
  Touch();
  return item;
}

XfDialogItem* XfDialogModel::Find(int32_t id) {
  for (const auto& item : items_) {
    if (item->Id() == id) {
      return item.get();
    }
  }
  return nullptr;
}

const XfDialogItem* XfDialogModel::Find(int32_t id) const {
  for (const auto& item : items_) {
    if (item->Id() == id) {
      return item.get();
    }
  }
  return nullptr;
}

void XfDialogModel::Clear() {
  items_.clear();
  Touch();
}

XpString XfDialogModel::Text(int32_t id) const {
  const XfDialogItem* item = Find(id);
  return item ? item->Text() : XpString();
}

void XfDialogModel::SetText(int32_t id, const XpString& text) {
  if (XfDialogItem* item = Find(id)) {
    item->SetText(text);
  }
}

bool XfDialogModel::IsEnabled(int32_t id) const {
  const XfDialogItem* item = Find(id);
  return item != nullptr && item->IsEnabled();
}

void XfDialogModel::SetEnabled(int32_t id, bool enabled) {
  if (XfDialogItem* item = Find(id)) {
    item->SetEnabled(enabled);
  }
}

bool XfDialogModel::IsVisible(int32_t id) const {
  const XfDialogItem* item = Find(id);
  return item != nullptr && item->IsVisible();
}

void XfDialogModel::SetVisible(int32_t id, bool visible) {
  if (XfDialogItem* item = Find(id)) {
    item->SetVisible(visible);
  }
}

bool XfDialogModel::IsChecked(int32_t id) const {
  const XfDialogItem* item = Find(id);
  return item != nullptr && item->IsChecked();
}

void XfDialogModel::SetChecked(int32_t id, bool checked) {
  if (XfDialogItem* item = Find(id)) {
    item->SetChecked(checked);
  }
}

void XfDialogModel::SelectRadio(int32_t id) {
  XfDialogItem* selected = Find(id);
  if (selected == nullptr) {
    return;
  }
  for (const auto& item : items_) {
    if (item->Kind() == XfItemKind::kRadio && item->Group() == selected->Group()) {
      item->SetChecked(item.get() == selected);
    }
  }
  selected->SetChecked(true);
}

SfProgressCtrl* XfDialogModel::Progress(int32_t id) const {
  const XfDialogItem* item = Find(id);
  return item ? item->Progress() : nullptr;
}

void XfDialogModel::AttachTimers(XfUiTimers* timers) {
  timers_ = timers;
  for (const auto& item : items_) {
    SfProgressCtrl* bar = item->Progress();
    if (bar == nullptr) {
      continue;
    }
    if (timers == nullptr) {
      bar->Destroy();
    } else if (!bar->IsCreated()) {
      bar->Create(timers, bar->IsWindowVisible());
    }
  }
  Touch();
}

XfDialogItem* XfDialogModel::FirstProgressItem() const {
  for (const auto& item : items_) {
    if (item->Kind() == XfItemKind::kProgress) {
      return item.get();
    }
  }
  return nullptr;
}
