#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <tuple>
#include <utility>

#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "imaging/pixmap/XpPixmapLayout.h"
#include "imaging/pixmap/XpPlane.h"

// What a pixmap needs of its allocator. A pixmap first asks for a block of
// the whole size; on null it asks for an image of exactly that stride and
// size (the bitmap allocators' way). FreeBlock gives back what either gave.
template <typename A>
concept XpPixmapAllocator = std::default_initializable<A> &&
    requires(A allocator, const A constAllocator, size_t size, int32_t side, void* block) {
      { allocator.AllocateBlock(size) } -> std::same_as<void*>;
      { allocator.AllocateImage(side, side, size, size) } -> std::same_as<void*>;
      allocator.FreeBlock(block);
      { constAllocator.GetHandle() } -> std::convertible_to<XpBitmapHandle>;
      { constAllocator.GetBitmapInfo() } -> std::convertible_to<const XpBitmapInfoHeader*>;
    };

// A pixmap type: its allocator and its four plane descriptions.
template <XpPixmapAllocator Allocator, typename Plane0, typename Plane1, typename Plane2,
          typename Plane3>
struct XpPixmapDesc {
  using AllocatorType = Allocator;
  using PlaneDescs = std::tuple<Plane0, Plane1, Plane2, Plane3>;
  template <size_t I>
  using PlaneDesc = std::tuple_element_t<I, PlaneDescs>;

  static constexpr std::array<XpPlaneFormat, kXpPlaneCount> kFormats{
      Plane0::kFormat, Plane1::kFormat, Plane2::kFormat, Plane3::kFormat};
  static constexpr std::array<int32_t, kXpPlaneCount> kBitsPerPixel{
      Plane0::kBitsPerPixel, Plane1::kBitsPerPixel, Plane2::kBitsPerPixel, Plane3::kBitsPerPixel};
  static constexpr std::array<int32_t, kXpPlaneCount> kBitsPerChannel{
      Plane0::kBitsPerChannel, Plane1::kBitsPerChannel, Plane2::kBitsPerChannel,
      Plane3::kBitsPerChannel};
  static constexpr std::array<int32_t, kXpPlaneCount> kChannels{
      Plane0::kChannels, Plane1::kChannels, Plane2::kChannels, Plane3::kChannels};
  static constexpr std::array<uint32_t, kXpPlaneCount> kChannelSets{
      Plane0::kChannelSet, Plane1::kChannelSet, Plane2::kChannelSet, Plane3::kChannelSet};
  static constexpr int32_t kPlaneCount = (Plane0::kChannelSet != 0) + (Plane1::kChannelSet != 0) +
                                         (Plane2::kChannelSet != 0) + (Plane3::kChannelSet != 0);
};

template <typename Desc>
class XpPixmap : public XpPixmapBase {
 public:
  using DescType = Desc;
  using Allocator = typename Desc::AllocatorType;
  template <size_t I>
  using PlaneType = XpPlane<typename Desc::template PlaneDesc<I>>;

  XpPixmap() = default;
  ~XpPixmap() override { Free(); }

  [[nodiscard]] XpResult Allocate(int32_t newWidth, int32_t newHeight) override {
    XpPixmapLayout layout;
    const XpResult result = XpComputePixmapLayout(Desc::kFormats, newWidth, newHeight, layout);
    if (XpFailed(result)) {
      return result;
    }
    Free();
    if (XpPixmapAllocationMustFail(layout.blockSize)) {
      return kXpErrOutOfMemory;
    }
    void* memory = allocator_.AllocateBlock(layout.blockSize);
    if (memory == nullptr) {
      memory = allocator_.AllocateImage(newWidth, newHeight, layout.planes[0].stride,
                                        layout.blockSize);
    }
    if (memory == nullptr) {
      return kXpErrOutOfMemory;
    }
    block = static_cast<uint8_t*>(memory);
    blockSize = layout.blockSize;
    width = newWidth;
    height = newHeight;
    BuildPlanes(layout);
    return kXpOk;
  }

