#pragma once

#include <csignal>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "framework/ui/backend/XfUiBackend.h"
#include "framework/ui/backend/XfUiTerminalFormat.h"
#include "framework/ui/host/XfUiTimers.h"

class XpThread;
class XfUiForm;
class XfUiBox;
class XfUiFolderPick;
class SfProgressCtrl;

// Shows everything on a terminal and reads typed lines. A reader thread
// posts each line to the UI thread, so that thread never blocks in read.
// A dialog prints as a text block with numbered controls; a box offers its
// buttons by initial letter; the folder picker reads a path. A form that
// waits for input is printed again when one of its texts changes. A
// progress dialog (a bar, no accept command) on a terminal shows its
// heading once and then one status line redrawn in place: the bar, its
// percentage and the dialog's texts (time left, current file); on other
// output its bar is a plain line at each 5 % step and each changed text a
// line. The status line fits the terminal's width (read again after
// SIGWINCH) and never wraps: a narrow terminal shortens the bar, then cuts
// the texts. End of input cancels what is shown.
class XfUiTerminalBackend final : public XfUiBackend, public XfUiTimerTarget {
 public:
  // The descriptors stay open; outputIsTerminal chooses how bars are drawn.
  // Tests may run it on the virtual clock.
  XfUiTerminalBackend(int inputFd, int outputFd, bool outputIsTerminal, bool virtualClock = false);
  ~XfUiTerminalBackend() override;

  bool UsesVirtualClock() const override { return virtualClock_; }
  void Attach(XfUiHost& host) override;
  void Detach(XfUiHost& host) override;
  bool Step(XfUiHost& host) override;
  void OnClosed(XfUiHost& host, XfUiShown& shown) override;
  void OnInterrupt(XfUiHost& host, int signal) override;
  void OnTimer(uint32_t id) override;

 private:
  struct BarState {
    std::string line;
    int32_t step = -1;
    bool marquee = false;
  };

  static uint32_t ReadThread(void* argument);
  void ReadInput();
  void OnLine(std::string line);
  void OnEndOfInput();

  void Present(XfUiHost& host, XfUiShown& shown);
  void ApplyLine(XfUiHost& host, XfUiShown& shown, const std::string& line);
  void ApplyToForm(XfUiForm& form, const std::string& line);
  bool CancelOnEndOfInput(XfUiHost& host, XfUiShown& shown);
  // closing: the form is about to go, so it is not printed again.
  void DrawChanges(XfUiHost& host, XfUiForm& form, bool closing);
  static bool IsProgressDialog(const XfUiForm& form);
  bool HasStatusLine(const XfUiForm& form) const;
  void DrawStatus(XfUiForm& form);
  void DrawBar(int32_t id, SfProgressCtrl& bar);
  void ReadColumns();
  void NoticeResize();
  // What follows a bar on its line: the prompt while the dialog takes input.
  std::string BarSuffix() const;
  void UpdateAnimation(XfUiHost& host, XfUiForm& form);
  void CloseBarLine();
  // Writes text as a line of its own, after a prompt left open too.
  void WriteLine(const std::string& text);
  void Write(const std::string& text);

  int inputFd_;
  int outputFd_;
  bool outputIsTerminal_;
  bool virtualClock_;
  int stopFds_[2] = {-1, -1};
  XpThread* reader_ = nullptr;
  XfUiHost* host_ = nullptr;

  std::deque<std::string> lines_;
  bool endOfInput_ = false;

  uint64_t presentedSerial_ = 0;
  bool needsPresent_ = true;
  uint64_t formRevision_ = 0;
  std::vector<int32_t> numbers_;
  std::map<int32_t, std::string> texts_;
  std::map<int32_t, BarState> bars_;
  bool barLineOpen_ = false;
  // The progress dialog whose heading is printed, and its status line.
  uint64_t statusSerial_ = 0;
  std::string statusLine_;
  bool atLineStart_ = true;
  int32_t animationFrame_ = 0;
  uint32_t animationIntervalMs_ = 0;

  // The terminal's width; 0 while it is not known.
  int32_t columns_ = 0;
  int32_t barCells_ = XfUiTerminalFormat::kBarCells;
  uint32_t seenResizes_ = 0;
  bool resizeCaught_ = false;
  struct sigaction previousResize_ = {};
};
