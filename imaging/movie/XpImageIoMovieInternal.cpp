#include "imaging/movie/XpImageIoMovieInternal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
#include <optional>
#include <thread>

#include "imaging/pixmap/XpPixmapTypes.h"
#include "platform/fs/XpRestarted.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpWriteAll.h"

namespace {

constexpr size_t kDropPiece = 32768;
constexpr auto kExitPollInterval = std::chrono::milliseconds(5);
// A batch asks for frames fitted inside the requested size.
constexpr uint8_t kBatchKeepAspect = 1;

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<int64_t>(0, left.count()));
}

// poll's time-out for waiting without a deadline.
constexpr int kWaitForever = -1;

// Waits until fd has data or is closed; false on the deadline or an error.
// Without a deadline it waits as long as it takes. A signal ends one poll
// early; the loop then polls again for what is left until the deadline.
bool WaitReadable(int fd, const std::optional<std::chrono::steady_clock::time_point>& deadline) {
  for (;;) {
    if (deadline && std::chrono::steady_clock::now() >= *deadline) return false;
    pollfd entry = {fd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, deadline ? RemainingMs(*deadline) : kWaitForever);
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return false;
  }
}

bool ReadAll(int fd, uint8_t* bytes, size_t count,
             const std::optional<std::chrono::steady_clock::time_point>& deadline,
             size_t* received) {
  size_t done = 0;
  bool complete = true;
  while (done < count) {
    if (!WaitReadable(fd, deadline)) {
      complete = false;
      break;
    }
    const ssize_t got = XpRestarted([&] { return ::read(fd, bytes + done, count - done); });
    if (got < 0 && errno == EAGAIN) continue;
    // 0 is end of file: the other side is gone.
    if (got <= 0) {
      complete = false;
      break;
    }
    done += static_cast<size_t>(got);
  }
  if (received != nullptr) *received = done;
  return complete;
}

}  // namespace

bool XpMoviePipeWriteAll(int fd, const uint8_t* bytes, size_t count) {
  return XpWriteAll(XpSysCalls::Current(), fd, bytes, count) == kXpOk;
}

bool XpMoviePipeReadAll(int fd, uint8_t* bytes, size_t count,
                        std::chrono::steady_clock::time_point deadline) {
  return ReadAll(fd, bytes, count, deadline, nullptr);
}

bool XpMoviePipeReadAll(int fd, uint8_t* bytes, size_t count, size_t* received) {
  return ReadAll(fd, bytes, count, std::nullopt, received);
}

XpImageIoMovieInternal::XpImageIoMovieInternal(const XpMovieServerSettings& settings)
    : settings_(settings) {}

XpImageIoMovieInternal::~XpImageIoMovieInternal() { Stop(); }

XpResult XpImageIoMovieInternal::Start() {
  if (process_ != nullptr) return kXpOk;
  if (settings_.program.IsEmpty()) return kXpErrImaging;
  int toServer[2] = {-1, -1};
  int fromServer[2] = {-1, -1};
  if (XpSysCalls::Current().Pipe2(toServer, O_CLOEXEC) != 0) return kXpErrImaging;
  if (XpSysCalls::Current().Pipe2(fromServer, O_CLOEXEC) != 0) {
    CloseFd(&toServer[0]);
    CloseFd(&toServer[1]);
    return kXpErrImaging;
  }
  XpProcessStartInfo info;
  info.path = settings_.program;
  info.arguments.push_back(settings_.program);
  info.arguments.push_back(u"/extract");
  if (settings_.lowPriority) info.arguments.push_back(u"/lowpri");
  if (!settings_.pluginFolder.IsEmpty()) info.arguments.push_back(settings_.pluginFolder);
  info.inputFd = toServer[0];
  info.outputFd = fromServer[1];
  const XpResult started = XpProcess::Start(info, &process_);
  // The child's ends belong to the child alone.
  CloseFd(&toServer[0]);
  CloseFd(&fromServer[1]);
  writeFd_ = toServer[1];
  readFd_ = fromServer[0];
  if (XpFailed(started)) {
    process_.reset();
    CloseFd(&writeFd_);
    CloseFd(&readFd_);
    return kXpErrImaging;
  }
  return kXpOk;
}

