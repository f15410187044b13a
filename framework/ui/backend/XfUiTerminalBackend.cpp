#include "framework/ui/backend/XfUiTerminalBackend.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string_view>
#include <utility>

#include "framework/ui/backend/XfUiTerminalFormat.h"
#include "framework/ui/host/XfUiHost.h"
#include "platform/fs/XpRestarted.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpWriteAll.h"
#include "platform/thread/XpThread.h"

namespace {

namespace fmt = XfUiTerminalFormat;

constexpr size_t kReadChunk = 4096;
constexpr int32_t kPlainStepPercent = 5;
constexpr uint32_t kAnimationTimer = 1;
// A terminal is not redrawn faster than this.
constexpr uint32_t kMinimumAnimationMs = 100;
constexpr int32_t kMarqueeStart = -5;
constexpr const char* kEraseLine = "\r\x1b[K";

// Counts SIGWINCH; a back end reads the width again when the count moved.
std::atomic<uint32_t> gResizes{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free);

extern "C" void CountResize(int /*signal*/) { gResizes.fetch_add(1); }

bool IsBarItem(const XfDialogItem& item) { return item.Progress() != nullptr; }

XfUiSize BarClient(int32_t cells) { return XfUiSize{cells * fmt::kCellPixels, fmt::kBarPixelsHigh}; }

}  // namespace

XfUiTerminalBackend::XfUiTerminalBackend(int inputFd, int outputFd, bool outputIsTerminal, bool virtualClock)
    : inputFd_(inputFd), outputFd_(outputFd), outputIsTerminal_(outputIsTerminal), virtualClock_(virtualClock) {}

XfUiTerminalBackend::~XfUiTerminalBackend() {
  if (host_ != nullptr) {
    Detach(*host_);
  }
}

void XfUiTerminalBackend::Attach(XfUiHost& host) {
  host_ = &host;
  if (outputIsTerminal_) {
    struct sigaction action = {};
    action.sa_handler = CountResize;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    resizeCaught_ = sigaction(SIGWINCH, &action, &previousResize_) == 0;
    seenResizes_ = gResizes.load();
    ReadColumns();
  }
  if (XpSysCalls::Current().Pipe2(stopFds_, O_CLOEXEC) != 0) {
    stopFds_[0] = stopFds_[1] = -1;
    endOfInput_ = true;
    return;
  }
  reader_ = XpThread::Create(&XfUiTerminalBackend::ReadThread, this);
  if (reader_ == nullptr) {
    endOfInput_ = true;
  }
}

void XfUiTerminalBackend::Detach(XfUiHost& host) {
  CloseBarLine();
  host.Timers().KillAll(this);
  if (reader_ != nullptr) {
    const char stop = 0;
    // A pipe of our own with room for a byte: the write cannot fail.
    (void)XpWriteAll(XpSysCalls::Current(), stopFds_[1], &stop, 1);
    XpThread::Join(reader_);
    reader_ = nullptr;
  }
  for (int& fd : stopFds_) {
    if (fd >= 0) {
      XpSysCalls::Current().Close(fd);
      fd = -1;
    }
  }
  if (resizeCaught_) {
    sigaction(SIGWINCH, &previousResize_, nullptr);
    resizeCaught_ = false;
  }
  host_ = nullptr;
}

void XfUiTerminalBackend::ReadColumns() {
  winsize size = {};
  if (XpSysCalls::Current().Ioctl(outputFd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    columns_ = size.ws_col;
  }
}

void XfUiTerminalBackend::NoticeResize() {
  const uint32_t resizes = gResizes.load();
  if (!outputIsTerminal_ || resizes == seenResizes_) {
    return;
  }
  seenResizes_ = resizes;
  ReadColumns();
}

std::string XfUiTerminalBackend::BarSuffix() const { return numbers_.empty() ? "" : "  " + fmt::FormPrompt(); }

uint32_t XfUiTerminalBackend::ReadThread(void* argument) {
  static_cast<XfUiTerminalBackend*>(argument)->ReadInput();
  return 0;
}

void XfUiTerminalBackend::ReadInput() {
  std::string pending;
  char buffer[kReadChunk];
  for (;;) {
    pollfd fds[2] = {{inputFd_, POLLIN, 0}, {stopFds_[0], POLLIN, 0}};
    if (XpRestarted([&] { return poll(fds, 2, -1); }) < 0) {
      break;
    }
    if (fds[1].revents != 0) {
      return;
    }
    const ssize_t got = XpSysCalls::Current().Read(inputFd_, buffer, sizeof(buffer));
    if (got < 0 && errno == EAGAIN) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    pending.append(buffer, static_cast<size_t>(got));
    size_t newline = 0;
    while ((newline = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, newline);
      pending.erase(0, newline + 1);
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();
      }
      host_->Post([this, line = std::move(line)]() mutable { OnLine(std::move(line)); });
    }
  }
  if (!pending.empty()) {
    host_->Post([this, line = std::move(pending)]() mutable { OnLine(std::move(line)); });
  }
  host_->Post([this] { OnEndOfInput(); });
}

