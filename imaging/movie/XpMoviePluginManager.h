#pragma once

#include <cstdint>
#include <vector>

#include "imaging/format/XpFormatKind.h"
#include "outside/plugins/include/XpMoviePluginAbi.h"
#include "platform/text/XpString.h"

// One loaded plug-in and the objects it created for a manager.
struct MoviePluginEntry {
  void* module = nullptr;
  uint32_t merit = 0;
  MoviePluginIsSupportedTypeFn isSupported = nullptr;
  MoviePluginIsAnalyzableTypeFn isAnalyzable = nullptr;
  IMoviePluginReader* propertyReader = nullptr;
  IMoviePluginPlayer* player = nullptr;
  IMoviePluginVMLibWrapper* vmLibWrapper = nullptr;
};

// Finds the movie plug-ins "MP*.so" of one folder, ranks them by merit and
// hands out the readers, players and VM library wrappers they create. The
// folder is scanned once, on the first query or open; each kind of object
// is created once, on its first open. The manager owns every plug-in and
// object: its destructor releases the objects and unloads the plug-ins.
// Open results are the plug-ins' (kMoviePluginOk, kMoviePluginNotHandled or
// a plug-in's own failure code); on failure the output is null.
class XpMoviePluginManager {
 public:
  explicit XpMoviePluginManager(const XpString& folder);
  XpMoviePluginManager(const XpMoviePluginManager&) = delete;
  XpMoviePluginManager& operator=(const XpMoviePluginManager&) = delete;
  virtual ~XpMoviePluginManager();

  // True when a plug-in supports the kind; asked in merit order, the first
  // true answer ends the search.
  bool IsSupportedType(XpFormatKind kind);
  // The same over the plug-ins that export IsAnalyzableType.
  bool IsAnalyzableType(XpFormatKind kind);

  int32_t OpenPropertyReader(const XpString& source, XpFormatKind kind,
                             IMoviePluginReader** reader);
  int32_t OpenPlayer(const XpString& source, XpFormatKind kind, intptr_t a1, intptr_t a2,
                     intptr_t a3, IMoviePluginPlayer** player);
  int32_t OpenVMLibWrapper(const XpString& source, XpFormatKind kind, intptr_t a1,
                           IMoviePluginVMLibWrapper** wrapper);

  // The loaded plug-ins in merit order (scans the folder first).
  const std::vector<MoviePluginEntry>& Entries();

 private:
  enum class Acceptance { kSupported, kAnalyzable };

  void LoadPlugins();
  void LoadPlugin(const std::string& path);
  void CreatePropertyReaders();
  void CreatePlayers();
  void CreateVMLibWrappers();
  static bool TakesPart(const MoviePluginEntry& entry, XpFormatKind kind, Acceptance acceptance);

  // Runs one try per kind (the kind, then the unknown kind) over the
  // entries; open(entry) opens the entry's object and returns its result,
  // or kMoviePluginNotHandled when the entry has none.
  template <typename Object, typename OpenFn>
  int32_t OpenWithFallback(XpFormatKind kind, Acceptance acceptance, Object* MoviePluginEntry::*slot,
                           Object** output, OpenFn open);
  template <typename Object, typename OpenFn>
  int32_t TryOpen(XpFormatKind kind, Acceptance acceptance, Object* MoviePluginEntry::*slot,
                  Object** output, OpenFn open);

  std::vector<MoviePluginEntry> entries_;
  bool scanned_ = false;
  bool readersCreated_ = false;
  bool playersCreated_ = false;
  bool vmLibWrappersCreated_ = false;
  XpString folder_;
};
