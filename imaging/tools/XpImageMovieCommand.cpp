#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "imaging/format/XpFormatChecker.h"
#include "imaging/geometry/XpRect.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/movie/XpImageIoMovie.h"
#include "imaging/movie/XpMoviePluginManager.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tools/XpImageCommands.h"
#include "outside/plugins/include/XpMoviePluginAbi.h"

namespace {

constexpr int32_t kJpegQuality = 90;
constexpr size_t kBytesPerPixel = 3;

struct PropertyName {
  int32_t stream;
  int32_t id;
  int32_t kind;
  const char* meaning;
};

constexpr PropertyName kProperties[] = {
    {kMovieStreamFile, kMoviePropDuration, kMoviePropertyInt32, "duration (ms)"},
    {kMovieStreamFile, kMoviePropCreationTime, kMoviePropertyUInt64, "creation time"},
    {kMovieStreamVideo, kMoviePropVideoFrameWidth, kMoviePropertyInt32, "frame width"},
    {kMovieStreamVideo, kMoviePropVideoFrameHeight, kMoviePropertyUInt32, "frame height"},
    {kMovieStreamVideo, kMoviePropVideoDisplayWidth, kMoviePropertyUInt32, "display width"},
    {kMovieStreamVideo, kMoviePropVideoDisplayHeight, kMoviePropertyUInt32, "display height"},
    {kMovieStreamVideo, kMoviePropVideoRateNumerator, kMoviePropertyUInt32, "rate numerator"},
    {kMovieStreamVideo, kMoviePropVideoRateDenominator, kMoviePropertyUInt32,
     "rate denominator"},
    {kMovieStreamVideo, kMoviePropVideoFrameCount, kMoviePropertyUInt32, "frame count"},
    {kMovieStreamVideo, kMoviePropVideoDuration, kMoviePropertyUInt64, "video duration (us)"},
    {kMovieStreamVideo, kMoviePropBitRate, kMoviePropertyUInt32, "video bit rate"},
    {kMovieStreamVideo, kMoviePropVideoUndefined, kMoviePropertyUInt32, "undefined"},
    {kMovieStreamAudio, kMoviePropAudioChannels, kMoviePropertyInt32, "audio channels"},
    {kMovieStreamAudio, kMoviePropAudioSampleRate, kMoviePropertyInt32, "sample rate (Hz)"},
    {kMovieStreamAudio, kMoviePropAudioBitsPerSample, kMoviePropertyUInt32, "bits per sample"},
    {kMovieStreamAudio, kMoviePropAudioDuration, kMoviePropertyUInt32, "audio duration (ms)"},
    {kMovieStreamAudio, kMoviePropAudioUndefined3, kMoviePropertyUInt32, "undefined"},
    {kMovieStreamAudio, kMoviePropAudioUndefined4, kMoviePropertyUInt32, "undefined"},
    {kMovieStreamAudio, kMoviePropBitRate, kMoviePropertyUInt32, "audio bit rate"},
};

struct MovieOptions {
  std::string path;
  std::string plugins;
  bool frame = false;
  int64_t position = 0;
  std::string output;
  // With a server program the frame is read through it.
  std::string server;
  int32_t width = 0;
  int32_t height = 0;
};

bool ParseSize(const std::string& text, int32_t* width, int32_t* height) {
  char tail = 0;
  return std::sscanf(text.c_str(), "%dx%d%c", width, height, &tail) == 2 && *width >= 0 &&
         *height >= 0;
}

bool ParseOptions(const std::vector<std::string>& arguments, MovieOptions* options) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--plugins" && i + 1 < arguments.size()) {
      options->plugins = arguments[++i];
    } else if (argument == "--frame" && i + 2 < arguments.size()) {
      char* end = nullptr;
      options->position = std::strtoll(arguments[i + 1].c_str(), &end, 10);
      if (end == nullptr || *end != '\0' || arguments[i + 1].empty()) {
        return false;
      }
      options->frame = true;
      options->output = arguments[i + 2];
      i += 2;
    } else if (argument == "--server" && i + 1 < arguments.size()) {
      options->server = arguments[++i];
    } else if (argument == "--size" && i + 1 < arguments.size()) {
      if (!ParseSize(arguments[++i], &options->width, &options->height)) {
        return false;
      }
    } else if (options->path.empty() && !argument.starts_with("--")) {
      options->path = argument;
    } else {
      return false;
    }
  }
  return !options->path.empty() && !options->plugins.empty();
}

void PrintProperty(IMoviePluginReader& reader, const PropertyName& property) {
  uint64_t value = 0;
  if (reader.GetProperty(property.stream, property.id, property.kind, &value) != kMoviePluginOk) {
    return;
  }
  std::printf("%2d 0x%05X %-22s ", property.stream, static_cast<unsigned>(property.id),
              property.meaning);
  if (property.kind == kMoviePropertyInt32) {
    int32_t signedValue = 0;
    std::memcpy(&signedValue, &value, sizeof signedValue);
    std::printf("%" PRId32 "\n", signedValue);
    return;
  }
  if (property.kind == kMoviePropertyUInt32) {
    uint32_t unsignedValue = 0;
    std::memcpy(&unsignedValue, &value, sizeof unsignedValue);
    std::printf("%" PRIu32 "\n", unsignedValue);
    return;
  }
  if (property.id != kMoviePropCreationTime) {
    std::printf("%" PRIu64 "\n", value);
    return;
  }
  const auto seconds = static_cast<time_t>(value);
  struct tm parts {};
  char text[32] = "?";
  if (gmtime_r(&seconds, &parts) != nullptr) {
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  }
  std::printf("%" PRIu64 " (%s)\n", value, text);
}

