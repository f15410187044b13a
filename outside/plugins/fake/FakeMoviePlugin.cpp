// A movie plug-in for tests. CMake builds it into variants through compile
// definitions:
//   FAKE_NAME          the name written at the start of each log line
//   FAKE_MERIT         the merit; without it GetMeritValue is not exported
//   FAKE_KINDS         the supported kinds, separated by commas
//   FAKE_ANALYZABLE    1 to export IsAnalyzableType (same kinds)
//   FAKE_OPEN_RESULT   the result of every open
//   FAKE_HAS_PLAYER    1 when CreatePlayerInstance gives a player
//   FAKE_HAS_WRAPPER   1 when CreateVMLibWrapperInstance gives a wrapper
//   FAKE_SCRIPTED      1 when the reader's Open reads its behaviour from the
//                      movie file (see Script below)
// Each call appends "name operation arguments" to the file named by
// KAVO_FAKE_PLUGIN_LOG when that is set.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "XpMoviePluginAbi.h"

namespace {

constexpr const char* kName = FAKE_NAME;
constexpr uint32_t kKinds[] = {FAKE_KINDS};
constexpr int32_t kOpenResult = FAKE_OPEN_RESULT;
constexpr size_t kReadChunk = 4096;
constexpr bool kHasPlayer = FAKE_HAS_PLAYER != 0;
constexpr bool kHasWrapper = FAKE_HAS_WRAPPER != 0;
#ifdef FAKE_SCRIPTED
constexpr bool kScripted = FAKE_SCRIPTED != 0;
#else
constexpr bool kScripted = false;
#endif

constexpr int32_t kFrameWidth = 64;
constexpr int32_t kFrameHeight = 48;
constexpr uint32_t kAspectX = 4;
constexpr uint32_t kAspectY = 3;
constexpr int64_t kDurationMicroseconds = 2000000;

void Log(const std::string& text) {
  const char* logPath = std::getenv("KAVO_FAKE_PLUGIN_LOG");
  if (logPath == nullptr || *logPath == '\0') {
    return;
  }
  std::FILE* file = std::fopen(logPath, "a");
  if (file == nullptr) {
    return;
  }
  std::fprintf(file, "%s %s\n", kName, text.c_str());
  std::fclose(file);
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

bool IsKind(uint32_t kind) {
  for (uint32_t known : kKinds) {
    if (known == kind) {
      return true;
    }
  }
  return false;
}

uint32_t Stride(int32_t width) {
  return (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
}

struct Property {
  int32_t stream;
  int32_t id;
  uint64_t value;
};

// What a reader does for one movie. The defaults are the fixed behaviour of
// every variant; the scripted variant reads "key=value" lines from the
// movie file:
//   open=RESULT           the result of Open
//   frame=WxH             the frame size
//   display=WxH | fail    the display size (default: the frame size)
//   aspect=X:Y | fail | keep   keep reports success and writes nothing
//   prepare=0 | 1         the result of Prepare
//   frames=P,P,...        the only positions that have a frame
//   streams=N             the stream count
//   property=S,ID,VALUE   a present property (any number of lines)
//   print=TEXT            a line printed on standard output during Open
struct Script {
  int32_t openResult = kOpenResult;
  int32_t frameWidth = kFrameWidth;
  int32_t frameHeight = kFrameHeight;
  bool displayFails = false;
  bool displaySet = false;
  int32_t displayWidth = 0;
  int32_t displayHeight = 0;
  enum class Aspect { kValue, kFail, kKeep } aspect = Aspect::kValue;
  uint32_t aspectX = kAspectX;
  uint32_t aspectY = kAspectY;
  bool prepareResult = true;
  bool framesListed = false;
  std::set<int64_t> frames;
  int32_t streams = 1;
  std::vector<Property> properties{{kMovieStreamVideo, kMoviePropVideoFrameWidth, kFrameWidth},
                                   {kMovieStreamVideo, kMoviePropVideoFrameHeight, kFrameHeight}};
  std::string print;
};

bool ParseSize(const std::string& text, int32_t* w, int32_t* h) {
  return std::sscanf(text.c_str(), "%dx%d", w, h) == 2;
}

void ApplyLine(Script& script, const std::string& key, const std::string& value) {
  if (key == "open") {
    script.openResult = static_cast<int32_t>(std::strtoll(value.c_str(), nullptr, 0));
  } else if (key == "frame") {
    ParseSize(value, &script.frameWidth, &script.frameHeight);
  } else if (key == "display") {
    script.displayFails = value == "fail";
    script.displaySet = ParseSize(value, &script.displayWidth, &script.displayHeight);
  } else if (key == "aspect") {
    if (value == "fail") {
      script.aspect = Script::Aspect::kFail;
    } else if (value == "keep") {
      script.aspect = Script::Aspect::kKeep;
    } else {
      std::sscanf(value.c_str(), "%u:%u", &script.aspectX, &script.aspectY);
    }
  } else if (key == "prepare") {
    script.prepareResult = value != "0";
  } else if (key == "frames") {
    script.framesListed = true;
    std::stringstream list(value);
    std::string item;
    while (std::getline(list, item, ',')) script.frames.insert(std::strtoll(item.c_str(), nullptr, 0));
  } else if (key == "streams") {
    script.streams = static_cast<int32_t>(std::strtol(value.c_str(), nullptr, 0));
  } else if (key == "property") {
    long long stream = 0;
    long long id = 0;
    unsigned long long number = 0;
    if (std::sscanf(value.c_str(), "%lli,%lli,%lli", &stream, &id, &number) == 3) {
      script.properties.push_back(
          {static_cast<int32_t>(stream), static_cast<int32_t>(id), number});
    }
  } else if (key == "print") {
    script.print = value;
  }
}

// The whole file; false when it cannot be read. The plug-in links none of
// the product's libraries, as a real one would not, so it reads on its own.
bool ReadText(const char* path, std::string* text) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  char buffer[kReadChunk];
  ssize_t got = 0;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
    if (got > 0) {
      text->append(buffer, static_cast<size_t>(got));
    }
  }
  ::close(fd);
  return got == 0;
}

// The movie file's script; false when the file cannot be read.
bool LoadScript(const char* path, Script* script) {
  std::string text;
  if (!ReadText(path, &text)) {
    return false;
  }
  script->properties.clear();
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) {
      ApplyLine(*script, line.substr(0, equals), line.substr(equals + 1));
    }
  }
  return true;
}

