// The exports of the FFmpeg movie plug-in.

#include "FfmpegMovieReader.h"
#include "XpMoviePluginAbi.h"

namespace {

constexpr uint32_t kMerit = 0x100;

// MPEG-1 program streams, MPEG-2 program and transport streams, MP4, MOV
// and AVI.
constexpr uint32_t kKinds[] = {
    0x20011101, 0x20021101, 0x20021102, 0x20021103, 0x20021104,
    0x20031101, 0x20031102, 0x20001201, 0x20001202, 0x20001203,
};

bool IsKnownKind(uint32_t kind) {
  for (uint32_t known : kKinds) {
    if (known == kind) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" {

uint8_t IsSupportedType(uint32_t kind) {
  return IsKnownKind(kind) ? 1 : 0;
}

uint8_t IsAnalyzableType(uint32_t kind) {
  return IsKnownKind(kind) ? 1 : 0;
}

uint32_t GetMeritValue() {
  return kMerit;
}

IMoviePluginReader* CreatePropertyReaderInstance() {
  return new FfmpegMovieReader;
}

// This plug-in has no player and no VM library wrapper.
IMoviePluginPlayer* CreatePlayerInstance() {
  return nullptr;
}

IMoviePluginVMLibWrapper* CreateVMLibWrapperInstance() {
  return nullptr;
}

}  // extern "C"
