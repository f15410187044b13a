#pragma once

#include <cstdint>

#include "platform/sync/XpNamedObject.h"
#include "platform/text/XpString.h"

// Tells a program whether it is the first running instance of its own
// program file: it creates a named mutex whose name is the program's path,
// so copies of one program in different folders do not exclude each other.
class XpSingleInstanceMutex {
 public:
  // global: in the namespace of every user of the machine.
  explicit XpSingleInstanceMutex(bool global);
  // The same for a given program path.
  XpSingleInstanceMutex(bool global, const XpString& programPath);
  XpSingleInstanceMutex(const XpSingleInstanceMutex&) = delete;
  XpSingleInstanceMutex& operator=(const XpSingleInstanceMutex&) = delete;
  virtual ~XpSingleInstanceMutex() = default;

  // True when this object made the mutex; false when it existed or could
  // not be made.
  bool IsFirstInstance() const { return acquired_; }

  // The mutex name of a program path: '\' becomes '/', ASCII capitals become
  // small letters (other characters stay as they are), and "Global\" comes
  // first when global is asked for on a system of major version 5 or later.
  static XpString BuildName(const XpString& programPath, bool global, uint32_t osMajorVersion);
  // This program's own file; empty when it cannot be read.
  static XpString ProgramPath();

 private:
  XpNamedObject mutex_;
  bool acquired_ = false;
};
