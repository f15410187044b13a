#pragma once

#include "platform/sync/XpNamedObject.h"

// Holds the machine-wide manual-reset event that tells the suite's other
// programs that contents are being analysed. The event is set as soon as it
// is made and never reset: it stays signalled while any holder keeps it.
class SfContentAnalyzingEventWrapper {
 public:
  static constexpr const char16_t* kEventName = u"Global\\KavoOrvaneContentAnalyzingEvent";

  SfContentAnalyzingEventWrapper();
  SfContentAnalyzingEventWrapper(const SfContentAnalyzingEventWrapper&) = delete;
  SfContentAnalyzingEventWrapper& operator=(const SfContentAnalyzingEventWrapper&) = delete;
  virtual ~SfContentAnalyzingEventWrapper();

  // False when the event could not be made or set; then nothing was set.
  bool IsHeld() const { return event_.IsOpen(); }

 private:
  XpNamedObject event_;
};
