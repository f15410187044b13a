#include "imaging/format/XpFormatCheckerHooks.h"

#include <new>

#include "imaging/io/XpImageIo.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/movie/XpMoviePluginQueries.h"

namespace {

bool IsBetween(XpFormatKind kind, XpFormatKind first, XpFormatKind last) {
  return kind >= first && kind <= last;
}

// Kinds without a JPEG tag reader: the TIFF and raw kinds, whose readers
// are not built yet, and the GIF kinds, which have no tag reader at all.
bool HasNoTagReader(XpFormatKind kind) {
  return kind == kXpKindTiff || kind == kXpKindMrw || IsBetween(kind, kXpKindZkp, kXpKindZk2) ||
         IsBetween(kind, kXpKindZkwByName, kXpKindZkwOther) || kind == kXpKindGif ||
         kind == kXpKindAnimatedGif;
}

XpSharedPtr<XpImageIo> DefaultTagReader(XpFormatKind kind) {
  if (HasNoTagReader(kind)) {
    return XpSharedPtr<XpImageIo>();
  }
  return XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoJpeg());
}

// Without a GIF reader every GIF path is of no known kind.
XpFormatKind DefaultGifKind(const XpString&) { return kXpKindUnknown; }

bool DefaultZkwModelTest(const XpString&) { return false; }

bool DefaultPluginAnswer(XpMoviePluginQuery query, XpFormatKind kind, const XpString& pluginFolder) {
  return XpMoviePluginQueries::Answer(query, kind, pluginFolder);
}

XpFormatCheckerHooks::Table& CurrentTable() {
  static XpFormatCheckerHooks::Table table = XpFormatCheckerHooks::Defaults();
  return table;
}

}  // namespace

XpFormatCheckerHooks::Table XpFormatCheckerHooks::Defaults() {
  return Table{DefaultTagReader, DefaultGifKind, DefaultZkwModelTest, DefaultPluginAnswer};
}

XpFormatCheckerHooks::Table XpFormatCheckerHooks::Install(const Table& table) {
  const Table defaults = Defaults();
  Table& current = CurrentTable();
  const Table previous = current;
  current.createTagReader =
      table.createTagReader != nullptr ? table.createTagReader : defaults.createTagReader;
  current.gifKindOfPath =
      table.gifKindOfPath != nullptr ? table.gifKindOfPath : defaults.gifKindOfPath;
  current.isZkwEarlyModelFile = table.isZkwEarlyModelFile != nullptr
                                    ? table.isZkwEarlyModelFile
                                    : defaults.isZkwEarlyModelFile;
  current.moviePluginAnswers = table.moviePluginAnswers != nullptr
                                   ? table.moviePluginAnswers
                                   : defaults.moviePluginAnswers;
  return previous;
}

XpSharedPtr<XpImageIo> XpFormatCheckerHooks::CreateTagReader(XpFormatKind kind) {
  return CurrentTable().createTagReader(kind);
}

XpFormatKind XpFormatCheckerHooks::GifKindOfPath(const XpString& path) {
  return CurrentTable().gifKindOfPath(path);
}

bool XpFormatCheckerHooks::IsZkwEarlyModelFile(const XpString& path) {
  return CurrentTable().isZkwEarlyModelFile(path);
}

bool XpFormatCheckerHooks::MoviePluginAnswers(XpMoviePluginQuery query, XpFormatKind kind,
                                              const XpString& pluginFolder) {
  return CurrentTable().moviePluginAnswers(query, kind, pluginFolder);
}
