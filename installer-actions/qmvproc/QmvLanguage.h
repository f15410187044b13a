#pragma once

#include "platform/text/XpString.h"

// One language of the package: the feature code of "<code>_Feature" and the
// folder below "Help" that holds its help files.
struct QmvLanguage {
  const char16_t* code;
  const char16_t* helpFolder;
};

// The language of an LCID text, compared exactly, first match wins;
// English for anything else.
const QmvLanguage& QmvLanguageOf(const XpString& lcid);
