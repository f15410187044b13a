#pragma once

// The interface between the movie plug-ins ("MP*.so") and the programs that
// load them. Both sides are C++ objects laid out by one compiler: a plug-in
// must be built against this header with the compiler that builds the
// system. The header includes nothing of the system's own.
//
// Each interface is an abstract class whose virtual functions are declared
// in the order of their places in the table. Place 0 releases the object;
// the destructor is protected and not virtual, so nothing deletes an object
// through the interface. Paths are UTF-8: the bytes of the name as the
// operating system sees them.

#include <cstdint>

// Results of the open calls.
inline constexpr int32_t kMoviePluginOk = 0;
// The file cannot be opened or read.
inline constexpr int32_t kMoviePluginCannotRead = 0x1000;
// The plug-in recognises the file but cannot decode it.
inline constexpr int32_t kMoviePluginNoVideo = 0x1001;
// The plug-in does not take the file.
inline constexpr int32_t kMoviePluginNotHandled = 0x1002;
// GetProperty: the property is absent or asked for with another kind.
inline constexpr int32_t kMoviePluginNoProperty = 0x1003;

// The kind that every plug-in takes part for: a file of unknown format.
inline constexpr uint32_t kMoviePluginKindUnknown = 0x01000000;

// Value kinds of GetProperty.
inline constexpr int32_t kMoviePropertyInt32 = 1;
inline constexpr int32_t kMoviePropertyUInt32 = 2;
inline constexpr int32_t kMoviePropertyUInt64 = 4;

// Streams of GetProperty: the file as a whole, its video and its audio.
inline constexpr int32_t kMovieStreamFile = -1;
inline constexpr int32_t kMovieStreamVideo = 0;
inline constexpr int32_t kMovieStreamAudio = 1;

// Property ids, with the stream and value kind each is asked with.
// File (-1): duration in milliseconds, Int32 (INT32_MAX when longer).
inline constexpr int32_t kMoviePropDuration = 0x10000;
// File (-1): creation time from the container, UInt64 seconds since
// 1970-01-01 00:00:00 UTC.
inline constexpr int32_t kMoviePropCreationTime = 0x10002;
// Stream type, added by the reader of the properties: 1 file, 2 video,
// 3 audio. No plug-in answers it.
inline constexpr int32_t kMoviePropStreamType = 0x20000;
// Video (0): frame width, Int32. Audio (1): channel count, Int32.
inline constexpr int32_t kMoviePropVideoFrameWidth = 0x20001;
inline constexpr int32_t kMoviePropAudioChannels = 0x20001;
// Video (0) or audio (1): bit rate in bits per second, UInt32.
inline constexpr int32_t kMoviePropBitRate = 0x20003;
// Video (0), UInt32 each: frame height, display width and height, frame
// rate numerator and denominator, frame count (the container's, else
// duration times rate rounded down).
inline constexpr int32_t kMoviePropVideoFrameHeight = 0x30000;
inline constexpr int32_t kMoviePropVideoDisplayWidth = 0x30001;
inline constexpr int32_t kMoviePropVideoDisplayHeight = 0x30002;
inline constexpr int32_t kMoviePropVideoRateNumerator = 0x30003;
inline constexpr int32_t kMoviePropVideoRateDenominator = 0x30004;
inline constexpr int32_t kMoviePropVideoFrameCount = 0x30005;
// Video (0): duration in microseconds, UInt64.
inline constexpr int32_t kMoviePropVideoDuration = 0x30006;
// Video (0), UInt32: not defined, always absent.
inline constexpr int32_t kMoviePropVideoUndefined = 0x30007;
// Audio (1): sample rate in Hz, Int32.
inline constexpr int32_t kMoviePropAudioSampleRate = 0x40000;
// Audio (1), UInt32: bits per sample (absent when the codec has none) and
// duration in milliseconds.
inline constexpr int32_t kMoviePropAudioBitsPerSample = 0x40001;
inline constexpr int32_t kMoviePropAudioDuration = 0x40002;
// Audio (1), UInt32: not defined, always absent.
inline constexpr int32_t kMoviePropAudioUndefined3 = 0x40003;
inline constexpr int32_t kMoviePropAudioUndefined4 = 0x40004;

