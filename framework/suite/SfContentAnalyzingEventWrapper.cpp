#include "framework/suite/SfContentAnalyzingEventWrapper.h"

SfContentAnalyzingEventWrapper::SfContentAnalyzingEventWrapper() {
  if (event_.CreateEvent(kEventName, false) != kXpOk) return;
  // An event that could not be set tells the other programs nothing: let it go.
  if (event_.SetEvent() != kXpOk) event_.Close();
}

SfContentAnalyzingEventWrapper::~SfContentAnalyzingEventWrapper() { event_.Close(); }
