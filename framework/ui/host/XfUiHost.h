#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "framework/queue/XfMessageQueue.h"
#include "framework/ui/backend/XfUiBackend.h"
#include "framework/ui/dialog/XfDialogPresenter.h"
#include "framework/ui/host/XfUiClock.h"
#include "framework/ui/host/XfUiShown.h"
#include "framework/ui/host/XfUiTheme.h"
#include "framework/ui/host/XfUiTimers.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

class XfUiSignalCatcher;

// The framework number of closures the host posts; XfPumpMessage runs them.
inline constexpr uint32_t kXfUiPostedMessage = 0x9390;

struct XfUiHostOptions {
  // --yes: the automatic back end accepts confirmations.
  bool yes = false;
  // Catch SIGINT, SIGTERM and SIGHUP while the host lives.
  bool catchSignals = true;
};

// The program's user interface. Made once, on the main thread, which
// becomes the UI thread: the host owns that thread's message queue, its
// timers and the back end. Dialogs run modally in nested loops; message
// boxes may be asked for from any thread and are shown one at a time.
//
// Example: a host on the automatic back end; a worker asks a question and
// the UI thread runs the loop until the answer is back.
//
//   XfUiHostOptions options;
//   options.yes = true;  // --yes: the question is accepted
//   XfUiHost host(std::make_unique<XfUiAutomaticBackend>(STDERR_FILENO), options);
//   int32_t answer = 0;  // the UI thread's
//   std::thread worker([&host, &answer] {
//     const int32_t got = host.MessageBox(u"Export", u"Copy the files?",
//                                         kXfMbOkCancel | kXfMbIconQuestion);
//     host.Post([&answer, got] { answer = got; });  // wakes the loop
//   });
//   host.RunUntil([&answer] { return answer != 0; });  // kXfIdOk; kXfIdCancel without --yes
//   worker.join();
//   return host.Finish();  // 0, or 1 once a back end failed the run
class XfUiHost {
 public:
  using Closure = std::function<void()>;

  XfUiHost(std::unique_ptr<XfUiBackend> backend, const XfUiHostOptions& options = {});
  XfUiHost(const XfUiHost&) = delete;
  XfUiHost& operator=(const XfUiHost&) = delete;
  ~XfUiHost();

  // The host of the program; null when there is none.
  static XfUiHost* Instance();
  bool IsUiThread() const;
  bool IsYes() const { return options_.yes; }
  // Whether the back end shows the images of picture items; from any
  // thread.
  bool ShowsPictures() const { return backend_->ShowsPictures(); }

  // Runs closure on the UI thread; from any thread. False once the queue is
  // closed. Closures still queued when the host goes are dropped.
  bool Post(Closure closure);
  // As Post, but dropped (false) when the dialog is not running, and dropped
  // unrun when it has ended by the time the closure's turn comes.
  bool PostToDialog(const XfDialogPresenter& dialog, Closure closure);

  // Runs the dialog in a nested loop until it ends and returns its end code;
  // -1 off the UI thread or for a dialog that runs already.
  int32_t RunModal(XfDialogPresenter& presenter);
  // Shows a message box and returns the answer (kXfIdOk ... kXfIdNo). From
  // any thread: the caller blocks until the box is answered. Boxes still
  // waiting when the host goes get their cancel answer.
  int32_t MessageBox(const XpString& caption, const XpString& text, uint32_t style);
  // As MessageBox, for a box whose role its style does not tell.
  int32_t MessageBox(const XpString& caption, const XpString& text, uint32_t style, XfUiBoxRole role);
  // Asks for a folder until the validator takes one; nothing when the
  // picker is cancelled. UI thread only (nothing elsewhere).
  std::optional<XpString> PickFolder(const XpString& title, const XpString& caption, const XpString& okText,
                                     const XpString& initialPath, const XfFolderValidator& validator);

  // Timers; their callbacks run on the UI thread in every loop.
  void SetTimer(XfUiTimerTarget* owner, uint32_t id, uint32_t intervalMs);
  void KillTimer(XfUiTimerTarget* owner, uint32_t id);
  XfUiTimers& Timers() { return timers_; }
  const XfUiClock& Clock() const { return *clock_; }
  int64_t NowMs() const { return clock_->NowMs(); }
  // Moves the virtual clock forward, firing due timers in due order. Does
  // nothing on the real clock.
  void Advance(int64_t ms);

  // Stands in for WM_QUIT: once asked, it stays asked until the program
  // ends; no loop consumes it.
  void RequestQuit();
  bool IsQuitRequested() const { return quitRequested_.load(); }
  // While busy (a child program runs), forms take no input.
  void SetModalBusy(bool busy);
  bool IsModalBusy() const { return modalBusy_.load(); }

  XfUiTheme& Theme() { return theme_; }

  // Runs the loop until done() holds (tests and nested loops); UI thread
  // only. done() is checked after each thing the loop runs; another thread
  // that makes it true must post, so that the loop wakes.
  void RunUntil(const std::function<bool()>& done);
  // Runs what can run now without waiting; true when anything ran.
  bool RunPending();

  // Acts on the innermost thing shown as Ctrl-C does: a pending box gets
  // its interrupt answer (Yes for a stop question, else its cancel answer); else a folder picker is cancelled, or the innermost
  // dialog gets its cancel command. A dialog that has no cancel command or
  // refuses it (disabled, busy) is left as it is. Only with nothing shown is
  // quit requested.
  void Interrupt();

  // For back ends: what is shown, innermost last, and the answers.
  XfUiShown* Innermost() const;
  std::vector<XfUiForm*> Forms() const;
  void AnswerBox(XfUiBox& box, int32_t answer);
  void EndFolderPick(XfUiFolderPick& pick);
  XfUiBackend& Backend() { return *backend_; }

  // A confirmation was declined because no one was there to answer it
  // (no terminal and no --yes).
  bool HasDeclinedUnattended() const { return backend_->HasDeclinedUnattended(); }

  // A back end found that the run went wrong (an unexpected interaction).
  void Fail();
  bool HasFailed() const { return failed_.load(); }
  // kXpOk, or kXpErrGeneric once the run failed.
  [[nodiscard]] XpResult Result() const { return HasFailed() ? kXpErrGeneric : kXpOk; }
  // Tells the back end that the program ends; returns the exit status
  // (0, or 1 when the run failed). Later calls only return the status.
  int Finish();

 private:
  bool PostInternal(Closure closure);
  bool RunOneStep();
  void WaitIdle();
  void ShowBox(const std::shared_ptr<XfUiBox>& box);
  void CloseAfterLoop(XfUiShown& shown);
  void AnswerOutstandingBoxes();

  XfUiHostOptions options_;
  std::unique_ptr<XfUiBackend> backend_;
  std::unique_ptr<XfUiClock> clock_;
  XfUiVirtualClock* virtualClock_ = nullptr;
  XfUiTimers timers_;
  XfUiTheme theme_;
  XpSharedPtr<XfMessageQueue> queue_;
  std::thread::id uiThread_;
  std::shared_ptr<std::atomic<bool>> alive_;
  std::unique_ptr<XfUiSignalCatcher> signals_;

  std::vector<XfUiShown*> shown_;
  std::deque<XfUiBox*> boxes_;
  std::atomic<uint64_t> nextSerial_{1};

  std::mutex outstandingMutex_;
  std::condition_variable outstandingLeft_;
  std::vector<std::shared_ptr<XfUiBox>> outstanding_;
  bool closing_ = false;

  std::atomic<bool> quitRequested_{false};
  std::atomic<bool> modalBusy_{false};
  std::atomic<bool> failed_{false};
  bool finished_ = false;
};
