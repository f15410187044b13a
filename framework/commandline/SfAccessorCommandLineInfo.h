#pragma once

#include <cstdint>

#include "framework/commandline/XfCommandLineInfo.h"
#include "platform/text/XpString.h"

// The command-line record of the suite's accessor programs: the export
// request (a content-info file), the import request, the score-import flag
// and the handle of the window that started the accessor. A flag takes at
// most one plain parameter, the one right after it.
class SfAccessorCommandLineInfo : public XfCommandLineInfo {
 public:
  SfAccessorCommandLineInfo();
  ~SfAccessorCommandLineInfo() override;

  void ParseParam(const char16_t* param, bool isFlag, bool isLast) override;
  // "export", "import", "importscore", "parentwindow".
  XpStringVector GetKnownFlags() const override;

  bool m_bExport = false;
  bool m_bImport = false;
  bool m_bImportScore = false;
  XpString m_strExportFile;
  XpString m_strImportPath;
  // The last argument, when it is a plain parameter.
  XpString m_strLastParam;
  // Read as hexadecimal; kept, though nothing on this system uses it.
  uint32_t m_hParentWnd = 0;
  // The most recent flag; cleared once a plain parameter was handled.
  XpString m_strLastFlag;
};

// Reads text as hexadecimal in the manner of "%x": leading blanks, an
// optional "0x" or "0X", then hexadecimal digits up to the first other
// character. False, and *value unchanged, without a digit or with more than
// eight significant digits.
bool SfParseHexHandle(const XpString& text, uint32_t* value);
