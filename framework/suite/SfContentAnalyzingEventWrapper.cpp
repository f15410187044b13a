#include "framework/suite/SfContentAnalyzingEventWrapper.h"

SfContentAnalyzingEventWrapper::SfContentAnalyzingEventWrapper() {
  if (event_.CreateEvent(kEventName, false) != kXpOk) return;
  event_.SetEvent();
}

SfContentAnalyzingEventWrapper::~SfContentAnalyzingEventWrapper() { event_.Close(); }
