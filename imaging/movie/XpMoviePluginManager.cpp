#include "imaging/movie/XpMoviePluginManager.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/fs/XpSysCalls.h"
#include "platform/process/XpLookUpFunction.h"
#include "platform/text/XpUtf.h"

namespace {

constexpr std::string_view kPluginPrefix = "MP";
constexpr std::string_view kPluginSuffix = ".so";

bool IsPluginName(std::string_view name) {
  return name.size() >= kPluginPrefix.size() + kPluginSuffix.size() &&
         name.starts_with(kPluginPrefix) && name.ends_with(kPluginSuffix);
}

// The names in the folder that look like plug-ins, in byte order.
std::vector<std::string> ListPluginNames(const std::string& folder) {
  std::vector<std::string> names;
  XpSysCalls& sys = XpSysCalls::Current();
  DIR* dir = sys.Opendir(folder.c_str());
  if (dir == nullptr) {
    return names;
  }
  while (struct dirent* item = sys.Readdir(dir)) {
    if (IsPluginName(item->d_name)) {
      names.emplace_back(item->d_name);
    }
  }
  sys.Closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return XpSysCalls::Current().Stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

template <typename Object, typename Factory>
void CreateObjects(std::vector<MoviePluginEntry>& entries, Object* MoviePluginEntry::*slot,
                   const char* factoryName) {
  for (MoviePluginEntry& entry : entries) {
    auto factory = XpLookUpFunction<Factory>(entry.module, factoryName);
    if (factory != nullptr) {
      entry.*slot = factory();
    }
  }
}

template <typename Object>
void ReleaseObject(Object*& object) {
  if (object != nullptr) {
    object->Release();
    object = nullptr;
  }
}

}  // namespace

XpMoviePluginManager::XpMoviePluginManager(const XpString& folder) : folder_(folder) {}

XpMoviePluginManager::~XpMoviePluginManager() {
  for (MoviePluginEntry& entry : entries_) {
    ReleaseObject(entry.propertyReader);
    ReleaseObject(entry.player);
    ReleaseObject(entry.vmLibWrapper);
    ::dlclose(entry.module);
  }
  entries_.clear();
}

const std::vector<MoviePluginEntry>& XpMoviePluginManager::Entries() {
  LoadPlugins();
  return entries_;
}

void XpMoviePluginManager::LoadPlugins() {
  if (scanned_) {
    return;
  }
  scanned_ = true;
  if (folder_.GetLength() == 0) {
    return;
  }
  std::string folder = XpUtf16ToUtf8(folder_.View());
  if (!folder.ends_with('/')) {
    folder += '/';
  }
  for (const std::string& name : ListPluginNames(folder)) {
    const std::string path = folder + name;
    if (IsRegularFile(path)) {
      LoadPlugin(path);
    }
  }
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const MoviePluginEntry& a, const MoviePluginEntry& b) {
                     return a.merit > b.merit;
                   });
}

void XpMoviePluginManager::LoadPlugin(const std::string& path) {
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    return;
  }
  auto isSupported = XpLookUpFunction<MoviePluginIsSupportedTypeFn>(module, kMoviePluginIsSupportedTypeName);
  auto getMerit = XpLookUpFunction<MoviePluginGetMeritValueFn>(module, kMoviePluginGetMeritValueName);
  if (isSupported == nullptr || getMerit == nullptr) {
    ::dlclose(module);
    return;
  }
  MoviePluginEntry entry;
  entry.module = module;
  entry.isSupported = isSupported;
  entry.isAnalyzable =
      XpLookUpFunction<MoviePluginIsAnalyzableTypeFn>(module, kMoviePluginIsAnalyzableTypeName);
  entry.merit = getMerit();
  entries_.push_back(entry);
}

void XpMoviePluginManager::CreatePropertyReaders() {
  LoadPlugins();
  if (readersCreated_) {
    return;
  }
  readersCreated_ = true;
  CreateObjects<IMoviePluginReader, MoviePluginCreateReaderFn>(
      entries_, &MoviePluginEntry::propertyReader, kMoviePluginCreateReaderName);
}

void XpMoviePluginManager::CreatePlayers() {
  LoadPlugins();
  if (playersCreated_) {
    return;
  }
  playersCreated_ = true;
  CreateObjects<IMoviePluginPlayer, MoviePluginCreatePlayerFn>(
      entries_, &MoviePluginEntry::player, kMoviePluginCreatePlayerName);
}