void XfUiTerminalBackend::OnLine(std::string line) { lines_.push_back(std::move(line)); }

void XfUiTerminalBackend::OnEndOfInput() { endOfInput_ = true; }

bool XfUiTerminalBackend::Step(XfUiHost& host) {
  XfUiShown* innermost = host.Innermost();
  if (innermost == nullptr) {
    CloseBarLine();
    return false;
  }
  if (innermost->Serial() != presentedSerial_ || needsPresent_) {
    Present(host, *innermost);
  } else if (innermost->Kind() == XfUiShownKind::kForm) {
    DrawChanges(host, static_cast<XfUiForm&>(*innermost), false);
    if (needsPresent_) {
      Present(host, *innermost);
    }
  }
  if (!lines_.empty()) {
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    CloseBarLine();
    ApplyLine(host, *innermost, line);
    return true;
  }
  if (endOfInput_) {
    return CancelOnEndOfInput(host, *innermost);
  }
  return false;
}

void XfUiTerminalBackend::Present(XfUiHost& host, XfUiShown& shown) {
  CloseBarLine();
  NoticeResize();
  presentedSerial_ = shown.Serial();
  needsPresent_ = false;
  switch (shown.Kind()) {
    case XfUiShownKind::kBox: {
      auto& box = static_cast<XfUiBox&>(shown);
      Write(fmt::BoxPrompt(box.Caption(), box.Text(), box.Style()));
      return;
    }
    case XfUiShownKind::kFolder: {
      auto& pick = static_cast<XfUiFolderPick&>(shown);
      Write(fmt::FolderPrompt(pick.Title(), pick.Caption(), pick.InitialPath()));
      return;
    }
    case XfUiShownKind::kForm: {
      auto& form = static_cast<XfUiForm&>(shown);
      const XfDialogModel& model = form.Model();
      const bool status = HasStatusLine(form);
      fmt::FormBlock block = fmt::RenderForm(model, form.Presenter().AcceptCommand(), columns_, status);
      numbers_ = std::move(block.numbers);
      barCells_ = outputIsTerminal_ ? fmt::BarCellsFor(columns_, BarSuffix().size()) : fmt::kBarCells;
      texts_.clear();
      bars_.clear();
      for (const auto& item : model.Items()) {
        texts_[item->Id()] = item->Text().ToMultiByte().ToStdString();
        if (IsBarItem(*item)) {
          SfProgressCtrl& bar = *item->Progress();
          bar.SetClientSize(BarClient(barCells_));
          bars_[item->Id()] = BarState{"", fmt::ProgressPercent(bar) / kPlainStepPercent, bar.IsMarqueeOn()};
        }
      }
      formRevision_ = model.Revision();
      if (status) {
        // Back from a box over it, the dialog's heading still stands above.
        if (statusSerial_ != form.Serial()) {
          Write(block.text);
        }
        statusSerial_ = form.Serial();
        statusLine_.clear();
        UpdateAnimation(host, form);
        DrawStatus(form);
        return;
      }
      Write(block.text + (numbers_.empty() ? "" : fmt::FormPrompt()));
      UpdateAnimation(host, form);
      return;
    }
  }
}

bool XfUiTerminalBackend::IsProgressDialog(const XfUiForm& form) {
  return form.Presenter().AcceptCommand() == 0 && form.Model().FirstProgressItem() != nullptr;
}

bool XfUiTerminalBackend::HasStatusLine(const XfUiForm& form) const {
  return outputIsTerminal_ && IsProgressDialog(form);
}

