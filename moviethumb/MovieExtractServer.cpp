#include "moviethumb/MovieExtractServer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "imaging/movie/XpImageIoMovieInternal.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/resample/XpPixmapResize.h"

namespace {

// The mode every Prepare is called with.
constexpr int32_t kPrepareMode = 0x200;
// The aspect ratio when the reader leaves it as it is.
constexpr uint32_t kDefaultAspectX = 4;
constexpr uint32_t kDefaultAspectY = 3;
constexpr uint64_t kBytesPerPixel = 3;
constexpr uint64_t kRowAlignment = 4;
// The largest pixel byte count a frame header carries.
constexpr uint64_t kMaxReplyBytes = std::numeric_limits<int32_t>::max();

uint64_t RowBytes(uint64_t width) {
  return (width * kBytesPerPixel + kRowAlignment - 1) & ~(kRowAlignment - 1);
}

struct FrameSize {
  uint64_t width = 0;
  uint64_t height = 0;
};

// The size the picture is sent at, in 64 bits: a requested size fitted to
// the aspect, or, without one, the display size (else the frame size) with
// the width taken from the aspect when asked. The display size never makes
// the picture larger than the frame shown at its aspect: no taller than the
// frame, and no wider than the frame or its height at the aspect.
FrameSize TargetSize(const MovieFrameRequest& request, FrameSize frame, FrameSize display,
                     uint64_t ax, uint64_t ay) {
  const bool keepAspect = request.keepAspect != 0;
  if (request.width != 0 || request.height != 0) {
    const auto w = static_cast<uint64_t>(request.width);
    const auto h = static_cast<uint64_t>(request.height);
    FrameSize target{w, h};
    if (w * ay > h * ax) target.width = h * ax / ay;
    if (w * ay < h * ax) target.height = w * ay / ax;
    return target;
  }
  const uint64_t widthAtAspect = frame.height * ax / ay;
  const FrameSize fromFrame{keepAspect ? widthAtAspect : frame.width, frame.height};
  if (display.width == 0 || display.height == 0) return fromFrame;
  const FrameSize fromDisplay{keepAspect ? display.height * ax / ay : display.width,
                              display.height};
  return {std::min(fromDisplay.width, std::max(frame.width, widthAtAspect)),
          std::min(fromDisplay.height, frame.height)};
}

// Whether a frame header can carry a picture of this size.
bool FitsReply(FrameSize size) {
  const auto maxSide = static_cast<uint64_t>(MovieFrameHeader::kMaxSide);
  if (size.width < 1 || size.height < 1) return false;
  if (size.width > maxSide || size.height > maxSide) return false;
  return RowBytes(size.width) * size.height <= kMaxReplyBytes;
}

// Copies frame into upright with the rows reversed.
void CopyFlipped(const XpPixmapBase& frame, XpPixmapBase& upright) {
  const XpPlaneBase* from = frame.GetPlane(0);
  const XpPlaneBase* to = upright.GetPlane(0);
  const size_t rowBytes = std::min(from->GetStride(), to->GetStride());
  for (int32_t y = 0; y < frame.height; ++y) {
    std::memcpy(to->Row(frame.height - 1 - y), from->Row(y), rowBytes);
  }
}

}  // namespace

MovieExtractServer::MovieExtractServer(int input, int output, MovieReaderOpener opener)
    : input_(input), output_(output), opener_(std::move(opener)) {}

MovieExtractServer::~MovieExtractServer() { CloseMovie(); }

MovieServerEnd MovieExtractServer::Run() {
  for (;;) {
    MovieTokenBytes token{};
    size_t received = 0;
    if (!XpMoviePipeReadAll(input_, token.data(), token.size(), &received)) {
      if (received == 0) return MovieServerEnd::kEndOfInput;
      return Broken("input ended inside a token");
    }
    switch (MovieFramePipe::DecodeToken(token.data())) {
      case MovieToken::kOpen:
        if (!HandleOpen()) return MovieServerEnd::kBroken;
        break;
      case MovieToken::kClose:
        CloseMovie();
        break;
      case MovieToken::kFrame:
        if (!HandleFrame()) return MovieServerEnd::kBroken;
        break;
      case MovieToken::kProperties:
        if (!HandleProperties()) return MovieServerEnd::kBroken;
        break;
      case MovieToken::kQuit:
        return MovieServerEnd::kQuit;
      default:
        return Broken("unknown token");
    }
  }
}

bool MovieExtractServer::Read(uint8_t* bytes, size_t count, const char* what) {
  if (XpMoviePipeReadAll(input_, bytes, count, nullptr)) return true;
  Broken(std::string("input ended inside ") + what);
  return false;
}

bool MovieExtractServer::Write(const uint8_t* bytes, size_t count) {
  if (XpMoviePipeWriteAll(output_, bytes, count)) return true;
  Broken("writing to the client failed");
  return false;
}

bool MovieExtractServer::WriteToken(MovieToken token) {
  const MovieTokenBytes bytes = MovieFramePipe::EncodeToken(token);
  return Write(bytes.data(), bytes.size());
}

MovieServerEnd MovieExtractServer::Broken(const std::string& why) {
  if (failure_.empty()) failure_ = why;
  return MovieServerEnd::kBroken;
}

void MovieExtractServer::CloseMovie() {
  if (reader_ == nullptr) return;
  reader_->Close();
  reader_ = nullptr;
}

