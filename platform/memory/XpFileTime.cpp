#include "platform/memory/XpFileTime.h"

XpFileTime::XpFileTime() { TouchAll(); }

void XpFileTime::TouchAll() {
  created_ = XpDateTime::Now();
  modified_ = created_;
  accessed_ = created_;
}

void XpFileTime::TouchModified() {
  modified_ = XpDateTime::Now();
  accessed_ = modified_;
}

void XpFileTime::TouchAccessed() { accessed_ = XpDateTime::Now(); }
