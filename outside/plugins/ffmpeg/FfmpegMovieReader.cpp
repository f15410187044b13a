#include "FfmpegMovieReader.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr AVRational kMicroseconds = {1, 1000000};
constexpr int64_t kMicrosecondsPerMillisecond = 1000;
constexpr int kScratchAlignment = 32;
constexpr int kFirstLibavError = 4096;  // AVERROR(errno) values lie below it

uint32_t Stride(int32_t width) {
  return (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
}

// An error of the operating system (a missing file, a folder, a read
// failure) as opposed to one of libavformat's own.
bool IsSystemError(int error) {
  return error < 0 && -error < kFirstLibavError;
}

template <typename T>
int32_t Put(int32_t kind, int32_t expected, void* value, T answer) {
  if (kind != expected || value == nullptr) {
    return kMoviePluginNoProperty;
  }
  std::memcpy(value, &answer, sizeof answer);
  return kMoviePluginOk;
}

uint32_t ClampToUInt32(int64_t value) {
  if (value < 0) {
    return 0;
  }
  return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

int32_t ClampToInt32(int64_t value) {
  if (value < 0) {
    return 0;
  }
  return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

// "YYYY-MM-DDTHH:MM:SS", optionally followed by fractions and a zone that
// is taken to be UTC, as seconds since 1970.
bool ParseUtcTime(const char* text, uint64_t* seconds) {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  char separator = 0;
  if (std::sscanf(text, "%4d-%2d-%2d%c%2d:%2d:%2d", &year, &month, &day, &separator, &hour,
                  &minute, &second) != 7 ||
      (separator != 'T' && separator != ' ')) {
    return false;
  }
  struct tm parts {};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  const time_t value = timegm(&parts);
  if (value < 0) {
    return false;
  }
  *seconds = static_cast<uint64_t>(value);
  return true;
}

int64_t ToMicroseconds(int64_t value, AVRational timeBase) {
  return av_rescale_q(value, timeBase, kMicroseconds);
}

AVRational SampleAspect(AVFormatContext* format, AVStream* stream) {
  const AVRational aspect = av_guess_sample_aspect_ratio(format, stream, nullptr);
  if (aspect.num <= 0 || aspect.den <= 0) {
    return AVRational{1, 1};
  }
  return aspect;
}

AVRational FrameRate(const AVStream* stream) {
  if (stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0) {
    return stream->avg_frame_rate;
  }
  return stream->r_frame_rate;
}

}  // namespace

FfmpegMovieReader::FfmpegMovieReader() {
  av_log_set_level(AV_LOG_QUIET);
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  best_ = av_frame_alloc();
}

FfmpegMovieReader::~FfmpegMovieReader() {
  Close();
  av_frame_free(&best_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
}

void FfmpegMovieReader::Release() {
  delete this;
}

int32_t FfmpegMovieReader::Open(const char* path) {
  Close();
  if (path == nullptr || packet_ == nullptr || frame_ == nullptr || best_ == nullptr) {
    return kMoviePluginCannotRead;
  }
  const int opened = avformat_open_input(&format_, path, nullptr, nullptr);
  if (opened < 0) {
    return IsSystemError(opened) ? kMoviePluginCannotRead : kMoviePluginNotHandled;
  }
  if (avformat_find_stream_info(format_, nullptr) < 0) {
    Close();
    return kMoviePluginCannotRead;
  }
  const int32_t result = OpenDecoder();
  if (result != kMoviePluginOk) {
    Close();
  }
  return result;
}

int32_t FfmpegMovieReader::OpenDecoder() {
  const AVCodec* codec = nullptr;
  videoIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (videoIndex_ < 0 || codec == nullptr) {
    videoIndex_ = -1;
    return kMoviePluginNoVideo;
  }
  const AVCodecParameters* parameters = VideoStream()->codecpar;
  if (parameters->width <= 0 || parameters->height <= 0) {
    return kMoviePluginNoVideo;
  }
  decoder_ = avcodec_alloc_context3(codec);
  if (decoder_ == nullptr || avcodec_parameters_to_context(decoder_, parameters) < 0) {
    return kMoviePluginNoVideo;
  }
  decoder_->thread_count = 1;
  if (avcodec_open2(decoder_, codec, nullptr) < 0) {
    return kMoviePluginNoVideo;
  }
  width_ = parameters->width;
  height_ = parameters->height;
  const int audio = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, videoIndex_, nullptr, 0);
  audioIndex_ = audio >= 0 ? audio : -1;
  for (unsigned i = 0; i < format_->nb_streams; ++i) {
    if (static_cast<int>(i) != videoIndex_) {
      format_->streams[i]->discard = AVDISCARD_ALL;
    }
  }
  return kMoviePluginOk;
}

void FfmpegMovieReader::Close() {
  sws_freeContext(scaler_);
  scaler_ = nullptr;
  avcodec_free_context(&decoder_);
  avformat_close_input(&format_);
  if (best_ != nullptr) {
    av_frame_unref(best_);
  }
  videoIndex_ = -1;
  audioIndex_ = -1;
  width_ = 0;
  height_ = 0;
}

bool FfmpegMovieReader::Prepare(int32_t /*mode*/, bool /*flag*/) {
  return true;
}

AVStream* FfmpegMovieReader::VideoStream() const {
  return videoIndex_ >= 0 ? format_->streams[videoIndex_] : nullptr;
}

AVStream* FfmpegMovieReader::AudioStream() const {
  return audioIndex_ >= 0 ? format_->streams[audioIndex_] : nullptr;
}

bool FfmpegMovieReader::GetFrame(int64_t position, uint32_t bufferSize, void* buffer) {
  if (!IsOpen() || position < 0 || buffer == nullptr ||
      bufferSize < static_cast<uint64_t>(Stride(width_)) * static_cast<uint64_t>(height_)) {
    return false;
  }
  const AVStream* stream = VideoStream();
  const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  const int64_t target =
      start + av_rescale_q_rnd(position, kMicroseconds, stream->time_base, AV_ROUND_DOWN);
  if (!DecodeFrameAt(target, start)) {
    return false;
  }
  return WriteFrame(buffer);
}

bool FfmpegMovieReader::DecodeFrameAt(int64_t target, int64_t start) {
  bool tooLate = false;
  if (DecodeFrom(target, false, target, &tooLate)) {
    return true;
  }
  if (!tooLate) {
    return false;
  }
  return DecodeFrom(start, true, target, &tooLate);
}

int64_t FfmpegMovieReader::FrameDuration(const AVFrame* frame) const {
  if (frame->pkt_duration > 0) {
    return frame->pkt_duration;
  }
  const AVStream* stream = VideoStream();
  const AVRational rate = FrameRate(stream);
  if (rate.num > 0 && rate.den > 0) {
    const int64_t duration = av_rescale_q(1, av_inv_q(rate), stream->time_base);
    if (duration > 0) {
      return duration;
    }
  }
  return 1;
}

bool FfmpegMovieReader::Seek(int64_t seekTarget, bool fromStart) {
  if (av_seek_frame(format_, videoIndex_, seekTarget, AVSEEK_FLAG_BACKWARD) >= 0) {
    return true;
  }
  return fromStart && av_seek_frame(format_, -1, 0, AVSEEK_FLAG_BYTE) >= 0;
}

// Seeks to seekTarget (from the start of the movie when fromStart) and
// decodes until the frame after target. When the seek lands after target or
// yields no frame, seekedTooLate is set so that the caller can start again
// from the start.
bool FfmpegMovieReader::DecodeFrom(int64_t seekTarget, bool fromStart, int64_t target,
                                   bool* seekedTooLate) {
  *seekedTooLate = false;
  av_frame_unref(best_);
  if (!Seek(seekTarget, fromStart)) {
    *seekedTooLate = !fromStart;
    return false;
  }
  avcodec_flush_buffers(decoder_);
  bool haveBest = false;
  bool seenKeyFrame = fromStart;
  int64_t bestEnd = 0;
  bool draining = false;
  while (true) {
    const int received = avcodec_receive_frame(decoder_, frame_);
    if (received == AVERROR_EOF) {
      break;
    }
    if (received == AVERROR(EAGAIN)) {
      if (draining) {
        break;
      }
      if (av_read_frame(format_, packet_) < 0) {
        draining = true;
        avcodec_send_packet(decoder_, nullptr);
        continue;
      }
      if (packet_->stream_index == videoIndex_) {
        // A packet the decoder refuses is skipped; its frame is missing.
        avcodec_send_packet(decoder_, packet_);
      }
      av_packet_unref(packet_);
      continue;
    }
    if (received < 0) {
      return false;
    }
    if (!seenKeyFrame && frame_->key_frame == 0) {
      av_frame_unref(frame_);
      continue;
    }
    seenKeyFrame = true;
    int64_t time = frame_->best_effort_timestamp;
    if (time == AV_NOPTS_VALUE) {
      time = haveBest ? bestEnd : seekTarget;
    }
    const int64_t end = time + FrameDuration(frame_);
    // From the start, the first frame stands for the start of the movie.
    const bool firstFromStart = fromStart && !haveBest;
    if (time > target && !firstFromStart) {
      av_frame_unref(frame_);
      if (haveBest) {
        return true;
      }
      *seekedTooLate = !fromStart;
      return false;
    }
    av_frame_unref(best_);
    av_frame_move_ref(best_, frame_);
    haveBest = true;
    bestEnd = end;
  }
  // Nothing decodable after the seek point (no key frame before the end,
  // say): the start of the movie may still hold the frame.
  *seekedTooLate = !haveBest && !fromStart;
  return haveBest && target < bestEnd;
}

bool FfmpegMovieReader::WriteFrame(void* buffer) {
  scaler_ = sws_getCachedContext(scaler_, best_->width, best_->height,
                                 static_cast<AVPixelFormat>(best_->format), width_, height_,
                                 AV_PIX_FMT_BGR24, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr,
                                 nullptr);
  if (scaler_ == nullptr) {
    return false;
  }
  uint8_t* scratch[4] = {};
  int scratchStride[4] = {};
  if (av_image_alloc(scratch, scratchStride, width_, height_, AV_PIX_FMT_BGR24,
                     kScratchAlignment) < 0) {
    return false;
  }
  const int rows = sws_scale(scaler_, best_->data, best_->linesize, 0, best_->height, scratch,
                             scratchStride);
  if (rows != height_) {
    av_freep(&scratch[0]);
    return false;
  }
  const uint32_t stride = Stride(width_);
  const size_t rowBytes = static_cast<size_t>(width_) * 3;
  auto* bytes = static_cast<uint8_t*>(buffer);
  for (int32_t y = 0; y < height_; ++y) {
    // The bottom row comes first.
    uint8_t* row = bytes + static_cast<size_t>(height_ - 1 - y) * stride;
    std::memcpy(row, scratch[0] + static_cast<size_t>(y) * scratchStride[0], rowBytes);
    std::memset(row + rowBytes, 0, stride - rowBytes);
  }
  av_freep(&scratch[0]);
  return true;
}

bool FfmpegMovieReader::DisplayWidth(int32_t* width) const {
  if (!IsOpen()) {
    return false;
  }
  const AVRational aspect = SampleAspect(format_, VideoStream());
  const int64_t scaled = av_rescale_rnd(width_, aspect.num, aspect.den, AV_ROUND_NEAR_INF);
  *width = ClampToInt32(scaled);
  return *width > 0;
}

bool FfmpegMovieReader::GetAspectRatio(uint32_t* x, uint32_t* y) {
  if (!IsOpen() || x == nullptr || y == nullptr) {
    return false;
  }
  const AVRational aspect = SampleAspect(format_, VideoStream());
  int64_t across = static_cast<int64_t>(width_) * aspect.num;
  int64_t down = static_cast<int64_t>(height_) * aspect.den;
  const int64_t divisor = std::gcd(across, down);
  across /= divisor;
  down /= divisor;
  if (across > UINT32_MAX || down > UINT32_MAX) {
    return false;
  }
  *x = static_cast<uint32_t>(across);
  *y = static_cast<uint32_t>(down);
  return true;
}

bool FfmpegMovieReader::GetDisplaySize(int32_t* w, int32_t* h) {
  if (w == nullptr || h == nullptr) {
    return false;
  }
  int32_t width = 0;
  if (!DisplayWidth(&width)) {
    return false;
  }
  *w = width;
  *h = height_;
  return true;
}

bool FfmpegMovieReader::GetFrameSize(int32_t* w, int32_t* h) {
  if (!IsOpen() || w == nullptr || h == nullptr) {
    return false;
  }
  *w = width_;
  *h = height_;
  return true;
}

int32_t FfmpegMovieReader::GetStreamCount() {
  if (!IsOpen()) {
    return 0;
  }
  return audioIndex_ >= 0 ? 2 : 1;
}

int32_t FfmpegMovieReader::GetProperty(int32_t stream, int32_t id, int32_t kind, void* value) {
  if (!IsOpen()) {
    return kMoviePluginNoProperty;
  }
  switch (stream) {
    case kMovieStreamFile:
      return GetFileProperty(id, kind, value);
    case kMovieStreamVideo:
      return GetVideoProperty(id, kind, value);
    case kMovieStreamAudio:
      return GetAudioProperty(id, kind, value);
    default:
      return kMoviePluginNoProperty;
  }
}

int32_t FfmpegMovieReader::GetFileProperty(int32_t id, int32_t kind, void* value) const {
  if (id == kMoviePropDuration) {
    if (format_->duration == AV_NOPTS_VALUE || format_->duration < 0) {
      return kMoviePluginNoProperty;
    }
    return Put(kind, kMoviePropertyInt32, value,
               ClampToInt32(format_->duration / kMicrosecondsPerMillisecond));
  }
  if (id == kMoviePropCreationTime) {
    const AVDictionaryEntry* entry = av_dict_get(format_->metadata, "creation_time", nullptr, 0);
    uint64_t seconds = 0;
    if (entry == nullptr || !ParseUtcTime(entry->value, &seconds)) {
      return kMoviePluginNoProperty;
    }
    return Put(kind, kMoviePropertyUInt64, value, seconds);
  }
  return kMoviePluginNoProperty;
}

int32_t FfmpegMovieReader::GetVideoProperty(int32_t id, int32_t kind, void* value) const {
  const AVStream* stream = VideoStream();
  const AVRational rate = FrameRate(stream);
  const bool rateKnown = rate.num > 0 && rate.den > 0;
  int64_t durationUs = -1;
  if (stream->duration != AV_NOPTS_VALUE && stream->duration >= 0) {
    durationUs = ToMicroseconds(stream->duration, stream->time_base);
  } else if (format_->duration != AV_NOPTS_VALUE && format_->duration >= 0) {
    durationUs = format_->duration;
  }
  switch (id) {
    case kMoviePropVideoFrameWidth:
      return Put(kind, kMoviePropertyInt32, value, width_);
    case kMoviePropVideoFrameHeight:
      return Put(kind, kMoviePropertyUInt32, value, static_cast<uint32_t>(height_));
    case kMoviePropVideoDisplayWidth: {
      int32_t width = 0;
      if (!DisplayWidth(&width)) {
        return kMoviePluginNoProperty;
      }
      return Put(kind, kMoviePropertyUInt32, value, static_cast<uint32_t>(width));
    }
    case kMoviePropVideoDisplayHeight:
      return Put(kind, kMoviePropertyUInt32, value, static_cast<uint32_t>(height_));
    case kMoviePropVideoRateNumerator:
      if (!rateKnown) {
        return kMoviePluginNoProperty;
      }
      return Put(kind, kMoviePropertyUInt32, value, static_cast<uint32_t>(rate.num));
    case kMoviePropVideoRateDenominator:
      if (!rateKnown) {
        return kMoviePluginNoProperty;
      }
      return Put(kind, kMoviePropertyUInt32, value, static_cast<uint32_t>(rate.den));
    case kMoviePropVideoFrameCount:
      if (stream->nb_frames > 0) {
        return Put(kind, kMoviePropertyUInt32, value, ClampToUInt32(stream->nb_frames));
      }
      if (!rateKnown || durationUs < 0) {
        return kMoviePluginNoProperty;
      }
      return Put(kind, kMoviePropertyUInt32, value,
                 ClampToUInt32(av_rescale_rnd(durationUs, rate.num,
                                              static_cast<int64_t>(rate.den) * 1000000,
                                              AV_ROUND_DOWN)));
    case kMoviePropVideoDuration:
      if (durationUs < 0) {
        return kMoviePluginNoProperty;
      }
      return Put(kind, kMoviePropertyUInt64, value, static_cast<uint64_t>(durationUs));
    case kMoviePropBitRate:
      if (stream->codecpar->bit_rate <= 0) {
        return kMoviePluginNoProperty;
      }
      return Put(kind, kMoviePropertyUInt32, value, ClampToUInt32(stream->codecpar->bit_rate));
    default:
      return kMoviePluginNoProperty;
  }
}

int32_t FfmpegMovieReader::GetAudioProperty(int32_t id, int32_t kind, void* value) const {
  const AVStream* stream = AudioStream();
  if (stream == nullptr) {
    return kMoviePluginNoProperty;
  }
  const AVCodecParameters* parameters = stream->codecpar;
  switch (id) {
    case kMoviePropAudioChannels:
      return Put(kind, kMoviePropertyInt32, value, parameters->ch_layout.nb_channels);
    case kMoviePropAudioSampleRate:
      return Put(kind, kMoviePropertyInt32, value, parameters->sample_rate);
    case kMoviePropAudioBitsPerSample: {
      int bits = av_get_bits_per_sample(parameters->codec_id);
      if (bits <= 0) {
        bits = parameters->bits_per_raw_sample;
      }
      if (bits <= 0) {
        return kMoviePluginNoProperty;
      }
      return Put(kind, kMoviePropertyUInt32, value, static_cast<uint32_t>(bits));
    }
    case kMoviePropAudioDuration: {
      int64_t durationUs = -1;
      if (stream->duration != AV_NOPTS_VALUE && stream->duration >= 0) {
        durationUs = ToMicroseconds(stream->duration, stream->time_base);
      } else if (format_->duration != AV_NOPTS_VALUE && format_->duration >= 0) {
        durationUs = format_->duration;
      }
      if (durationUs < 0) {
        return kMoviePluginNoProperty;
      }
      return Put(kind, kMoviePropertyUInt32, value,
                 ClampToUInt32(durationUs / kMicrosecondsPerMillisecond));
    }
    case kMoviePropBitRate:
      if (parameters->bit_rate <= 0) {
        return kMoviePluginNoProperty;
      }
      return Put(kind, kMoviePropertyUInt32, value, ClampToUInt32(parameters->bit_rate));
    default:
      return kMoviePluginNoProperty;
  }
}
