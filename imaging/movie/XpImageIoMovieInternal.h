#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/format/XpFormatKind.h"
#include "imaging/geometry/XpSize.h"
#include "imaging/movie/IXpMovieFrameObserver.h"
#include "imaging/movie/MovieFramePipe.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/process/XpProcess.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// How the movie frame server is run.
struct XpMovieServerSettings {
  // The server program's path.
  XpString program;
  bool lowPriority = false;
  // The movie plug-in folder handed to the server; may be empty.
  XpString pluginFolder;
  // How long one reply may take to arrive whole.
  int32_t replyTimeoutMs = 60000;
  // How long the server may take to end after "<Q>" before it is killed.
  int32_t quitWaitMs = 5000;
};

// The running movie frame server: the child process and this process's ends
// of its two pipes. Requests and replies strictly alternate; each request
// operation runs one session ("<O>" ... "<C>") and keeps its result, which
// is kXpErrImageServerBroken whenever the exchange fell out of step (a
// failed write or read, end of file, a late reply, an unknown token or a
// bad frame header). Destruction ends the server and always reaps it.
class XpImageIoMovieInternal {
 public:
  explicit XpImageIoMovieInternal(const XpMovieServerSettings& settings);
  XpImageIoMovieInternal(const XpImageIoMovieInternal&) = delete;
  XpImageIoMovieInternal& operator=(const XpImageIoMovieInternal&) = delete;
  virtual ~XpImageIoMovieInternal();

  // Starts the server with its standard input and output on two pipes:
  // argv is the program, "/extract", "/lowpri" when asked and the plug-in
  // folder when set. kXpErrImaging when it cannot start.
  [[nodiscard]] XpResult Start();
  bool IsStarted() const { return process_ != nullptr; }
  // True once the server has ended (it is reaped then); never blocks.
  bool HasEnded();
  pid_t GetPid() const { return process_ != nullptr ? process_->GetPid() : 0; }

  // The result of the last request.
  [[nodiscard]] XpResult GetResult() const { return result_; }

  // The property block of the movie: kXpOk, kXpErrImageNotSupported when
  // the server has none, or kXpErrImageServerBroken. The block is zeroed
  // first.
  [[nodiscard]] XpResult RequestProperties(XpFormatKind fileType, const XpString& path,
                                           MoviePropertyBlock* block);
  // One frame, or null with the result: kXpErrImageNoTiffBlock ("<B>", no
  // frame), kXpErrImageNotSupported ("<E>"), kXpErrOutOfMemory (the frame's
  // bytes were read and dropped) or kXpErrImageServerBroken. The aspect
  // pair goes to aspect when given.
  XpPixmapBase* RequestFrame(XpFormatKind fileType, const XpString& path,
                             const MovieFrameRequest& request, XpSize* aspect);
  // Frames at each position in one session; each frame is appended to
  // frames and handed to the observer, when given. Positions without a
  // frame are skipped. kXpOk, kXpErrImageStopped by the observer,
  // kXpErrOutOfMemory or kXpErrImageServerBroken; frames read before stay.
  [[nodiscard]] XpResult RequestFrames(XpFormatKind fileType, const XpString& path, int32_t width,
                                       int32_t height, const std::vector<int64_t>& positions,
                                       std::vector<XpSharedPtr<XpPixmapBase>>* frames,
                                       IXpMovieFrameObserver* observer);

 private:
  using Clock = std::chrono::steady_clock;

  // Records a broken exchange and returns it.
  XpResult Broken();
  bool Write(const uint8_t* bytes, size_t count);
  bool SendToken(MovieToken token);
  bool SendOpen(XpFormatKind fileType, const XpString& path);
  bool SendFrameRequest(const MovieFrameRequest& request);
  // Starts the reply clock.
  void BeginReply();
  // Reads count bytes of the current reply before its deadline.
  bool Read(uint8_t* bytes, size_t count);
  bool Drop(size_t count);
  // Reads a reply to "<L>". False when the exchange is out of step
  // (result kXpErrImageServerBroken); otherwise the result says what came.
  bool ReceiveFrame(XpPixmapBase** frame, XpSize* aspect);
  // Reads a frame's header and pixels; see ReceiveFrame.
  bool ReceiveFramePixels(XpPixmapBase** frame, XpSize* aspect);
  // Sends "<C>"; kXpErrImageServerBroken when that fails.
  bool CloseSession();
  void Stop();
  void WaitOrKill();
  static void CloseFd(int* fd);

  XpMovieServerSettings settings_;
  std::unique_ptr<XpProcess> process_;
  int readFd_ = -1;
  int writeFd_ = -1;
  Clock::time_point replyDeadline_;
  XpResult result_ = kXpOk;
};

// Writes all count bytes to fd, in pieces of at most 32768 bytes; true only
// when every byte went out.
bool XpMoviePipeWriteAll(int fd, const uint8_t* bytes, size_t count);
// Reads exactly count bytes from fd before deadline. End of file, a read
// error or the deadline is a failure.
bool XpMoviePipeReadAll(int fd, uint8_t* bytes, size_t count,
                        std::chrono::steady_clock::time_point deadline);
// The same without a deadline: waits as long as it takes. received, when
// given, is how many bytes arrived, also on failure.
bool XpMoviePipeReadAll(int fd, uint8_t* bytes, size_t count, size_t* received);
