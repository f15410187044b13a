#include "framework/ui/dialog/XfDialogPresenter.h"

XfDialogPresenter::XfDialogPresenter(int32_t dialogId)
    : model_(dialogId), life_(std::make_shared<XfDialogLife>()) {}

XfDialogPresenter::~XfDialogPresenter() { life_->running.store(false); }

void XfDialogPresenter::OnCommand(int32_t id) {
  if (id != 0 && (id == AcceptCommand() || id == CancelCommand())) {
    End(id);
  }
}

void XfDialogPresenter::OnCheck(int32_t /*id*/, bool /*on*/) {}

void XfDialogPresenter::OnText(int32_t /*id*/, const XpString& /*text*/) {}

void XfDialogPresenter::OnTimer(uint32_t /*id*/) {}

void XfDialogPresenter::End(int32_t code) {
  if (ended_) {
    return;
  }
  ended_ = true;
  endCode_ = code;
  life_->running.store(false);
}

void XfDialogPresenter::BeginRun(XfUiHost& host) {
  host_ = &host;
  ended_ = false;
  endCode_ = 0;
  life_->running.store(true);
}

void XfDialogPresenter::FinishRun() {
  life_->running.store(false);
  host_ = nullptr;
}