bool MovieExtractServer::HandleOpen() {
  CloseMovie();
  uint8_t head[MovieOpenRequest::kHeaderBytes];
  if (!Read(head, sizeof(head), "an open request")) return false;
  int32_t units = 0;
  const MovieOpenRequest request = MovieOpenRequest::ParseHeader(head, &units);
  if (!MovieOpenRequest::IsValidPathLength(units)) {
    Broken("open path length " + std::to_string(units) + " outside 0.." +
           std::to_string(kMovieMaxPathUnits - 1));
    return false;
  }
  uint8_t path[kMovieMaxPathUnits * sizeof(char16_t)] = {};
  if (!Read(path, static_cast<size_t>(units) * sizeof(char16_t), "an open path")) return false;
  IMoviePluginReader* reader = nullptr;
  lastOpenResult_ = opener_(MovieOpenRequest::ParsePath(path, units), request.fileType, &reader);
  if (lastOpenResult_ == kMoviePluginOk) reader_ = reader;
  return true;
}

bool MovieExtractServer::SendNoMovie() {
  const bool refused =
      lastOpenResult_ == kMoviePluginCannotRead || lastOpenResult_ == kMoviePluginNoVideo;
  return WriteToken(refused ? MovieToken::kBad : MovieToken::kError);
}

bool MovieExtractServer::HandleFrame() {
  uint8_t body[MovieFrameRequest::kBytes];
  if (!Read(body, sizeof(body), "a frame request")) return false;
  if (reader_ == nullptr) return SendNoMovie();
  const MovieFrameRequest request = MovieFrameRequest::Parse(body);
  const bool prepare = request.prepare != 0;
  const bool prepared = reader_->Prepare(kPrepareMode, prepare);
  if (prepare && !prepared) return WriteToken(MovieToken::kError);
  return SendFrame(request);
}

bool MovieExtractServer::HandleProperties() {
  if (reader_ == nullptr) return SendNoMovie();
  return SendProperties();
}

bool MovieExtractServer::SendProperties() {
  MoviePropertyBlock block;
  block.SetStreamCount(reader_->GetStreamCount());
  for (const MoviePropertyEntry& entry : MoviePropertyBlock::Entries()) {
    // The reader writes 4 or 8 bytes of value, as the entry's type says.
    alignas(uint64_t) uint8_t raw[sizeof(uint64_t)] = {};
    const int32_t status = reader_->GetProperty(entry.stream, entry.id, entry.type, raw);
    uint64_t value = 0;
    std::memcpy(&value, raw, sizeof(value));
    block.SetEntry(entry, status, value);
  }
  return WriteToken(MovieToken::kProperties) && Write(block.Data(), MoviePropertyBlock::kBytes);
}

bool MovieExtractServer::SendFrame(const MovieFrameRequest& request) {
  if (request.width < 0 || request.height < 0) return WriteToken(MovieToken::kError);
  int32_t w = 0;
  int32_t h = 0;
  if (!reader_->GetFrameSize(&w, &h) || w <= 0 || h <= 0) return WriteToken(MovieToken::kError);
  const FrameSize frameSize{static_cast<uint64_t>(w), static_cast<uint64_t>(h)};
  const uint64_t frameBytes = RowBytes(frameSize.width) * frameSize.height;
  if (frameBytes > std::numeric_limits<uint32_t>::max()) return WriteToken(MovieToken::kError);

  uint32_t ax = kDefaultAspectX;
  uint32_t ay = kDefaultAspectY;
  if (!reader_->GetAspectRatio(&ax, &ay) || ax == 0 || ay == 0) {
    return WriteToken(MovieToken::kError);
  }
  FrameSize display;
  if (request.width == 0 && request.height == 0) {
    int32_t dw = 0;
    int32_t dh = 0;
    if (reader_->GetDisplaySize(&dw, &dh) && dw > 0 && dh > 0) {
      display = {static_cast<uint64_t>(dw), static_cast<uint64_t>(dh)};
    }
  }
  const FrameSize target = TargetSize(request, frameSize, display, ax, ay);
  if (!FitsReply(target)) return WriteToken(MovieToken::kError);

  auto upright = std::make_unique<XpPixmapBGR24NoHandle>();
  {
    XpPixmapBGR24 frame;
    if (XpFailed(frame.Allocate(w, h)) || frame.blockSize < frameBytes ||
        !reader_->GetFrame(request.position, static_cast<uint32_t>(frameBytes), frame.block)) {
      return WriteToken(MovieToken::kError);
    }
    if (XpFailed(upright->Allocate(w, h))) return WriteToken(MovieToken::kError);
    CopyFlipped(frame, *upright);
  }
  const auto tw = static_cast<int32_t>(target.width);
  const auto th = static_cast<int32_t>(target.height);
  if ((tw != w || th != h) && XpFailed(XpPixmapResize(*upright, tw, th))) {
    return WriteToken(MovieToken::kError);
  }
  MovieFrameHeader header;
  header.width = upright->width;
  header.height = upright->height;
  header.byteCount = static_cast<int32_t>(upright->GetPlane(0)->GetStride() *
                                          static_cast<size_t>(upright->height));
  header.aspectX = static_cast<int32_t>(ax);
  header.aspectY = static_cast<int32_t>(ay);
  const auto headerBytes = header.Serialize();
  return WriteToken(MovieToken::kFrame) && Write(headerBytes.data(), headerBytes.size()) &&
         Write(upright->block, static_cast<size_t>(header.byteCount));
}
