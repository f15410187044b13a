#include "framework/ui/host/XfUiHost.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <utility>

#include "framework/ui/host/XfUiSignalCatcher.h"

namespace {

constexpr uint32_t kAnyMessageFirst = 0;
constexpr uint32_t kAnyMessageLast = UINT32_MAX;
// A virtual clock with a deadline already due and nothing to run waits
// this long for another thread before looking again.
constexpr auto kStallPause = std::chrono::milliseconds(10);

std::atomic<XfUiHost*> gInstance{nullptr};

std::unique_ptr<XfUiClock> MakeClock(const XfUiBackend& backend) {
  if (backend.UsesVirtualClock()) {
    return std::make_unique<XfUiVirtualClock>();
  }
  return std::make_unique<XfUiSteadyClock>();
}

std::optional<int64_t> Earliest(std::optional<int64_t> a, std::optional<int64_t> b) {
  if (!a) {
    return b;
  }
  if (!b) {
    return a;
  }
  return std::min(*a, *b);
}

}  // namespace

XfUiHost::XfUiHost(std::unique_ptr<XfUiBackend> backend, const XfUiHostOptions& options)
    : options_(options),
      backend_(std::move(backend)),
      clock_(MakeClock(*backend_)),
      virtualClock_(clock_->IsVirtual() ? static_cast<XfUiVirtualClock*>(clock_.get()) : nullptr),
      timers_(*clock_),
      queue_(XfMessageQueue::ForCurrentThread()),
      uiThread_(std::this_thread::get_id()),
      alive_(std::make_shared<std::atomic<bool>>(true)) {
  XfUiHost* expected = nullptr;
  gInstance.compare_exchange_strong(expected, this);
  if (options_.catchSignals) {
    signals_ = std::make_unique<XfUiSignalCatcher>([this](int signal) {
      PostInternal([this, signal] {
        backend_->OnInterrupt(*this, signal);
        Interrupt();
      });
    });
  }
  backend_->Attach(*this);
}

XfUiHost::~XfUiHost() {
  signals_.reset();
  Finish();
  backend_->Detach(*this);
  AnswerOutstandingBoxes();
  alive_->store(false);
  XfUiHost* expected = this;
  gInstance.compare_exchange_strong(expected, nullptr);
}

XfUiHost* XfUiHost::Instance() { return gInstance.load(); }

bool XfUiHost::IsUiThread() const { return std::this_thread::get_id() == uiThread_; }

bool XfUiHost::Post(Closure closure) { return PostInternal(std::move(closure)); }

bool XfUiHost::PostToDialog(const XfDialogPresenter& dialog, Closure closure) {
  std::shared_ptr<XfDialogLife> life = dialog.Life();
  if (!life->running.load()) {
    return false;
  }
  return PostInternal([life, closure = std::move(closure)] {
    if (life->running.load()) {
      closure();
    }
  });
}

bool XfUiHost::PostInternal(Closure closure) {
  if (!queue_) {
    return false;
  }
  std::shared_ptr<std::atomic<bool>> alive = alive_;
  return queue_->Post(kXfUiPostedMessage, [alive, closure = std::move(closure)] {
    if (alive->load()) {
      closure();
    }
  });
}

int32_t XfUiHost::RunModal(XfDialogPresenter& presenter) {
  if (!IsUiThread() || presenter.IsRunning()) {
    return -1;
  }
  presenter.BeginRun(*this);
  presenter.Model().AttachTimers(&timers_);
  XfUiForm form(nextSerial_++, *this, presenter);
  shown_.push_back(&form);
  presenter.Init(presenter.Model(), *this);
  RunUntil([&presenter] { return presenter.HasEnded(); });
  CloseAfterLoop(form);
  timers_.KillAll(&presenter);
  presenter.Model().AttachTimers(nullptr);
  presenter.FinishRun();
  return presenter.EndCode();
}

int32_t XfUiHost::MessageBox(const XpString& caption, const XpString& text, uint32_t style) {
  return MessageBox(caption, text, style, XfUiBoxRole::kPlain);
}

int32_t XfUiHost::MessageBox(const XpString& caption, const XpString& text, uint32_t style, XfUiBoxRole role) {
  auto box = std::make_shared<XfUiBox>(nextSerial_++, caption, text, style, role);
  if (IsUiThread()) {
    ShowBox(box);
    return box->Answer();
  }
  {
    std::lock_guard<std::mutex> lock(outstandingMutex_);
    if (closing_) {
      return box->Style().CancelAnswer();
    }
    outstanding_.push_back(box);
  }
  if (!PostInternal([this, box] { ShowBox(box); })) {
    box->SetAnswer(box->Style().CancelAnswer());
  }
  const int32_t answer = box->WaitForAnswer();
  // Notified under the lock: once it is released, a host that is going may
  // be destroyed at once.
  std::lock_guard<std::mutex> lock(outstandingMutex_);
  std::erase(outstanding_, box);
  outstandingLeft_.notify_all();
  return answer;
}

void XfUiHost::ShowBox(const std::shared_ptr<XfUiBox>& box) {
  if (box->IsDone()) {
    return;
  }
  boxes_.push_back(box.get());
  RunUntil([&box] { return box->IsDone(); });
}

void XfUiHost::AnswerBox(XfUiBox& box, int32_t answer) {
  auto queued = std::find(boxes_.begin(), boxes_.end(), &box);
  if (queued == boxes_.end() || box.IsDone()) {
    return;
  }
  boxes_.erase(queued);
  box.SetAnswer(answer);
  backend_->OnClosed(*this, box);
}