// Reads the properties and frames of one movie.
//
// Frames: GetFrame writes the frame at its own size as 24-bit blue, green,
// red rows, each padded with zeros to (w * 3 + 3) & ~3 bytes, the bottom row
// first; a buffer below that stride times h gives false. Positions are
// microseconds from the start of the movie; the frame at p is the last one
// whose presentation time is at most p. A negative p, or one at or after
// the end of the last frame, gives false.
class IMoviePluginReader {
 public:
  virtual void Release() = 0;
  virtual void Reserved1() {}
  virtual int32_t Open(const char* path) = 0;
  virtual void Reserved3() {}
  virtual bool Prepare(int32_t mode, bool flag) = 0;
  virtual void Reserved5() {}
  virtual bool GetFrame(int64_t position, uint32_t bufferSize, void* buffer) = 0;
  virtual bool GetAspectRatio(uint32_t* x, uint32_t* y) = 0;
  virtual bool GetDisplaySize(int32_t* w, int32_t* h) = 0;
  virtual bool GetFrameSize(int32_t* w, int32_t* h) = 0;
  // 1 for video only, 2 with an audio stream.
  virtual int32_t GetStreamCount() = 0;
  // 0 when the property is present and its value written to value.
  virtual int32_t GetProperty(int32_t stream, int32_t id, int32_t kind, void* value) = 0;
  virtual void Close() = 0;

 protected:
  ~IMoviePluginReader() = default;
};

// Plays a movie; the meaning of the arguments is the plug-in's.
class IMoviePluginPlayer {
 public:
  virtual void Release() = 0;
  virtual void Reserved1() {}
  virtual int32_t Open(const char* source, intptr_t a1, intptr_t a2, intptr_t a3) = 0;

 protected:
  ~IMoviePluginPlayer() = default;
};

// Wraps a movie library; the meaning of the argument is the plug-in's.
class IMoviePluginVMLibWrapper {
 public:
  virtual void Release() = 0;
  virtual void Reserved1() {}
  virtual int32_t Open(const char* source, intptr_t a1) = 0;

 protected:
  ~IMoviePluginVMLibWrapper() = default;
};

// The exports of a plug-in, looked up by name. IsSupportedType and
// GetMeritValue are required; the rest are optional. The two type queries
// answer true in the low byte.
extern "C" {
uint8_t IsSupportedType(uint32_t kind);
uint8_t IsAnalyzableType(uint32_t kind);
uint32_t GetMeritValue();
IMoviePluginReader* CreatePropertyReaderInstance();
IMoviePluginPlayer* CreatePlayerInstance();
IMoviePluginVMLibWrapper* CreateVMLibWrapperInstance();
}

using MoviePluginIsSupportedTypeFn = uint8_t (*)(uint32_t);
using MoviePluginIsAnalyzableTypeFn = uint8_t (*)(uint32_t);
using MoviePluginGetMeritValueFn = uint32_t (*)();
using MoviePluginCreateReaderFn = IMoviePluginReader* (*)();
using MoviePluginCreatePlayerFn = IMoviePluginPlayer* (*)();
using MoviePluginCreateWrapperFn = IMoviePluginVMLibWrapper* (*)();

// Names of the exports.
inline constexpr const char* kMoviePluginIsSupportedTypeName = "IsSupportedType";
inline constexpr const char* kMoviePluginIsAnalyzableTypeName = "IsAnalyzableType";
inline constexpr const char* kMoviePluginGetMeritValueName = "GetMeritValue";
inline constexpr const char* kMoviePluginCreateReaderName = "CreatePropertyReaderInstance";
inline constexpr const char* kMoviePluginCreatePlayerName = "CreatePlayerInstance";
inline constexpr const char* kMoviePluginCreateWrapperName = "CreateVMLibWrapperInstance";
