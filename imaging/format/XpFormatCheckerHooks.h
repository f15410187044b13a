#pragma once

#include "imaging/format/XpFormatKind.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/text/XpString.h"

class XpImageIo;

// The two questions the checker asks the movie plug-ins of a folder.
enum class XpMoviePluginQuery {
  // Some plug-in can show movies of the kind.
  kSupported,
  // Some plug-in can analyse movies of the kind.
  kAnalyzable,
};

// The readers and services that the format checker reaches without linking
// them: four entry points, each a plain function that can be replaced as a
// whole. The defaults answer what the checker may rely on while the reader
// or service is missing. Install a table before other threads use the
// checker; tests install fakes and put the previous table back.
class XpFormatCheckerHooks {
 public:
  struct Table {
    // The reader whose tags date a picture of the kind; empty for none.
    XpSharedPtr<XpImageIo> (*createTagReader)(XpFormatKind kind);
    // The kind of a ".gif" file: still, animated or unknown.
    XpFormatKind (*gifKindOfPath)(const XpString& path);
    // Whether a ".zkw" file comes from the early camera model.
    bool (*isZkwEarlyModelFile)(const XpString& path);
    // Whether a movie plug-in of the folder answers the query for the kind.
    bool (*moviePluginAnswers)(XpMoviePluginQuery query, XpFormatKind kind,
                               const XpString& pluginFolder);
  };

  // The defaults: the raw readers for the MRW and ZKP kinds, the TIFF
  // reader for TIFF, a JPEG reader for every other kind but GIF (none);
  // XpImageIoGIF::GetKindOfPath for a GIF; XpZkwIsEarlyModelFile for the
  // model test; false for every plug-in query.
  static Table Defaults();
  // Replaces the table in use; returns the one replaced. A null entry
  // takes the default.
  static Table Install(const Table& table);

  static XpSharedPtr<XpImageIo> CreateTagReader(XpFormatKind kind);
  static XpFormatKind GifKindOfPath(const XpString& path);
  static bool IsZkwEarlyModelFile(const XpString& path);
  static bool MoviePluginAnswers(XpMoviePluginQuery query, XpFormatKind kind,
                                 const XpString& pluginFolder);
};