void XfUiTerminalBackend::DrawStatus(XfUiForm& form) {
  const XfDialogModel& model = form.Model();
  const std::vector<std::string> texts = fmt::StatusTexts(model);
  const std::string suffix = BarSuffix();
  std::string barLine;
  for (const auto& item : model.Items()) {
    if (!IsBarItem(*item) || !item->IsVisible()) {
      continue;
    }
    SfProgressCtrl& bar = *item->Progress();
    barCells_ = fmt::StatusBarCells(columns_, texts, suffix);
    bar.SetClientSize(BarClient(barCells_));
    const int32_t position = bar.HasNativeMarquee() ? animationFrame_ : bar.MarqueePosition();
    barLine = fmt::ProgressLine(bar, barCells_, position);
    break;
  }
  const std::string line = fmt::StatusLine(barLine, texts, suffix, columns_);
  if (line == statusLine_ && barLineOpen_) {
    return;
  }
  statusLine_ = line;
  Write(kEraseLine + line);
  barLineOpen_ = true;
}

void XfUiTerminalBackend::DrawChanges(XfUiHost& host, XfUiForm& form, bool closing) {
  const XfDialogModel& model = form.Model();
  NoticeResize();
  if (HasStatusLine(form)) {
    UpdateAnimation(host, form);
    DrawStatus(form);
    formRevision_ = model.Revision();
    return;
  }
  const bool progress = IsProgressDialog(form);
  if (outputIsTerminal_) {
    barCells_ = fmt::BarCellsFor(columns_, BarSuffix().size());
  }
  UpdateAnimation(host, form);
  for (const auto& item : model.Items()) {
    if (IsBarItem(*item)) {
      if (item->IsVisible()) {
        DrawBar(item->Id(), *item->Progress());
      }
      continue;
    }
    std::string text = item->Text().ToMultiByte().ToStdString();
    std::string& known = texts_[item->Id()];
    if (text == known) {
      continue;
    }
    known = text;
    if (item->Kind() != XfItemKind::kStatic || !item->IsVisible()) {
      continue;
    }
    if (!progress) {
      // A form that waits for input is shown again with the new value
      // beside its label.
      needsPresent_ = needsPresent_ || !closing;
      continue;
    }
    if (!text.empty()) {
      CloseBarLine();
      WriteLine("     " + text);
    }
  }
  formRevision_ = model.Revision();
}

void XfUiTerminalBackend::DrawBar(int32_t id, SfProgressCtrl& bar) {
  BarState& state = bars_[id];
  if (outputIsTerminal_) {
    // A bar that drew its own marquee on a wider line walks the new width.
    bar.SetClientSize(BarClient(barCells_));
    const int32_t position = bar.HasNativeMarquee() ? animationFrame_ : bar.MarqueePosition();
    const std::string line = fmt::FitToWidth(fmt::ProgressLine(bar, barCells_, position), BarSuffix(), columns_);
    if (line == state.line && barLineOpen_) {
      return;
    }
    state.line = line;
    Write(kEraseLine + line);
    barLineOpen_ = true;
    return;
  }
  const bool marquee = bar.IsMarqueeOn();
  const int32_t step = fmt::ProgressPercent(bar) / kPlainStepPercent;
  if (marquee == state.marquee && (marquee || step == state.step)) {
    return;
  }
  state.marquee = marquee;
  state.step = step;
  WriteLine(marquee ? std::string("[working]") : fmt::ProgressLine(bar, fmt::kBarCells, 0));
}

void XfUiTerminalBackend::UpdateAnimation(XfUiHost& host, XfUiForm& form) {
  uint32_t interval = 0;
  for (const auto& item : form.Model().Items()) {
    const SfProgressCtrl* bar = item->Progress();
    if (bar != nullptr && bar->IsMarqueeStyle() && item->IsVisible()) {
      interval = std::max(bar->MarqueeIntervalMs(), kMinimumAnimationMs);
    }
  }
  if (!outputIsTerminal_) {
    interval = 0;
  }
  if (interval == animationIntervalMs_) {
    return;
  }
  animationIntervalMs_ = interval;
  if (interval == 0) {
    host.KillTimer(this, kAnimationTimer);
    return;
  }
  animationFrame_ = kMarqueeStart;
  host.SetTimer(this, kAnimationTimer, interval);
}

void XfUiTerminalBackend::OnTimer(uint32_t id) {
  if (id != kAnimationTimer) {
    return;
  }
  ++animationFrame_;
  if (animationFrame_ >= SfProgressCtrl::MarqueePositionCount(BarClient(barCells_))) {
    animationFrame_ = 0;
  }
}

