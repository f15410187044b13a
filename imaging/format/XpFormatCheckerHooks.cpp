#include "imaging/format/XpFormatCheckerHooks.h"

#include <new>

#include "imaging/io/XpImageIo.h"
#include "imaging/gif/XpImageIoGIF.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/movie/XpMoviePluginQueries.h"
#include "imaging/raw/XpImageIoMRW.h"
#include "imaging/raw/XpImageIoZKP.h"
#include "imaging/tiff/XpImageIoTiff.h"

namespace {

bool IsBetween(XpFormatKind kind, XpFormatKind first, XpFormatKind last) {
  return kind >= first && kind <= last;
}

// The raw readers date their own kinds: MRW, and the ZKP family made for
// its kind. Empty for every other kind.
XpSharedPtr<XpImageIo> RawTagReader(XpFormatKind kind) {
  if (kind == kXpKindMrw) {
    return XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoMRW());
  }
  if (IsBetween(kind, kXpKindZkp, kXpKindZk2) ||
      IsBetween(kind, kXpKindZkwByName, kXpKindZkwOther)) {
    return XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoZKP(kind));
  }
  return XpSharedPtr<XpImageIo>();
}

// Kinds without a JPEG tag reader: those of their own readers (the raw
// kinds, served above, and TIFF, served below), and the GIF kinds, which
// have no tag reader at all.
bool HasNoTagReader(XpFormatKind kind) {
  return kind == kXpKindTiff || kind == kXpKindMrw || IsBetween(kind, kXpKindZkp, kXpKindZk2) ||
         IsBetween(kind, kXpKindZkwByName, kXpKindZkwOther) || kind == kXpKindGif ||
         kind == kXpKindAnimatedGif;
}

XpSharedPtr<XpImageIo> DefaultTagReader(XpFormatKind kind) {
  if (XpSharedPtr<XpImageIo> raw = RawTagReader(kind)) {
    return raw;
  }
  if (kind == kXpKindTiff) {
    return XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoTiff());
  }
  if (HasNoTagReader(kind)) {
    return XpSharedPtr<XpImageIo>();
  }
  return XpSharedPtr<XpImageIo>(new (std::nothrow) XpImageIoJpeg());
}

XpFormatKind DefaultGifKind(const XpString& path) {
  XpImageIoGIF reader;
  return reader.GetKindOfPath(path);
}

bool DefaultZkwModelTest(const XpString& path) { return XpZkwIsEarlyModelFile(path); }

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
