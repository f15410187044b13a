#include <memory>
#include <mutex>

#include "imaging/format/XpFormatChecker.h"
#include "imaging/format/XpFormatCheckerHooks.h"

namespace {

// Every kind the system can show, in the order offered.
constexpr XpFormatKind kShowableKinds[] = {
    kXpKindJpeg,     kXpKindJpegMarked,     kXpKindJpegWithMovie, kXpKindJpegWithMovieMarked,
    kXpKindTiff,     kXpKindZkp,            kXpKindZk2,           kXpKindZkwModel,
    kXpKindZkwOther, kXpKindMrw,            kXpKindGif,           kXpKindMpeg1,
    kXpKindMpeg2,    kXpKindMpeg2Tshv,      kXpKindMmv,           kXpKindMpeg2Hdmv,
    kXpKindMp4Type1, kXpKindMp4Type2,       kXpKindAviPlugin,     kXpKindDvAvi,
    kXpKindCameraMjpegAvi, kXpKindWmv,      kXpKindAnimatedGif,
};

// Shown whatever the plug-ins.
constexpr XpFormatKind kStillKinds[] = {
    kXpKindJpeg, kXpKindJpegMarked, kXpKindJpegWithMovie, kXpKindJpegWithMovieMarked,
    kXpKindTiff, kXpKindGif,        kXpKindZkp,           kXpKindZk2,
    kXpKindZkwModel, kXpKindZkwOther,
};

// Shown when a plug-in supports them.
constexpr XpFormatKind kPluginMovieKinds[] = {
    kXpKindAnimatedGif, kXpKindDvAvi,     kXpKindCameraMjpegAvi, kXpKindMpeg1,
    kXpKindMpeg2,       kXpKindMpeg2Tshv, kXpKindMmv,            kXpKindMpeg2Hdmv,
    kXpKindMp4Type1,    kXpKindMp4Type2,
};

// Asked of the plug-ins for analysis, in this order.
constexpr XpFormatKind kAnalyzableCandidates[] = {
    kXpKindMpeg1,     kXpKindMpeg2,          kXpKindMpeg2Tshv, kXpKindMmv,
    kXpKindMpeg2Hdmv, kXpKindMp4Type1,       kXpKindMp4Type2,  kXpKindAviPlugin,
    kXpKindDvAvi,     kXpKindCameraMjpegAvi, kXpKindWmv,       kXpKindAnimatedGif,
};

template <size_t N>
bool Contains(const XpFormatKind (&kinds)[N], XpFormatKind kind) {
  for (const XpFormatKind entry : kinds) {
    if (entry == kind) {
      return true;
    }
  }
  return false;
}

struct AnalyzableCache {
  std::unique_ptr<std::once_flag> filled = std::make_unique<std::once_flag>();
  std::vector<XpFormatKind> kinds;
};

AnalyzableCache& Cache() {
  static AnalyzableCache cache;
  return cache;
}

}  // namespace

void XpFormatChecker::GetSupportedKinds(std::vector<XpFormatKind>& list,
                                        const XpString& pluginFolder) {
  const std::vector<XpFormatKind> kinds(std::begin(kShowableKinds), std::end(kShowableKinds));
  FilterSupportedKinds(kinds, list, pluginFolder);
}

void XpFormatChecker::FilterSupportedKinds(const std::vector<XpFormatKind>& kinds,
                                           std::vector<XpFormatKind>& list,
                                           const XpString& pluginFolder) {
  for (const XpFormatKind kind : kinds) {
    if (Contains(kStillKinds, kind)) {
      list.push_back(kind);
      continue;
    }
    if (Contains(kPluginMovieKinds, kind) &&
        XpFormatCheckerHooks::MoviePluginAnswers(XpMoviePluginQuery::kSupported, kind,
                                                 pluginFolder)) {
      list.push_back(kind);
    }
  }
}

void XpFormatChecker::GetAnalyzableMovieKinds(std::vector<XpFormatKind>& list,
                                              const XpString& pluginFolder) {
  AnalyzableCache& cache = Cache();
  std::call_once(*cache.filled, [&cache, &pluginFolder] {
    for (const XpFormatKind kind : kAnalyzableCandidates) {
      if (XpFormatCheckerHooks::MoviePluginAnswers(XpMoviePluginQuery::kAnalyzable, kind,
                                                   pluginFolder)) {
        cache.kinds.push_back(kind);
      }
    }
  });
  list.insert(list.end(), cache.kinds.begin(), cache.kinds.end());
}

void XpFormatChecker::ResetAnalyzableKindsForTest() {
  AnalyzableCache& cache = Cache();
  cache.kinds.clear();
  cache.filled = std::make_unique<std::once_flag>();
}
