#pragma once

#include <cstdint>
#include <optional>

class XfUiHost;
class XfUiShown;

// How the UI host shows things and gets answers: a terminal, a script or
// automatic answers. The host calls every operation on the UI thread.
class XfUiBackend {
 public:
  virtual ~XfUiBackend() = default;

  // Timers run on a virtual clock with this back end.
  virtual bool UsesVirtualClock() const { return false; }
  // Whether the image of a picture item reaches the user. The text back
  // ends show where a picture stands, never its pixels.
  virtual bool ShowsPictures() const { return false; }
  // The host is ready (back ends start their input threads here) and about
  // to go.
  virtual void Attach(XfUiHost& /*host*/) {}
  virtual void Detach(XfUiHost& /*host*/) {}

  // Called whenever the host's loop has nothing else to run: present what
  // changed and act on the innermost thing shown. True when it did
  // something, so the loop looks again before it waits.
  virtual bool Step(XfUiHost& host) = 0;
  // When Step wants to run again at the latest, on the host's clock.
  virtual std::optional<int64_t> NextDeadline(const XfUiHost& /*host*/) const { return std::nullopt; }

  // Something shown was answered, ended or picked and is about to go.
  virtual void OnClosed(XfUiHost& /*host*/, XfUiShown& /*shown*/) {}
  // A stop signal (Ctrl-C) arrived; the host acts on it next.
  virtual void OnInterrupt(XfUiHost& /*host*/, int /*signal*/) {}
  // True once a confirmation was declined because no one was there to
  // answer it.
  virtual bool HasDeclinedUnattended() const { return false; }
  // The program ends.
  virtual void Finish(XfUiHost& /*host*/) {}
};