bool XpImageIoMovieInternal::HasEnded() { return process_ == nullptr || process_->HasEnded(); }

XpResult XpImageIoMovieInternal::RequestProperties(XpFormatKind fileType, const XpString& path,
                                                   MoviePropertyBlock* block) {
  block->Clear();
  if (!SendOpen(fileType, path) || !SendToken(MovieToken::kProperties)) return Broken();
  BeginReply();
  uint8_t token[kMovieTokenBytes];
  if (!Read(token, sizeof(token))) return Broken();
  switch (MovieFramePipe::DecodeToken(token)) {
    case MovieToken::kProperties:
      if (!Read(block->Data(), MoviePropertyBlock::kBytes)) return Broken();
      result_ = kXpOk;
      break;
    case MovieToken::kBad:
    case MovieToken::kError:
      result_ = kXpErrImageNotSupported;
      break;
    default:
      return Broken();
  }
  CloseSession();
  return result_;
}

XpPixmapBase* XpImageIoMovieInternal::RequestFrame(XpFormatKind fileType, const XpString& path,
                                                   const MovieFrameRequest& request,
                                                   XpSize* aspect) {
  if (!SendOpen(fileType, path) || !SendFrameRequest(request)) {
    Broken();
    return nullptr;
  }
  XpPixmapBase* frame = nullptr;
  if (!ReceiveFrame(&frame, aspect)) return nullptr;
  if (!CloseSession()) {
    delete frame;
    return nullptr;
  }
  return frame;
}

XpResult XpImageIoMovieInternal::RequestFrames(XpFormatKind fileType, const XpString& path,
                                               int32_t width, int32_t height,
                                               const std::vector<int64_t>& positions,
                                               std::vector<XpSharedPtr<XpPixmapBase>>* frames,
                                               IXpMovieFrameObserver* observer) {
  if (!SendOpen(fileType, path)) return Broken();
  XpResult batchResult = kXpOk;
  for (const int64_t position : positions) {
    MovieFrameRequest request;
    request.position = position;
    request.width = width;
    request.height = height;
    request.keepAspect = kBatchKeepAspect;
    XpPixmapBase* received = nullptr;
    if (!SendFrameRequest(request) || !ReceiveFrame(&received, nullptr)) return Broken();
    if (result_ == kXpErrOutOfMemory) {
      batchResult = kXpErrOutOfMemory;
      break;
    }
    // "<B>" and "<E>" give no frame for this position.
    if (received == nullptr) continue;
    const XpSharedPtr<XpPixmapBase> frame(received);
    if (!frame) {
      batchResult = kXpErrOutOfMemory;
      break;
    }
    if (frames != nullptr) frames->push_back(frame);
    if (observer != nullptr && observer->OnFrame(0, frame) != 0) {
      batchResult = kXpErrImageStopped;
      break;
    }
  }
  if (!CloseSession()) return result_;
  result_ = batchResult;
  return result_;
}

XpResult XpImageIoMovieInternal::Broken() {
  result_ = kXpErrImageServerBroken;
  return result_;
}

bool XpImageIoMovieInternal::Write(const uint8_t* bytes, size_t count) {
  return writeFd_ >= 0 && XpMoviePipeWriteAll(writeFd_, bytes, count);
}

bool XpImageIoMovieInternal::SendToken(MovieToken token) {
  const MovieTokenBytes bytes = MovieFramePipe::EncodeToken(token);
  return Write(bytes.data(), bytes.size());
}

bool XpImageIoMovieInternal::SendOpen(XpFormatKind fileType, const XpString& path) {
  MovieOpenRequest request;
  request.fileType = fileType;
  request.path = path;
  const std::vector<uint8_t> body = request.Serialize();
  return SendToken(MovieToken::kOpen) && Write(body.data(), body.size());
}