class FakeReader final : public IMoviePluginReader {
 public:
  void Release() override {
    Log("ReaderRelease");
    delete this;
  }
  int32_t Open(const char* path) override {
    Log(std::string("ReaderOpen ") + path);
    script_ = Script();
    if (kScripted && !LoadScript(path, &script_)) {
      return kMoviePluginNotHandled;
    }
    if (!script_.print.empty()) {
      std::printf("%s\n", script_.print.c_str());
      std::fflush(stdout);
    }
    open_ = script_.openResult == kMoviePluginOk;
    return script_.openResult;
  }
  bool Prepare(int32_t mode, bool flag) override {
    Log("Prepare " + std::to_string(mode) + " " + std::to_string(flag ? 1 : 0));
    return open_ && script_.prepareResult;
  }
  bool GetFrame(int64_t position, uint32_t bufferSize, void* buffer) override {
    Log("GetFrame " + std::to_string(position) + " " + std::to_string(bufferSize));
    const int32_t width = script_.frameWidth;
    const int32_t height = script_.frameHeight;
    const uint64_t stride = Stride(width);
    if (!open_ || buffer == nullptr || !HasFrame(position) || bufferSize < stride * height) {
      return false;
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    std::memset(bytes, 0, stride * height);
    const auto red = static_cast<uint8_t>(position % 256);
    for (int32_t y = 0; y < height; ++y) {
      // The bottom row comes first.
      uint8_t* row = bytes + static_cast<size_t>(height - 1 - y) * stride;
      for (int32_t x = 0; x < width; ++x) {
        row[x * 3] = static_cast<uint8_t>(x);
        row[x * 3 + 1] = static_cast<uint8_t>(y);
        row[x * 3 + 2] = red;
      }
    }
    return true;
  }
  bool GetAspectRatio(uint32_t* x, uint32_t* y) override {
    Log("GetAspectRatio");
    if (!open_ || x == nullptr || y == nullptr || script_.aspect == Script::Aspect::kFail) {
      return false;
    }
    if (script_.aspect == Script::Aspect::kValue) {
      *x = script_.aspectX;
      *y = script_.aspectY;
    }
    return true;
  }
  bool GetDisplaySize(int32_t* w, int32_t* h) override {
    Log("GetDisplaySize");
    if (script_.displayFails) {
      return false;
    }
    if (!script_.displaySet) {
      return GetFrameSizeUnlogged(w, h);
    }
    if (!open_ || w == nullptr || h == nullptr) {
      return false;
    }
    *w = script_.displayWidth;
    *h = script_.displayHeight;
    return true;
  }
  bool GetFrameSize(int32_t* w, int32_t* h) override {
    Log("GetFrameSize");
    return GetFrameSizeUnlogged(w, h);
  }
  int32_t GetStreamCount() override {
    Log("GetStreamCount");
    return open_ ? script_.streams : 0;
  }
  int32_t GetProperty(int32_t stream, int32_t id, int32_t kind, void* value) override {
    Log("GetProperty " + std::to_string(stream) + " " + Hex(static_cast<uint32_t>(id)) + " " +
        std::to_string(kind));
    if (!open_ || value == nullptr) {
      return kMoviePluginNoProperty;
    }
    for (const Property& property : script_.properties) {
      if (property.stream != stream || property.id != id) {
        continue;
      }
      if (kind == kMoviePropertyUInt64) {
        std::memcpy(value, &property.value, sizeof(uint64_t));
      } else {
        const auto narrow = static_cast<uint32_t>(property.value);
        std::memcpy(value, &narrow, sizeof(uint32_t));
      }
      return kMoviePluginOk;
    }
    return kMoviePluginNoProperty;
  }
  void Close() override {
    Log("Close");
    open_ = false;
  }

 private:
  bool HasFrame(int64_t position) const {
    if (script_.framesListed) {
      return script_.frames.count(position) != 0;
    }
    return position >= 0 && position < kDurationMicroseconds;
  }
  bool GetFrameSizeUnlogged(int32_t* w, int32_t* h) const {
    if (!open_ || w == nullptr || h == nullptr) {
      return false;
    }
    *w = script_.frameWidth;
    *h = script_.frameHeight;
    return true;
  }

  Script script_;
  bool open_ = false;
};

class FakePlayer final : public IMoviePluginPlayer {
 public:
  void Release() override {
    Log("PlayerRelease");
    delete this;
  }
  int32_t Open(const char* source, intptr_t a1, intptr_t a2, intptr_t a3) override {
    Log(std::string("PlayerOpen ") + source + " " + std::to_string(a1) + " " +
        std::to_string(a2) + " " + std::to_string(a3));
    return kOpenResult;
  }
};

class FakeWrapper final : public IMoviePluginVMLibWrapper {
 public:
  void Release() override {
    Log("WrapperRelease");
    delete this;
  }
  int32_t Open(const char* source, intptr_t a1) override {
    Log(std::string("WrapperOpen ") + source + " " + std::to_string(a1));
    return kOpenResult;
  }
};

__attribute__((destructor)) void LogUnload() {
  Log("unload");
}

}  // namespace

extern "C" {

uint8_t IsSupportedType(uint32_t kind) {
  Log("IsSupportedType " + Hex(kind));
  return IsKind(kind) ? 1 : 0;
}

#if FAKE_ANALYZABLE
uint8_t IsAnalyzableType(uint32_t kind) {
  Log("IsAnalyzableType " + Hex(kind));
  return IsKind(kind) ? 1 : 0;
}
#endif

#ifdef FAKE_MERIT
uint32_t GetMeritValue() {
  Log("GetMeritValue");
  return FAKE_MERIT;
}
#endif

IMoviePluginReader* CreatePropertyReaderInstance() {
  Log("CreatePropertyReaderInstance");
  return new FakeReader;
}

IMoviePluginPlayer* CreatePlayerInstance() {
  Log("CreatePlayerInstance");
  if (!kHasPlayer) {
    return nullptr;
  }
  return new FakePlayer;
}

IMoviePluginVMLibWrapper* CreateVMLibWrapperInstance() {
  Log("CreateVMLibWrapperInstance");
  if (!kHasWrapper) {
    return nullptr;
  }
  return new FakeWrapper;
}

}  // extern "C"