// Writes the frame at position upright as a JPEG.
int WriteJpeg(XpPixmapBase* pixmap, const std::string& output) {
  XpImageIoJpeg writer(kJpegQuality, u"xpimage");
  const XpResult written = writer.WriteToPath(pixmap, XpSharedPtr<XpTiffTagManager>(),
                                              XpImageToolPath(output), nullptr, XpRect(), false,
                                              true);
  if (written != kXpOk) {
    return XpImageToolFailure("writing the frame", written);
  }
  return 0;
}

// Reads the frame through the movie frame server and prints the size and
// aspect it came with.
int WriteServerFrame(const MovieOptions& options, const XpString& path, XpFormatKind kind) {
  XpImageIoMovieOptions settings;
  settings.serverProgram = XpImageToolPath(options.server);
  XpImageIoMovie movie(XpImageToolPath(options.plugins), false, settings);
  XpSize aspect;
  std::unique_ptr<XpPixmapBase> frame(movie.ReadFrameAt(path, kind, options.position, options.width,
                                                        options.height, false, &aspect));
  if (frame == nullptr) {
    return XpImageToolFailure("reading the frame through the server", movie.GetLastError());
  }
  std::printf("%dx%d %d:%d\n", frame->width, frame->height, aspect.cx, aspect.cy);
  return WriteJpeg(frame.get(), options.output);
}

int WriteFrame(IMoviePluginReader& reader, int64_t position, const std::string& output) {
  int32_t width = 0;
  int32_t height = 0;
  if (!reader.GetFrameSize(&width, &height) || width <= 0 || height <= 0) {
    std::fprintf(stderr, "xpimage: the movie has no frame size\n");
    return 1;
  }
  const size_t stride = (static_cast<size_t>(width) * kBytesPerPixel + 3) & ~size_t{3};
  std::vector<uint8_t> frame(stride * static_cast<size_t>(height));
  if (!reader.Prepare(0x200, false) ||
      !reader.GetFrame(position, static_cast<uint32_t>(frame.size()), frame.data())) {
    std::fprintf(stderr, "xpimage: no frame at %" PRId64 " microseconds\n", position);
    return 1;
  }
  XpPixmapBGR24NoHandle pixmap;
  const XpResult allocated = pixmap.Allocate(width, height);
  if (allocated != kXpOk) {
    return XpImageToolFailure("allocating the frame", allocated);
  }
  const XpPlaneBase& plane = *pixmap.GetPlane(0);
  for (int32_t y = 0; y < height; ++y) {
    // The frame's rows run from the bottom up.
    const uint8_t* source = frame.data() + static_cast<size_t>(height - 1 - y) * stride;
    std::memcpy(plane.Row(y), source, static_cast<size_t>(width) * kBytesPerPixel);
  }
  return WriteJpeg(&pixmap, output);
}

}  // namespace

// movie PATH --plugins DIR [--frame MICROSECONDS OUT.jpg] [--server PROGRAM
// [--size WxH]]: opens the movie through the plug-ins of DIR, prints its
// properties and optionally writes one frame as a JPEG. With --server the
// frame is read through that movie frame server, fitted to the size.
int XpImageMovieCommand(const std::vector<std::string>& arguments) {
  MovieOptions options;
  if (!ParseOptions(arguments, &options)) {
    std::fprintf(stderr,
                 "usage: xpimage movie PATH --plugins DIR [--frame MICROSECONDS OUT.jpg]"
                 " [--server PROGRAM [--size WxH]]\n");
    return 2;
  }
  const XpString path = XpImageToolPath(options.path);
  const XpFormatKind kind = XpFormatChecker::DetectFormatKind(path);
  XpMoviePluginManager manager(XpImageToolPath(options.plugins));
  IMoviePluginReader* reader = nullptr;
  const int32_t opened = manager.OpenPropertyReader(path, kind, &reader);
  if (opened != kMoviePluginOk) {
    std::fprintf(stderr, "xpimage: opening the movie failed: 0x%04X\n",
                 static_cast<unsigned>(opened));
    return 1;
  }
  std::printf("%-31s 0x%08X\n", "kind", static_cast<unsigned>(kind));
  std::printf("%-31s %d\n", "streams", reader->GetStreamCount());
  for (const PropertyName& property : kProperties) {
    PrintProperty(*reader, property);
  }
  int result = 0;
  if (options.frame && options.server.empty()) {
    result = WriteFrame(*reader, options.position, options.output);
  }
  reader->Close();
  if (options.frame && !options.server.empty()) {
    result = WriteServerFrame(options, path, kind);
  }
  return result;
}
