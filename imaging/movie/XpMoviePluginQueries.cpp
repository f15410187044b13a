#include "imaging/movie/XpMoviePluginQueries.h"

#include "imaging/movie/XpMoviePluginManager.h"

bool XpMoviePluginQueries::Answer(XpMoviePluginQuery query, XpFormatKind kind,
                                  const XpString& pluginFolder) {
  XpMoviePluginManager manager(pluginFolder);
  if (query == XpMoviePluginQuery::kAnalyzable) {
    return manager.IsAnalyzableType(kind);
  }
  return manager.IsSupportedType(kind);
}

XpFormatCheckerHooks::Table XpMoviePluginQueries::Install() {
  XpFormatCheckerHooks::Table table = XpFormatCheckerHooks::Defaults();
  table.moviePluginAnswers = &XpMoviePluginQueries::Answer;
  return XpFormatCheckerHooks::Install(table);
}
