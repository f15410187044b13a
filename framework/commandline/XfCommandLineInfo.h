#pragma once

#include "platform/text/XpString.h"

// The record a program's command line is parsed into. XfParseCommandLine
// feeds it one argument at a time; derived records override ParseParam (and
// call the base first) and name their flags in GetKnownFlags.
class XfCommandLineInfo {
 public:
  XfCommandLineInfo();
  virtual ~XfCommandLineInfo();

  // One argument, in command-line order. A flag arrives without its "-",
  // "--" or "/" prefix; isLast is true for the final argument. The base
  // keeps the first plain parameter as the file name.
  virtual void ParseParam(const char16_t* param, bool isFlag, bool isLast);

  // The flag names that "/name" may spell, compared without case. "-name"
  // and "--name" are flags whether known or not.
  virtual XpStringVector GetKnownFlags() const;

  // Whether name is one of GetKnownFlags, compared without case.
  bool IsKnownFlag(const XpString& name) const;

  XpString m_strFileName;
};

// Walks argv[1..argc-1] in order and hands each argument to info.ParseParam.
// An argument is a flag when it is "-" or "--" followed by at least one
// character (the rest is the name), or "/" followed by a known flag name.
// Everything else, "/tmp/x.xml", "-" and "--" included, is a plain
// parameter. Arguments are UTF-8; undecodable bytes survive as surrogate
// escapes.
void XfParseCommandLine(int argc, const char* const* argv, XfCommandLineInfo& info);
