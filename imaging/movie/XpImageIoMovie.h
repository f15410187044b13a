#pragma once

#include <sys/types.h>

#include <cstdint>
#include <vector>

#include "imaging/format/XpFormatKind.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/movie/IXpMovieFrameObserver.h"
#include "imaging/movie/XpMovieProperties.h"
#include "platform/memory/XpSharedPtr.h"

class MoviePropertyBlock;
class XpImageIoMovieInternal;

// Settings that tests change.
struct XpImageIoMovieOptions {
  // The server program; empty: "TLVMPThumb" in this program's folder.
  XpString serverProgram;
  int32_t replyTimeoutMs = 60000;
  int32_t quitWaitMs = 5000;
};

// Reads movie frames and properties through the movie frame server, a
// child process started on the first request and kept for the next ones.
// A server that has ended is replaced on the next request; one whose
// exchange broke (kXpErrImageServerBroken) is ended at once. When the
// server cannot be started, every request answers kXpErrImaging from then
// on and no start is tried again. One thread at a time.
class XpImageIoMovie : public XpImageIo {
 public:
  // folder is the movie plug-in folder handed to the server (one trailing
  // '/' is dropped); lowPriority asks the server to run at low priority.
  XpImageIoMovie(const XpString& folder, bool lowPriority);
  XpImageIoMovie(const XpString& folder, bool lowPriority, const XpImageIoMovieOptions& options);
  ~XpImageIoMovie() override;

  // The frame at position 0 of the file's path, at the movie's own size.
  XpPixmapBase* ReadPixmap(XpAbstractFile& file, int64_t offset, int32_t scale,
                           IXpImageProgress* observer, bool convertToSRGB,
                           bool applyOrientation) override;
  // The frame at position 0 of the file's path, fitted inside size.
  XpPixmapBase* ReadPixmapScaled(XpAbstractFile& file, int64_t offset, const XpSize& size,
                                 IXpImageProgress* observer, bool convertToSRGB,
                                 bool applyOrientation) override;
  // Not supported: kXpErrImageNotSupported, null.
  XpPixmapBase* ReadOrientedPixmap(XpAbstractFile& file, int64_t offset) override;
  // The frame size from the movie's properties: kXpErrImageNotSupported
  // when the server reports no positive width and height.
  [[nodiscard]] XpResult ReadImageSize(XpAbstractFile& file, int64_t offset, XpSize* size,
                                       bool keepStoredOrientation) override;

  // One frame of the movie at path, of type fileType, at position; the
  // size asked is width x height (0 x 0: the movie's own), fitted when
  // keepAspect is set. The frame's aspect pair goes to aspect when given.
  // Null on failure with the last result: kXpErrImaging (no server),
  // kXpErrImageNotSupported (a path of 260 units or more, no such file, or
  // the server failed), kXpErrImageNoTiffBlock (no frame there),
  // kXpErrOutOfMemory, kXpErrImageServerBroken.
  virtual XpPixmapBase* ReadFrameAt(const XpString& path, XpFormatKind fileType, int64_t position,
                                    int32_t width, int32_t height, bool keepAspect,
                                    XpSize* aspect);
  // ReadFrameAt with the server asked to prepare the frame.
  virtual XpPixmapBase* ReadPreparedFrameAt(const XpString& path, XpFormatKind fileType,
                                            int64_t position, int32_t width, int32_t height,
                                            bool keepAspect, XpSize* aspect);
  // Frames at several positions in one session, fitted inside width x
  // height; positions without a frame are skipped. Each frame is appended
  // to frames and handed to the observer, when given. kXpOk, kXpErrImaging,
  // kXpErrImageBadRegion for a refused path, kXpErrImageStopped when the
  // observer stopped the batch, kXpErrOutOfMemory or
  // kXpErrImageServerBroken; frames read before a failure stay in frames.
  [[nodiscard]] virtual XpResult ReadFrames(const XpString& path, XpFormatKind fileType,
                                            int32_t width, int32_t height,
                                            const std::vector<int64_t>& positions,
                                            std::vector<XpSharedPtr<XpPixmapBase>>* frames,
                                            IXpMovieFrameObserver* observer);
  // The movie's properties; empty when none could be read.
  virtual XpSharedPtr<XpMovieProperties> GetProperties(const XpString& path);

  // Ends the server, if one runs.
  void StopServer();

  const XpString& GetFolder() const { return folder_; }
  // The running server's process id; 0 without one.
  pid_t GetServerPid() const;

 private:
  // The running server, started when needed; null when none can run.
  XpImageIoMovieInternal* EnsureServer();
  // Whether the path may be sent: shorter than 260 units, an existing file.
  static bool IsAcceptablePath(const XpString& path);
  XpPixmapBase* RequestFrame(const XpString& path, XpFormatKind fileType, int64_t position,
                             int32_t width, int32_t height, bool keepAspect, bool prepare,
                             XpSize* aspect);
  [[nodiscard]] XpResult RequestProperties(const XpString& path, MoviePropertyBlock* block);
  // Keeps the server's result as the last result; a broken exchange ends
  // the server. Returns result.
  XpResult Finish(XpResult result);

  XpImageIoMovieInternal* internal_ = nullptr;
  bool lowPriority_ = false;
  bool startFailed_ = false;
  XpString folder_;
  XpImageIoMovieOptions options_;
};
