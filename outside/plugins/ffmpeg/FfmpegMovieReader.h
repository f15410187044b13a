#pragma once

#include <cstdint>

#include "XpMoviePluginAbi.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

// Reads one movie at a time with libavformat and libavcodec: its properties
// and its video frames, converted to 24-bit BGR with libswscale. Decoding
// runs on the calling thread alone.
class FfmpegMovieReader final : public IMoviePluginReader {
 public:
  FfmpegMovieReader();
  FfmpegMovieReader(const FfmpegMovieReader&) = delete;
  FfmpegMovieReader& operator=(const FfmpegMovieReader&) = delete;

  void Release() override;
  int32_t Open(const char* path) override;
  bool Prepare(int32_t mode, bool flag) override;
  bool GetFrame(int64_t position, uint32_t bufferSize, void* buffer) override;
  bool GetAspectRatio(uint32_t* x, uint32_t* y) override;
  bool GetDisplaySize(int32_t* w, int32_t* h) override;
  bool GetFrameSize(int32_t* w, int32_t* h) override;
  int32_t GetStreamCount() override;
  int32_t GetProperty(int32_t stream, int32_t id, int32_t kind, void* value) override;
  void Close() override;

 private:
  ~FfmpegMovieReader();

  int32_t OpenDecoder();
  bool IsOpen() const { return decoder_ != nullptr; }
  AVStream* VideoStream() const;
  AVStream* AudioStream() const;

  // Decodes the frame shown at target (in the video stream's time base,
  // whose first time is start) into best_.
  bool DecodeFrameAt(int64_t target, int64_t start);
  bool Seek(int64_t seekTarget, bool fromStart);
  bool DecodeFrom(int64_t seekTarget, bool fromStart, int64_t target, bool* seekedTooLate);
  int64_t FrameDuration(const AVFrame* frame) const;
  // Writes best_ at the frame size, bottom row first.
  bool WriteFrame(void* buffer);

  bool DisplayWidth(int32_t* width) const;
  int32_t GetFileProperty(int32_t id, int32_t kind, void* value) const;
  int32_t GetVideoProperty(int32_t id, int32_t kind, void* value) const;
  int32_t GetAudioProperty(int32_t id, int32_t kind, void* value) const;

  AVFormatContext* format_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  SwsContext* scaler_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVFrame* best_ = nullptr;
  int videoIndex_ = -1;
  int audioIndex_ = -1;
  int32_t width_ = 0;
  int32_t height_ = 0;
};
