#pragma once

#include <cstdint>

// Channel set bits of a pixel type.
inline constexpr uint32_t kXpChannelBlue = 1;
inline constexpr uint32_t kXpChannelGreen = 2;
inline constexpr uint32_t kXpChannelRed = 4;
inline constexpr uint32_t kXpChannelAlpha = 8;
inline constexpr uint32_t kXpChannelY = 16;
inline constexpr uint32_t kXpChannelCb = 32;
inline constexpr uint32_t kXpChannelCr = 64;

// Pixel types over their channel type, channels in memory order.
template <typename T>
struct XpPixelBGR {
  using Channel = T;
  static constexpr int32_t kChannels = 3;
  static constexpr uint32_t kChannelSet = kXpChannelBlue | kXpChannelGreen | kXpChannelRed;
  T b;
  T g;
  T r;
};

template <typename T>
struct XpPixelBGRA {
  using Channel = T;
  static constexpr int32_t kChannels = 4;
  static constexpr uint32_t kChannelSet =
      kXpChannelBlue | kXpChannelGreen | kXpChannelRed | kXpChannelAlpha;
  T b;
  T g;
  T r;
  T a;
};

template <typename T>
struct XpPixelYCbCr {
  using Channel = T;
  static constexpr int32_t kChannels = 3;
  static constexpr uint32_t kChannelSet = kXpChannelY | kXpChannelCb | kXpChannelCr;
  T y;
  T cb;
  T cr;
};

template <typename T>
struct XpPixelY {
  using Channel = T;
  static constexpr int32_t kChannels = 1;
  static constexpr uint32_t kChannelSet = kXpChannelY;
  T y;
};

template <typename T>
struct XpPixelCb {
  using Channel = T;
  static constexpr int32_t kChannels = 1;
  static constexpr uint32_t kChannelSet = kXpChannelCb;
  T cb;
};

template <typename T>
struct XpPixelCr {
  using Channel = T;
  static constexpr int32_t kChannels = 1;
  static constexpr uint32_t kChannelSet = kXpChannelCr;
  T cr;
};

// The pixel of an empty plane slot.
template <typename T>
struct XpPixelNull {
  using Channel = T;
  static constexpr int32_t kChannels = 1;
  static constexpr uint32_t kChannelSet = 0;
  T unused;
};

static_assert(sizeof(XpPixelBGR<unsigned char>) == 3);
static_assert(sizeof(XpPixelBGRA<unsigned char>) == 4);
static_assert(sizeof(XpPixelYCbCr<unsigned char>) == 3);
static_assert(sizeof(XpPixelNull<unsigned char>) == 1);
