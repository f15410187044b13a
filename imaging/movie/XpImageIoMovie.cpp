#include "imaging/movie/XpImageIoMovie.h"

#include <new>

#include "imaging/format/XpFormatChecker.h"
#include "imaging/movie/MovieFramePipe.h"
#include "imaging/movie/XpImageIoMovieInternal.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/shell/XpSpecialFolder.h"

namespace {

constexpr char16_t kServerName[] = u"TLVMPThumb";
constexpr int64_t kFirstFrame = 0;
constexpr int32_t kOwnSize = 0;
constexpr bool kFitFrame = true;

// The folder without one trailing '/', unless it is the root.
XpString TrimFolder(const XpString& folder) {
  const int32_t length = folder.GetLength();
  if (length > 1 && folder.CStr()[length - 1] == u'/') {
    return folder.Left(length - 1);
  }
  return folder;
}

XpString DefaultServerProgram() {
  const XpString programFolder = XpGetSpecialFolder(kXpFolderProgramFolder, false);
  if (programFolder.IsEmpty()) return XpString();
  return programFolder + kServerName;
}

// A positive size value of the property block.
bool ReadSide(const MoviePropertyBlock& block, uint32_t statusOffset, uint32_t valueOffset,
              int32_t* side) {
  if (!block.IsPresent(statusOffset)) return false;
  *side = static_cast<int32_t>(block.ReadUInt32(valueOffset));
  return *side > 0;
}

}  // namespace

XpImageIoMovie::XpImageIoMovie(const XpString& folder, bool lowPriority)
    : XpImageIoMovie(folder, lowPriority, XpImageIoMovieOptions()) {}

XpImageIoMovie::XpImageIoMovie(const XpString& folder, bool lowPriority,
                               const XpImageIoMovieOptions& options)
    : lowPriority_(lowPriority), folder_(TrimFolder(folder)), options_(options) {}

XpImageIoMovie::~XpImageIoMovie() { StopServer(); }

void XpImageIoMovie::StopServer() {
  delete internal_;
  internal_ = nullptr;
}

pid_t XpImageIoMovie::GetServerPid() const {
  return internal_ != nullptr ? internal_->GetPid() : 0;
}

XpImageIoMovieInternal* XpImageIoMovie::EnsureServer() {
  if (internal_ != nullptr && internal_->HasEnded()) {
    StopServer();
  }
  if (internal_ != nullptr || startFailed_) {
    return internal_;
  }
  XpMovieServerSettings settings;
  settings.program =
      options_.serverProgram.IsEmpty() ? DefaultServerProgram() : options_.serverProgram;
  settings.lowPriority = lowPriority_;
  settings.pluginFolder = folder_;
  settings.replyTimeoutMs = options_.replyTimeoutMs;
  settings.quitWaitMs = options_.quitWaitMs;
  internal_ = new (std::nothrow) XpImageIoMovieInternal(settings);
  if (internal_ == nullptr || XpFailed(internal_->Start())) {
    StopServer();
    startFailed_ = true;
  }
  return internal_;
}

bool XpImageIoMovie::IsAcceptablePath(const XpString& path) {
  return path.GetLength() < kMovieMaxPathUnits && XpFileExists(path);
}

XpResult XpImageIoMovie::Finish(XpResult result) {
  SetLastError(result);
  if (result == kXpErrImageServerBroken) {
    StopServer();
  }
  return result;
}

XpPixmapBase* XpImageIoMovie::RequestFrame(const XpString& path, XpFormatKind fileType,
                                           int64_t position, int32_t width, int32_t height,
                                           bool keepAspect, bool prepare, XpSize* aspect) {
  XpImageIoMovieInternal* server = EnsureServer();
  if (server == nullptr) {
    SetLastError(kXpErrImaging);
    return nullptr;
  }
  if (!IsAcceptablePath(path)) {
    SetLastError(kXpErrImageNotSupported);
    return nullptr;
  }
  MovieFrameRequest request;
  request.position = position;
  request.width = width;
  request.height = height;
  request.keepAspect = keepAspect ? 1 : 0;
  request.prepare = prepare ? 1 : 0;
  XpPixmapBase* frame = server->RequestFrame(fileType, path, request, aspect);
  Finish(server->GetResult());
  return frame;
}