std::optional<XpString> XfUiHost::PickFolder(const XpString& title, const XpString& caption,
                                             const XpString& okText, const XpString& initialPath,
                                             const XfFolderValidator& validator) {
  if (!IsUiThread()) {
    return std::nullopt;
  }
  XfUiFolderPick pick(nextSerial_++, title, caption, okText, initialPath, validator);
  shown_.push_back(&pick);
  RunUntil([&pick] { return pick.IsDone(); });
  CloseAfterLoop(pick);
  return pick.Result();
}

void XfUiHost::EndFolderPick(XfUiFolderPick& pick) {
  if (!pick.IsDone()) {
    pick.Cancel();
  }
}

void XfUiHost::CloseAfterLoop(XfUiShown& shown) {
  backend_->OnClosed(*this, shown);
  auto found = std::find(shown_.begin(), shown_.end(), &shown);
  if (found != shown_.end()) {
    shown_.erase(found);
  }
}

void XfUiHost::SetTimer(XfUiTimerTarget* owner, uint32_t id, uint32_t intervalMs) {
  timers_.Set(owner, id, intervalMs);
}

void XfUiHost::KillTimer(XfUiTimerTarget* owner, uint32_t id) { timers_.Kill(owner, id); }

void XfUiHost::Advance(int64_t ms) {
  if (virtualClock_ != nullptr) {
    timers_.Advance(*virtualClock_, ms);
  }
}

void XfUiHost::RequestQuit() { quitRequested_.store(true); }

void XfUiHost::SetModalBusy(bool busy) { modalBusy_.store(busy); }

void XfUiHost::RunUntil(const std::function<bool()>& done) {
  if (!IsUiThread()) {
    return;
  }
  while (!done()) {
    if (RunOneStep()) {
      continue;
    }
    WaitIdle();
  }
}

bool XfUiHost::RunPending() {
  if (!IsUiThread()) {
    return false;
  }
  bool ran = false;
  while (RunOneStep()) {
    ran = true;
  }
  return ran;
}

bool XfUiHost::RunOneStep() {
  if (queue_ && queue_->PumpOne(kAnyMessageFirst, kAnyMessageLast)) {
    return true;
  }
  if (timers_.FireOneDue()) {
    return true;
  }
  return backend_->Step(*this);
}

void XfUiHost::WaitIdle() {
  const int64_t now = clock_->NowMs();
  const std::optional<int64_t> deadline = Earliest(timers_.NextDue(), backend_->NextDeadline(*this));
  if (!queue_) {
    return;
  }
  if (virtualClock_ != nullptr) {
    if (deadline && *deadline > now) {
      virtualClock_->Set(*deadline);
      return;
    }
    const XpDeadline until = deadline ? XpDeadline::At(std::chrono::steady_clock::now() + kStallPause)
                                      : XpDeadline::Infinite();
    queue_->WaitForItem(until);
    return;
  }
  if (!deadline) {
    queue_->WaitForItem(XpDeadline::Infinite());
    return;
  }
  const auto wait = std::chrono::milliseconds(std::max<int64_t>(*deadline - now, 0));
  queue_->WaitForItem(XpDeadline::At(std::chrono::steady_clock::now() + wait));
}

void XfUiHost::Interrupt() {
  XfUiShown* innermost = Innermost();
  if (innermost == nullptr) {
    RequestQuit();
    return;
  }
  switch (innermost->Kind()) {
    case XfUiShownKind::kBox: {
      auto& box = static_cast<XfUiBox&>(*innermost);
      AnswerBox(box, box.InterruptAnswer());
      return;
    }
    case XfUiShownKind::kFolder:
      EndFolderPick(static_cast<XfUiFolderPick&>(*innermost));
      return;
    case XfUiShownKind::kForm: {
      // A dialog that has no cancel, or refuses it now, stays as it is; a
      // quit request left behind would stop the program at some later,
      // unrelated point.
      auto& form = static_cast<XfUiForm&>(*innermost);
      const int32_t cancel = form.Presenter().CancelCommand();
      if (cancel != 0) {
        (void)form.Command(cancel);
      }
      return;
    }
  }
}

XfUiShown* XfUiHost::Innermost() const {
  if (!boxes_.empty()) {
    return boxes_.front();
  }
  for (auto shown = shown_.rbegin(); shown != shown_.rend(); ++shown) {
    if (!(*shown)->IsDone()) {
      return *shown;
    }
  }
  return nullptr;
}

std::vector<XfUiForm*> XfUiHost::Forms() const {
  std::vector<XfUiForm*> forms;
  for (XfUiShown* shown : shown_) {
    if (shown->Kind() == XfUiShownKind::kForm) {
      forms.push_back(static_cast<XfUiForm*>(shown));
    }
  }
  return forms;
}

void XfUiHost::Fail() { failed_.store(true); }

int XfUiHost::Finish() {
  if (!finished_) {
    finished_ = true;
    backend_->Finish(*this);
  }
  return HasFailed() ? 1 : 0;
}

void XfUiHost::AnswerOutstandingBoxes() {
  std::unique_lock<std::mutex> lock(outstandingMutex_);
  closing_ = true;
  for (const auto& box : outstanding_) {
    box->SetAnswer(box->Style().CancelAnswer());
  }
  // The waiting threads still touch the host on their way out.
  outstandingLeft_.wait(lock, [this] { return outstanding_.empty(); });
}
