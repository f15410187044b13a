#pragma once

#include "imaging/format/XpFormatCheckerHooks.h"
#include "imaging/format/XpFormatKind.h"
#include "platform/text/XpString.h"

// The format checker's movie plug-in queries, answered by a plug-in manager
// over the folder.
class XpMoviePluginQueries {
 public:
  // IsSupportedType or IsAnalyzableType of a manager over pluginFolder.
  static bool Answer(XpMoviePluginQuery query, XpFormatKind kind, const XpString& pluginFolder);
  // Puts Answer into the format checker's hooks; returns the table it
  // replaces. Call before other threads use the checker.
  static XpFormatCheckerHooks::Table Install();
};