  void Free() override {
    if (block != nullptr) {
      allocator_.FreeBlock(block);
    }
    block = nullptr;
    blockSize = 0;
    width = 0;
    height = 0;
    for (XpPlaneBase* plane : planes_) {
      plane->pixels = nullptr;
      plane->width = 0;
      plane->height = 0;
      plane->stride = 0;
    }
  }

  XpPixmap* Clone() const override {
    auto* copy = new (std::nothrow) XpPixmap();
    if (copy == nullptr || !IsAllocated()) {
      return copy;
    }
    if (XpFailed(copy->Allocate(width, height))) {
      delete copy;
      return nullptr;
    }
    std::memcpy(copy->block, block, blockSize);
    return copy;
  }

  // Exchanges the whole contents (block, sizes, planes and the allocator's
  // state) with other, without copying pixels.
  void Swap(XpPixmap& other) noexcept {
    std::swap(block, other.block);
    std::swap(blockSize, other.blockSize);
    std::swap(width, other.width);
    std::swap(height, other.height);
    allocator_.Swap(other.allocator_);
    for (int32_t i = 0; i < kXpPlaneCount; ++i) {
      XpPlaneBase& mine = *planes_[i];
      XpPlaneBase& theirs = *other.planes_[i];
      std::swap(mine.pixels, theirs.pixels);
      std::swap(mine.width, theirs.width);
      std::swap(mine.height, theirs.height);
      std::swap(mine.stride, theirs.stride);
    }
  }

  int32_t GetPlaneCount() const override { return Desc::kPlaneCount; }

  XpPlaneBase* GetPlane(int32_t index) override {
    return IsAllocated() && IsPlaneIndex(index) ? planes_[index] : nullptr;
  }
  const XpPlaneBase* GetPlane(int32_t index) const override {
    return IsAllocated() && IsPlaneIndex(index) ? planes_[index] : nullptr;
  }

  // Plane I with its pixel type; null before Allocate and after Free.
  template <size_t I>
  const PlaneType<I>* TypedPlane() const {
    return IsAllocated() ? &std::get<I>(planeObjects_) : nullptr;
  }

  int32_t GetBitsPerPixel(int32_t index) const override {
    return IsPlaneIndex(index) ? Desc::kBitsPerPixel[index] : 0;
  }
  int32_t GetBitsPerChannel(int32_t index) const override {
    return IsPlaneIndex(index) ? Desc::kBitsPerChannel[index] : 0;
  }
  int32_t GetChannelCount(int32_t index) const override {
    return IsPlaneIndex(index) ? Desc::kChannels[index] : 0;
  }
  uint32_t GetChannelSet(int32_t index) const override {
    return IsPlaneIndex(index) ? Desc::kChannelSets[index] : 0;
  }

  XpBitmapHandle GetBitmapHandle() const override { return allocator_.GetHandle(); }
  const XpBitmapInfoHeader* GetBitmapInfo() const override { return allocator_.GetBitmapInfo(); }

  Allocator& GetAllocator() { return allocator_; }
  const Allocator& GetAllocator() const { return allocator_; }

 private:
  static bool IsPlaneIndex(int32_t index) { return index >= 0 && index < kXpPlaneCount; }

  void BuildPlanes(const XpPixmapLayout& layout) {
    for (int32_t i = 0; i < kXpPlaneCount; ++i) {
      const XpPlaneLayout& planeLayout = layout.planes[i];
      XpPlaneBase* plane = planes_[i];
      plane->pixels = block + planeLayout.offset;
      plane->width = planeLayout.width;
      plane->height = planeLayout.height;
      plane->stride = planeLayout.stride;
    }
  }

  Allocator allocator_;
  std::tuple<PlaneType<0>, PlaneType<1>, PlaneType<2>, PlaneType<3>> planeObjects_;
  const std::array<XpPlaneBase*, kXpPlaneCount> planes_{
      &std::get<0>(planeObjects_), &std::get<1>(planeObjects_), &std::get<2>(planeObjects_),
      &std::get<3>(planeObjects_)};
};