bool XpImageIoMovieInternal::SendFrameRequest(const MovieFrameRequest& request) {
  const std::array<uint8_t, MovieFrameRequest::kBytes> body = request.Serialize();
  return SendToken(MovieToken::kFrame) && Write(body.data(), body.size());
}

void XpImageIoMovieInternal::BeginReply() {
  replyDeadline_ = Clock::now() + std::chrono::milliseconds(settings_.replyTimeoutMs);
}

bool XpImageIoMovieInternal::Read(uint8_t* bytes, size_t count) {
  return readFd_ >= 0 && XpMoviePipeReadAll(readFd_, bytes, count, replyDeadline_);
}

bool XpImageIoMovieInternal::Drop(size_t count) {
  std::array<uint8_t, kDropPiece> scratch;
  while (count > 0) {
    const size_t piece = std::min(count, scratch.size());
    if (!Read(scratch.data(), piece)) return false;
    count -= piece;
  }
  return true;
}

bool XpImageIoMovieInternal::ReceiveFrame(XpPixmapBase** frame, XpSize* aspect) {
  *frame = nullptr;
  BeginReply();
  uint8_t token[kMovieTokenBytes];
  if (!Read(token, sizeof(token))) {
    Broken();
    return false;
  }
  switch (MovieFramePipe::DecodeToken(token)) {
    case MovieToken::kFrame:
      return ReceiveFramePixels(frame, aspect);
    case MovieToken::kBad:
      result_ = kXpErrImageNoTiffBlock;
      return true;
    case MovieToken::kError:
      result_ = kXpErrImageNotSupported;
      return true;
    default:
      Broken();
      return false;
  }
}

bool XpImageIoMovieInternal::ReceiveFramePixels(XpPixmapBase** frame, XpSize* aspect) {
  uint8_t headerBytes[MovieFrameHeader::kBytes];
  if (!Read(headerBytes, sizeof(headerBytes))) {
    Broken();
    return false;
  }
  const MovieFrameHeader header = MovieFrameHeader::Parse(headerBytes);
  // Sizes come from another process: nothing is allocated for a header
  // whose byte count is not exactly that of its picture.
  if (!header.IsValid()) {
    Broken();
    return false;
  }
  const auto byteCount = static_cast<size_t>(header.byteCount);
  std::unique_ptr<XpPixmapBGR24NoHandle> pixmap(new (std::nothrow) XpPixmapBGR24NoHandle());
  if (pixmap == nullptr || XpFailed(pixmap->Allocate(header.width, header.height)) ||
      pixmap->blockSize != byteCount) {
    if (!Drop(byteCount)) {
      Broken();
      return false;
    }
    result_ = kXpErrOutOfMemory;
    return true;
  }
  if (!Read(pixmap->block, byteCount)) {
    Broken();
    return false;
  }
  if (aspect != nullptr) *aspect = XpSize(header.aspectX, header.aspectY);
  *frame = pixmap.release();
  result_ = kXpOk;
  return true;
}

bool XpImageIoMovieInternal::CloseSession() {
  if (SendToken(MovieToken::kClose)) return true;
  Broken();
  return false;
}

void XpImageIoMovieInternal::Stop() {
  if (process_ != nullptr) {
    // Whether "<Q>" goes out or not, the server is waited for and reaped.
    SendToken(MovieToken::kQuit);
    CloseFd(&writeFd_);
    WaitOrKill();
    process_.reset();
  }
  CloseFd(&writeFd_);
  CloseFd(&readFd_);
}

void XpImageIoMovieInternal::WaitOrKill() {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(settings_.quitWaitMs);
  while (!process_->HasEnded()) {
    if (Clock::now() >= deadline) {
      ::kill(process_->GetPid(), SIGKILL);
      // Only a child reaped elsewhere fails the wait, and then nothing is left.
      (void)process_->Wait();
      return;
    }
    std::this_thread::sleep_for(kExitPollInterval);
  }
}

void XpImageIoMovieInternal::CloseFd(int* fd) {
  if (*fd >= 0) {
    ::close(*fd);
    *fd = -1;
  }
}