void XfUiTerminalBackend::ApplyLine(XfUiHost& host, XfUiShown& shown, const std::string& line) {
  switch (shown.Kind()) {
    case XfUiShownKind::kBox: {
      auto& box = static_cast<XfUiBox&>(shown);
      const std::optional<int32_t> answer = fmt::ParseBoxAnswer(box.Style(), line);
      if (!answer) {
        Write(fmt::BoxRetry(box.Style()) + "> ");
        return;
      }
      host.AnswerBox(box, *answer);
      return;
    }
    case XfUiShownKind::kFolder: {
      auto& pick = static_cast<XfUiFolderPick&>(shown);
      const std::optional<XpString> path = fmt::ParseFolderAnswer(line, pick.InitialPath());
      if (!path) {
        host.EndFolderPick(pick);
        return;
      }
      if (!pick.Offer(*path)) {
        Write(pick.Refusal().ToMultiByte().ToStdString() + "\n" +
              fmt::FolderAsk(pick.InitialPath()));
      }
      return;
    }
    case XfUiShownKind::kForm:
      ApplyToForm(static_cast<XfUiForm&>(shown), line);
      return;
  }
}

void XfUiTerminalBackend::ApplyToForm(XfUiForm& form, const std::string& line) {
  const fmt::FormInput input = fmt::ParseFormLine(numbers_, line);
  XfUiInput result = XfUiInput::kTaken;
  switch (input.kind) {
    case fmt::FormInput::Kind::kInvalid:
      Write("Type one of the numbers shown.\n" + fmt::FormPrompt());
      return;
    case fmt::FormInput::Kind::kAccept: {
      const int32_t accept = form.Presenter().AcceptCommand();
      result = accept != 0 ? form.Command(accept) : XfUiInput::kNoSuchControl;
      break;
    }
    case fmt::FormInput::Kind::kControl: {
      const XfDialogItem* item = form.Model().Find(input.id);
      const bool isEdit = item != nullptr && item->Kind() == XfItemKind::kEdit;
      result = isEdit ? form.Type(input.id, input.text) : form.Click(input.id);
      break;
    }
  }
  if (result != XfUiInput::kTaken) {
    Write(std::string("Not available: ") + XfUiInputName(result) + ".\n" + fmt::FormPrompt());
    return;
  }
  needsPresent_ = !form.IsDone();
}

bool XfUiTerminalBackend::CancelOnEndOfInput(XfUiHost& host, XfUiShown& shown) {
  switch (shown.Kind()) {
    case XfUiShownKind::kBox: {
      auto& box = static_cast<XfUiBox&>(shown);
      host.AnswerBox(box, box.Style().CancelAnswer());
      return true;
    }
    case XfUiShownKind::kFolder:
      host.EndFolderPick(static_cast<XfUiFolderPick&>(shown));
      return true;
    case XfUiShownKind::kForm: {
      XfDialogPresenter& presenter = static_cast<XfUiForm&>(shown).Presenter();
      const int32_t cancel = presenter.CancelCommand();
      if (presenter.AcceptCommand() == 0) {
        // A dialog without an accept command ends by itself.
        return false;
      }
      if (cancel == 0 || static_cast<XfUiForm&>(shown).Command(cancel) != XfUiInput::kTaken || !presenter.HasEnded()) {
        presenter.End(cancel != 0 ? cancel : kXfIdCancel);
      }
      return true;
    }
  }
  return false;
}

void XfUiTerminalBackend::OnClosed(XfUiHost& host, XfUiShown& shown) {
  if (shown.Kind() == XfUiShownKind::kForm) {
    DrawChanges(host, static_cast<XfUiForm&>(shown), true);
    if (statusSerial_ == shown.Serial()) {
      statusSerial_ = 0;
    }
    host.KillTimer(this, kAnimationTimer);
    animationIntervalMs_ = 0;
  }
  CloseBarLine();
  // Whatever is innermost next is shown again.
  presentedSerial_ = 0;
}

void XfUiTerminalBackend::OnInterrupt(XfUiHost& /*host*/, int /*signal*/) {
  CloseBarLine();
  Write("\n");
}

void XfUiTerminalBackend::CloseBarLine() {
  if (barLineOpen_) {
    barLineOpen_ = false;
    Write("\n");
  }
}

void XfUiTerminalBackend::WriteLine(const std::string& text) {
  Write((atLineStart_ ? "" : "\n") + text + "\n");
}

void XfUiTerminalBackend::Write(const std::string& text) {
  if (text.empty()) {
    return;
  }
  atLineStart_ = text.back() == '\n';
  // A terminal that went away has no one left to tell; end of input then
  // cancels what is shown.
  (void)XpWriteAll(XpSysCalls::Current(), outputFd_, text.data(), text.size());
}
