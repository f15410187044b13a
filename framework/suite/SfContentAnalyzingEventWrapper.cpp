#include "framework/suite/SfContentAnalyzingEventWrapper.h"

SfContentAnalyzingEventWrapper::SfContentAnalyzingEventWrapper() {
  if (event_.CreateEvent(kEventName, false) != kXpOk) return;
  // A waiter that misses the event only analyses later; nothing is lost.
  (void)event_.SetEvent();
}

SfContentAnalyzingEventWrapper::~SfContentAnalyzingEventWrapper() { event_.Close(); }
