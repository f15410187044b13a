#pragma once

#include "framework/commandline/SfAccessorCommandLineInfo.h"
#include "platform/text/XpString.h"

// The accessor's command-line record: the suite's accessor record plus the
// salvage request, "yes", which answers confirmations on runs without a
// terminal, and "help". "/salvage" and "/yes" are flags;
// "/data/salvage.xml" is a path.
class K2AccessorCommandLineInfo : public SfAccessorCommandLineInfo {
 public:
  K2AccessorCommandLineInfo();
  ~K2AccessorCommandLineInfo() override;

  // The base first; then "salvage", "yes" and "help", and the last-argument rules:
  // the last plain argument is not kept while an import is asked for, nor
  // when it is the import path.
  void ParseParam(const char16_t* param, bool isFlag, bool isLast) override;
  // The base's names, "salvage", "yes" and "help".
  XpStringVector GetKnownFlags() const override;

  bool m_bSalvage = false;
  bool m_bAssumeYes = false;
  bool m_bHelp = false;
};