void XpMoviePluginManager::CreateVMLibWrappers() {
  LoadPlugins();
  if (vmLibWrappersCreated_) {
    return;
  }
  vmLibWrappersCreated_ = true;
  CreateObjects<IMoviePluginVMLibWrapper, MoviePluginCreateWrapperFn>(
      entries_, &MoviePluginEntry::vmLibWrapper, kMoviePluginCreateWrapperName);
}

bool XpMoviePluginManager::IsSupportedType(XpFormatKind kind) {
  LoadPlugins();
  return std::any_of(entries_.begin(), entries_.end(), [kind](const MoviePluginEntry& entry) {
    return (entry.isSupported(kind) & 0xFF) != 0;
  });
}

bool XpMoviePluginManager::IsAnalyzableType(XpFormatKind kind) {
  LoadPlugins();
  return std::any_of(entries_.begin(), entries_.end(), [kind](const MoviePluginEntry& entry) {
    return entry.isAnalyzable != nullptr && (entry.isAnalyzable(kind) & 0xFF) != 0;
  });
}

bool XpMoviePluginManager::TakesPart(const MoviePluginEntry& entry, XpFormatKind kind,
                                     Acceptance acceptance) {
  if (kind == kXpKindUnknown) {
    return true;
  }
  if (acceptance == Acceptance::kSupported) {
    return (entry.isSupported(kind) & 0xFF) != 0;
  }
  return entry.isAnalyzable != nullptr && (entry.isAnalyzable(kind) & 0xFF) != 0;
}

template <typename Object, typename OpenFn>
int32_t XpMoviePluginManager::TryOpen(XpFormatKind kind, Acceptance acceptance,
                                      Object* MoviePluginEntry::*slot, Object** output,
                                      OpenFn open) {
  int32_t result = kMoviePluginNotHandled;
  for (const MoviePluginEntry& entry : entries_) {
    Object* object = entry.*slot;
    if (object == nullptr || !TakesPart(entry, kind, acceptance)) {
      continue;
    }
    const int32_t opened = open(object);
    if (opened == kMoviePluginOk) {
      *output = object;
      return kMoviePluginOk;
    }
    if (opened != kMoviePluginNotHandled) {
      result = opened;
    }
  }
  return result;
}

template <typename Object, typename OpenFn>
int32_t XpMoviePluginManager::OpenWithFallback(XpFormatKind kind, Acceptance acceptance,
                                               Object* MoviePluginEntry::*slot, Object** output,
                                               OpenFn open) {
  if (output == nullptr) {
    return kMoviePluginNotHandled;
  }
  *output = nullptr;
  const int32_t result = TryOpen(kind, acceptance, slot, output, open);
  if (result == kMoviePluginOk || kind == kXpKindUnknown) {
    return result;
  }
  return TryOpen(kXpKindUnknown, acceptance, slot, output, open);
}

int32_t XpMoviePluginManager::OpenPropertyReader(const XpString& source, XpFormatKind kind,
                                                 IMoviePluginReader** reader) {
  CreatePropertyReaders();
  const std::string path = XpUtf16ToUtf8(source.View());
  return OpenWithFallback(kind, Acceptance::kSupported, &MoviePluginEntry::propertyReader, reader,
                          [&path](IMoviePluginReader* object) { return object->Open(path.c_str()); });
}

int32_t XpMoviePluginManager::OpenPlayer(const XpString& source, XpFormatKind kind, intptr_t a1,
                                         intptr_t a2, intptr_t a3, IMoviePluginPlayer** player) {
  CreatePlayers();
  const std::string path = XpUtf16ToUtf8(source.View());
  return OpenWithFallback(kind, Acceptance::kSupported, &MoviePluginEntry::player, player,
                          [&](IMoviePluginPlayer* object) {
                            return object->Open(path.c_str(), a1, a2, a3);
                          });
}

int32_t XpMoviePluginManager::OpenVMLibWrapper(const XpString& source, XpFormatKind kind,
                                               intptr_t a1, IMoviePluginVMLibWrapper** wrapper) {
  CreateVMLibWrappers();
  const std::string path = XpUtf16ToUtf8(source.View());
  return OpenWithFallback(kind, Acceptance::kAnalyzable, &MoviePluginEntry::vmLibWrapper, wrapper,
                          [&](IMoviePluginVMLibWrapper* object) {
                            return object->Open(path.c_str(), a1);
                          });
}