XpResult XpImageIoMovie::RequestProperties(const XpString& path, MoviePropertyBlock* block) {
  XpImageIoMovieInternal* server = EnsureServer();
  if (server == nullptr) {
    return SetLastError(kXpErrImaging);
  }
  if (!IsAcceptablePath(path)) {
    return SetLastError(kXpErrImageNotSupported);
  }
  return Finish(
      server->RequestProperties(XpFormatChecker::KindFromExtension(path), path, block));
}

XpPixmapBase* XpImageIoMovie::ReadFrameAt(const XpString& path, XpFormatKind fileType,
                                          int64_t position, int32_t width, int32_t height,
                                          bool keepAspect, XpSize* aspect) {
  return RequestFrame(path, fileType, position, width, height, keepAspect, false, aspect);
}

XpPixmapBase* XpImageIoMovie::ReadPreparedFrameAt(const XpString& path, XpFormatKind fileType,
                                                  int64_t position, int32_t width, int32_t height,
                                                  bool keepAspect, XpSize* aspect) {
  return RequestFrame(path, fileType, position, width, height, keepAspect, true, aspect);
}

XpResult XpImageIoMovie::ReadFrames(const XpString& path, XpFormatKind fileType, int32_t width,
                                    int32_t height, const std::vector<int64_t>& positions,
                                    std::vector<XpSharedPtr<XpPixmapBase>>* frames,
                                    IXpMovieFrameObserver* observer) {
  XpImageIoMovieInternal* server = EnsureServer();
  if (server == nullptr) {
    return SetLastError(kXpErrImaging);
  }
  if (!IsAcceptablePath(path)) {
    return SetLastError(kXpErrImageBadRegion);
  }
  return Finish(
      server->RequestFrames(fileType, path, width, height, positions, frames, observer));
}

XpSharedPtr<XpMovieProperties> XpImageIoMovie::GetProperties(const XpString& path) {
  MoviePropertyBlock block;
  if (XpFailed(RequestProperties(path, &block))) {
    return XpSharedPtr<XpMovieProperties>();
  }
  XpSharedPtr<XpMovieProperties> properties(new (std::nothrow) XpMovieProperties());
  if (!properties) {
    SetLastError(kXpErrOutOfMemory);
    return properties;
  }
  block.StoreInto(*properties);
  return properties;
}

XpPixmapBase* XpImageIoMovie::ReadPixmap(XpAbstractFile& file, int64_t /*offset*/,
                                         int32_t /*scale*/, IXpImageProgress* /*observer*/,
                                         bool /*convertToSRGB*/, bool /*applyOrientation*/) {
  const XpString path = file.GetPath();
  return ReadFrameAt(path, XpFormatChecker::KindFromExtension(path), kFirstFrame, kOwnSize,
                     kOwnSize, kFitFrame, nullptr);
}

XpPixmapBase* XpImageIoMovie::ReadPixmapScaled(XpAbstractFile& file, int64_t /*offset*/,
                                               const XpSize& size, IXpImageProgress* /*observer*/,
                                               bool /*convertToSRGB*/,
                                               bool /*applyOrientation*/) {
  const XpString path = file.GetPath();
  return ReadFrameAt(path, XpFormatChecker::KindFromExtension(path), kFirstFrame, size.cx,
                     size.cy, kFitFrame, nullptr);
}

XpPixmapBase* XpImageIoMovie::ReadOrientedPixmap(XpAbstractFile& /*file*/, int64_t /*offset*/) {
  SetLastError(kXpErrImageNotSupported);
  return nullptr;
}

XpResult XpImageIoMovie::ReadImageSize(XpAbstractFile& file, int64_t /*offset*/, XpSize* size,
                                       bool /*keepStoredOrientation*/) {
  if (size == nullptr) {
    return SetLastError(kXpErrBadArgument);
  }
  MoviePropertyBlock block;
  if (XpFailed(RequestProperties(file.GetPath(), &block))) {
    return GetLastError();
  }
  int32_t width = 0;
  int32_t height = 0;
  if (!ReadSide(block, MoviePropertyBlock::kWidthStatusOffset,
                MoviePropertyBlock::kWidthValueOffset, &width) ||
      !ReadSide(block, MoviePropertyBlock::kHeightStatusOffset,
                MoviePropertyBlock::kHeightValueOffset, &height)) {
    return SetLastError(kXpErrImageNotSupported);
  }
  *size = XpSize(width, height);
  return SetLastError(kXpOk);
}
