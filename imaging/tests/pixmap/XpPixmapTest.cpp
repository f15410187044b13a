#include "imaging/pixmap/XpPixmap.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/pixmap/XpPixmapAllocationHook.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "platform/memory/XpSharedPtr.h"

namespace {

// Every request the counting allocator sees, in order.
struct AllocatorEvent {
  enum Kind { kBlock, kImage, kFree } kind;
  size_t size;
  void* block;
};

std::vector<AllocatorEvent>& Events() {
  static std::vector<AllocatorEvent> events;
  return events;
}

// Plain heap blocks, logging each request.
class CountingAllocator {
 public:
  void* AllocateBlock(size_t size) {
    void* block = refuse ? nullptr : ::operator new(size);
    Events().push_back({AllocatorEvent::kBlock, size, block});
    return block;
  }
  void* AllocateImage(int32_t, int32_t, size_t, size_t size) {
    Events().push_back({AllocatorEvent::kImage, size, nullptr});
    return nullptr;
  }
  void FreeBlock(void* block) {
    Events().push_back({AllocatorEvent::kFree, 0, block});
    ::operator delete(block);
  }
  XpBitmapHandle GetHandle() const { return nullptr; }
  const XpBitmapInfoHeader* GetBitmapInfo() const { return nullptr; }

  bool refuse = false;
};

using CountingPixmap = XpPixmap<XpPixmapDesc<CountingAllocator, XpPlaneDescBGR, XpPlaneDescNull4,
                                             XpPlaneDescNull4, XpPlaneDescNull4>>;

// Starts each test with an empty log.
class EventLog {
 public:
  EventLog() { Events().clear(); }
  ~EventLog() { Events().clear(); }
  const std::vector<AllocatorEvent>& events() const { return Events(); }
};

void FillPattern(XpPixmapBase& pixmap) {
  for (size_t i = 0; i < pixmap.blockSize; ++i) {
    pixmap.block[i] = static_cast<uint8_t>(i * 7 + 3);
  }
}

bool HasPattern(const XpPixmapBase& pixmap) {
  for (size_t i = 0; i < pixmap.blockSize; ++i) {
    if (pixmap.block[i] != static_cast<uint8_t>(i * 7 + 3)) {
      return false;
    }
  }
  return true;
}

struct LayoutCase {
  std::string name;
  std::unique_ptr<XpPixmapBase> pixmap;
  int32_t width;
  int32_t height;
  size_t stride;
  size_t blockSize;
};

TEST(XpPixmap, StridesAndBlockSizes) {
  LayoutCase cases[] = {
      {"BGR24 w1", std::make_unique<XpPixmapBGR24>(), 1, 2, 4, 8},
      {"BGR24 w2", std::make_unique<XpPixmapBGR24NoHandle>(), 2, 2, 8, 16},
      {"BGR24 w4", std::make_unique<XpPixmapBGR24NoHandle>(), 4, 1, 12, 12},
      {"BGRA32 5x7", std::make_unique<XpPixmapBGRA32>(), 5, 7, 20, 140},
      {"YCbCr444 5x3", std::make_unique<XpPixmapYCbCr444>(), 5, 3, 15, 45},
      {"YCbCr420 5x3", std::make_unique<XpPixmapYCbCr420>(), 5, 3, 5, 19},
  };
  for (LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    XpPixmapBase& pixmap = *c.pixmap;
    ASSERT_EQ(pixmap.Allocate(c.width, c.height), kXpOk);
    EXPECT_EQ(pixmap.width, c.width);
    EXPECT_EQ(pixmap.height, c.height);
    EXPECT_EQ(pixmap.blockSize, c.blockSize);
    const XpPlaneBase* plane = pixmap.GetPlane(0);
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane->pixels, pixmap.block);
    EXPECT_EQ(plane->width, c.width);
    EXPECT_EQ(plane->height, c.height);
    EXPECT_EQ(plane->stride, c.stride);
    EXPECT_EQ(plane->GetStride(), c.stride);
    // The last byte of the last row is inside the block.
    std::memset(pixmap.block, 0x11, pixmap.blockSize);
  }
}

TEST(XpPixmap, PlanesFollowOneAnotherInTheBlock) {
  XpPixmapYCbCr420 planar;
  ASSERT_EQ(planar.Allocate(5, 3), kXpOk);
  const struct {
    int32_t width;
    int32_t height;
    size_t stride;
    size_t offset;
  } expected[] = {{5, 3, 5, 0}, {2, 1, 2, 15}, {2, 1, 2, 17}, {0, 0, 0, 19}};
  for (int32_t i = 0; i < kXpPlaneCount; ++i) {
    SCOPED_TRACE(i);
    const XpPlaneBase* plane = planar.GetPlane(i);
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane->width, expected[i].width);
    EXPECT_EQ(plane->height, expected[i].height);
    EXPECT_EQ(plane->stride, expected[i].stride);
    EXPECT_EQ(plane->pixels, planar.block + expected[i].offset);
  }

  // The null planes of a one-plane pixmap point at the end of the block.
  XpPixmapBGR24NoHandle bgr;
  ASSERT_EQ(bgr.Allocate(3, 2), kXpOk);
  for (int32_t i = 1; i < kXpPlaneCount; ++i) {
    const XpPlaneBase* plane = bgr.GetPlane(i);
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane->pixels, bgr.block + bgr.blockSize);
    EXPECT_EQ(plane->width, 0);
    EXPECT_EQ(plane->height, 0);
    EXPECT_EQ(plane->stride, 0u);
  }
}

TEST(XpPixmap, PlaneTypeQueries) {
  struct PlaneType {
    int32_t bitsPerPixel;
    int32_t bitsPerChannel;
    int32_t channels;
    uint32_t channelSet;
  };
  constexpr PlaneType kNull{8, 8, 1, 0};
  struct TypeCase {
    std::string name;
    std::unique_ptr<XpPixmapBase> pixmap;
    int32_t planeCount;
    PlaneType planes[kXpPlaneCount];
  } cases[] = {
      {"BGR24", std::make_unique<XpPixmapBGR24>(), 1, {{24, 8, 3, 7}, kNull, kNull, kNull}},
      {"BGR24NoHandle", std::make_unique<XpPixmapBGR24NoHandle>(), 1,
       {{24, 8, 3, 7}, kNull, kNull, kNull}},
      {"BGRA32", std::make_unique<XpPixmapBGRA32>(), 1, {{32, 8, 4, 15}, kNull, kNull, kNull}},
      {"YCbCr444", std::make_unique<XpPixmapYCbCr444>(), 1, {{24, 8, 3, 112}, kNull, kNull, kNull}},
      {"YCbCr420", std::make_unique<XpPixmapYCbCr420>(), 3,
       {{8, 8, 1, 16}, {8, 8, 1, 32}, {8, 8, 1, 64}, kNull}},
  };
  for (TypeCase& c : cases) {
    SCOPED_TRACE(c.name);
    XpPixmapBase& pixmap = *c.pixmap;
    EXPECT_EQ(pixmap.GetPlaneCount(), c.planeCount);
    // The pixmap answers from its type, allocated or not.
    for (int32_t i = 0; i < kXpPlaneCount; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(pixmap.GetPlane(i), nullptr);
      EXPECT_EQ(pixmap.GetBitsPerPixel(i), c.planes[i].bitsPerPixel);
      EXPECT_EQ(pixmap.GetBitsPerChannel(i), c.planes[i].bitsPerChannel);
      EXPECT_EQ(pixmap.GetChannelCount(i), c.planes[i].channels);
      EXPECT_EQ(pixmap.GetChannelSet(i), c.planes[i].channelSet);
    }
    EXPECT_EQ(pixmap.GetBitsPerPixel(kXpPlaneCount), 0);
    EXPECT_EQ(pixmap.GetChannelSet(-1), 0u);
    // The plane objects answer alike.
    ASSERT_EQ(pixmap.Allocate(6, 4), kXpOk);
    EXPECT_EQ(pixmap.GetPlane(-1), nullptr);
    EXPECT_EQ(pixmap.GetPlane(kXpPlaneCount), nullptr);
    for (int32_t i = 0; i < kXpPlaneCount; ++i) {
      SCOPED_TRACE(i);
      const XpPlaneBase* plane = pixmap.GetPlane(i);
      ASSERT_NE(plane, nullptr);
      EXPECT_EQ(plane->GetBitsPerPixel(), c.planes[i].bitsPerPixel);
      EXPECT_EQ(plane->GetBitsPerChannel(), c.planes[i].bitsPerChannel);
      EXPECT_EQ(plane->GetChannelCount(), c.planes[i].channels);
      EXPECT_EQ(plane->GetChannelSet(), c.planes[i].channelSet);
    }
  }
}

TEST(XpPixmap, AllocateGivesBackTheFirstBlockBeforeTakingTheNext) {
  EventLog log;
  CountingPixmap pixmap;
  ASSERT_EQ(pixmap.Allocate(3, 2), kXpOk);
  uint8_t* first = pixmap.block;
  ASSERT_EQ(pixmap.Allocate(5, 5), kXpOk);
  ASSERT_EQ(log.events().size(), 3u);
  EXPECT_EQ(log.events()[0].kind, AllocatorEvent::kBlock);
  EXPECT_EQ(log.events()[0].size, 24u);
  EXPECT_EQ(log.events()[1].kind, AllocatorEvent::kFree);
  EXPECT_EQ(log.events()[1].block, first);
  EXPECT_EQ(log.events()[2].kind, AllocatorEvent::kBlock);
  EXPECT_EQ(log.events()[2].size, 80u);
  EXPECT_EQ(pixmap.block, log.events()[2].block);
}

TEST(XpPixmap, FreeLeavesNothing) {
  EventLog log;
  CountingPixmap pixmap;
  ASSERT_EQ(pixmap.Allocate(4, 4), kXpOk);
  uint8_t* block = pixmap.block;
  pixmap.Free();
  EXPECT_EQ(pixmap.block, nullptr);
  EXPECT_EQ(pixmap.blockSize, 0u);
  EXPECT_EQ(pixmap.width, 0);
  EXPECT_EQ(pixmap.height, 0);
  for (int32_t i = 0; i < kXpPlaneCount; ++i) {
    EXPECT_EQ(pixmap.GetPlane(i), nullptr);
  }
  ASSERT_EQ(log.events().size(), 2u);
  EXPECT_EQ(log.events()[1].kind, AllocatorEvent::kFree);
  EXPECT_EQ(log.events()[1].block, block);
  // A second Free has nothing to give back.
  pixmap.Free();
  EXPECT_EQ(log.events().size(), 2u);
}

TEST(XpPixmap, RefusedSizesLeaveTheOldPixelsInPlace) {
  const struct {
    int32_t width;
    int32_t height;
    XpResult result;
  } cases[] = {
      {0, 5, kXpErrGeneric},
      {5, 0, kXpErrGeneric},
      {-3, 5, kXpErrGeneric},
      {5, INT32_MIN, kXpErrGeneric},
      {0x7FFFFFFF, 0x7FFFFFFF, kXpErrOutOfMemory},
      // 4 295 098 368 bytes, which 32-bit arithmetic would make 131072.
      {65536, 21846, kXpErrOutOfMemory},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    EventLog log;
    CountingPixmap pixmap;
    ASSERT_EQ(pixmap.Allocate(3, 2), kXpOk);
    FillPattern(pixmap);
    uint8_t* block = pixmap.block;
    EXPECT_EQ(pixmap.Allocate(c.width, c.height), c.result);
    EXPECT_EQ(log.events().size(), 1u) << "no request may reach the allocator";
    EXPECT_EQ(pixmap.block, block);
    EXPECT_EQ(pixmap.width, 3);
    EXPECT_EQ(pixmap.height, 2);
    EXPECT_EQ(pixmap.blockSize, 24u);
    ASSERT_NE(pixmap.GetPlane(0), nullptr);
    EXPECT_EQ(pixmap.GetPlane(0)->pixels, block);
    EXPECT_TRUE(HasPattern(pixmap));
  }
}

TEST(XpPixmap, BlocksBeyondThirtyTwoBitsAreRefusedForEveryKind) {
  // Sizes whose 32-bit block size would wrap to a small number.
  XpPixmapBGRA32 bgra;
  EXPECT_EQ(bgra.Allocate(65536, 16384), kXpErrOutOfMemory);
  XpPixmapYCbCr420 planar;
  EXPECT_EQ(planar.Allocate(0x7FFFFFFF, 4), kXpErrOutOfMemory);
  XpPixmapBGR24NoHandle bgr;
  EXPECT_EQ(bgr.Allocate(0x7FFFFFFF, 0x7FFFFFFF), kXpErrOutOfMemory);
  EXPECT_FALSE(bgr.IsAllocated());
}

TEST(XpPixmap, AllocatorWithoutMemoryLeavesThePixmapEmpty) {
  EventLog log;
  CountingPixmap pixmap;
  ASSERT_EQ(pixmap.Allocate(2, 2), kXpOk);
  pixmap.GetAllocator().refuse = true;
  EXPECT_EQ(pixmap.Allocate(3, 3), kXpErrOutOfMemory);
  EXPECT_FALSE(pixmap.IsAllocated());
  EXPECT_EQ(pixmap.width, 0);
  EXPECT_EQ(pixmap.GetPlane(0), nullptr);
  // Freed first, then a block asked for, then an image.
  ASSERT_EQ(log.events().size(), 4u);
  EXPECT_EQ(log.events()[1].kind, AllocatorEvent::kFree);
  EXPECT_EQ(log.events()[2].kind, AllocatorEvent::kBlock);
  EXPECT_EQ(log.events()[3].kind, AllocatorEvent::kImage);
  EXPECT_EQ(log.events()[3].size, 36u);
}

TEST(XpPixmap, AllocationHookFailsTheNthAllocation) {
  XpPixmapYCbCr444 first;
  XpPixmapYCbCr444 second;
  XpPixmapYCbCr444 third;
  {
    XpScopedPixmapAllocationFailure failure(2);
    EXPECT_EQ(first.Allocate(2, 2), kXpOk);
    EXPECT_EQ(second.Allocate(2, 2), kXpErrOutOfMemory);
    EXPECT_FALSE(second.IsAllocated());
    EXPECT_EQ(third.Allocate(2, 2), kXpOk);
  }
  {
    XpScopedPixmapAllocationFailure failure(1);
    // A refused size does not count as an allocation.
    EXPECT_EQ(second.Allocate(0, 2), kXpErrGeneric);
    EXPECT_EQ(second.Allocate(2, 2), kXpErrOutOfMemory);
  }
  {
    XpScopedPixmapAllocationFailure failure(3);
  }
  EXPECT_EQ(second.Allocate(2, 2), kXpOk);
}

TEST(XpPixmap, AllocationCountSeesEveryThreadsAllocationsWhileItLives) {
  XpPixmapBGR24NoHandle small;
  XpPixmapBGR24NoHandle large;
  XpPixmapBGR24NoHandle after;
  {
    XpScopedPixmapAllocationCount count;
    EXPECT_EQ(small.Allocate(2, 2), kXpOk);
    std::thread other([&] { EXPECT_EQ(large.Allocate(40, 30), kXpOk); });
    other.join();
    // A refused size is not an allocation.
    EXPECT_EQ(after.Allocate(0, 2), kXpErrGeneric);
    EXPECT_EQ(count.Count(), 2);
    EXPECT_EQ(count.LargestBytes(), large.blockSize);
    EXPECT_GT(large.blockSize, small.blockSize);
  }
  XpScopedPixmapAllocationCount again;
  EXPECT_EQ(again.Count(), 0);
  EXPECT_EQ(again.LargestBytes(), 0u);
  EXPECT_EQ(after.Allocate(3, 3), kXpOk);
  EXPECT_EQ(again.Count(), 1);
}

TEST(XpPixmap, BitmapHandleAndHeaderComeFromTheAllocator) {
  XpPixmapBGR24 withHandle;
  EXPECT_EQ(withHandle.GetBitmapHandle(), nullptr);
  ASSERT_EQ(withHandle.Allocate(3, 2), kXpOk);
  EXPECT_NE(withHandle.GetBitmapHandle(), nullptr);
  const XpBitmapInfoHeader* header = withHandle.GetBitmapInfo();
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->biWidth, 3);
  EXPECT_EQ(header->biHeight, -2);
  EXPECT_EQ(header->biBitCount, 24);
  EXPECT_EQ(header->biSizeImage, withHandle.blockSize);

  XpPixmapBGRA32 bgra;
  ASSERT_EQ(bgra.Allocate(5, 7), kXpOk);
  EXPECT_NE(bgra.GetBitmapHandle(), nullptr);
  EXPECT_EQ(bgra.GetBitmapInfo()->biSizeImage, 140u);

  XpPixmapBGR24NoHandle noHandle;
  ASSERT_EQ(noHandle.Allocate(3, 2), kXpOk);
  EXPECT_EQ(noHandle.GetBitmapHandle(), nullptr);
  ASSERT_NE(noHandle.GetBitmapInfo(), nullptr);
  EXPECT_EQ(noHandle.GetBitmapInfo()->biSizeImage, 24u);

  XpPixmapYCbCr444 ycbcr;
  ASSERT_EQ(ycbcr.Allocate(3, 2), kXpOk);
  EXPECT_EQ(ycbcr.GetBitmapHandle(), nullptr);
  EXPECT_EQ(ycbcr.GetBitmapInfo(), nullptr);
}

TEST(XpPixmap, CloneCopiesTheBlock) {
  XpPixmapYCbCr420 source;
  ASSERT_EQ(source.Allocate(5, 3), kXpOk);
  FillPattern(source);
  std::unique_ptr<XpPixmapBase> clone(static_cast<const XpPixmapBase&>(source).Clone());
  ASSERT_NE(clone, nullptr);
  ASSERT_NE(dynamic_cast<XpPixmapYCbCr420*>(clone.get()), nullptr);
  EXPECT_NE(clone->block, source.block);
  EXPECT_EQ(clone->width, 5);
  EXPECT_EQ(clone->height, 3);
  EXPECT_EQ(clone->blockSize, 19u);
  EXPECT_TRUE(HasPattern(*clone));
  EXPECT_EQ(clone->GetPlane(2)->pixels, clone->block + 17);

  XpPixmapBGR24NoHandle empty;
  std::unique_ptr<XpPixmapBGR24NoHandle> emptyClone(empty.Clone());
  ASSERT_NE(emptyClone, nullptr);
  EXPECT_FALSE(emptyClone->IsAllocated());

  XpScopedPixmapAllocationFailure failure(1);
  EXPECT_EQ(source.Clone(), nullptr);
}

TEST(XpPixmap, SwapExchangesContentsWithoutCopying) {
  XpPixmapBGR24 first;
  XpPixmapBGR24 second;
  ASSERT_EQ(first.Allocate(3, 2), kXpOk);
  ASSERT_EQ(second.Allocate(5, 4), kXpOk);
  FillPattern(first);
  uint8_t* firstBlock = first.block;
  uint8_t* secondBlock = second.block;
  first.Swap(second);
  EXPECT_EQ(first.block, secondBlock);
  EXPECT_EQ(first.width, 5);
  EXPECT_EQ(first.height, 4);
  EXPECT_EQ(first.blockSize, 64u);
  EXPECT_EQ(first.GetPlane(0)->pixels, secondBlock);
  EXPECT_EQ(first.GetPlane(0)->width, 5);
  EXPECT_EQ(first.GetPlane(0)->stride, 16u);
  EXPECT_EQ(first.GetPlane(1)->pixels, secondBlock + 64);
  EXPECT_EQ(first.GetBitmapHandle(), secondBlock);
  EXPECT_EQ(first.GetBitmapInfo()->biWidth, 5);
  EXPECT_EQ(second.block, firstBlock);
  EXPECT_EQ(second.width, 3);
  EXPECT_EQ(second.GetPlane(0)->height, 2);
  EXPECT_EQ(second.GetPlane(0)->stride, 12u);
  EXPECT_EQ(second.GetBitmapHandle(), firstBlock);
  EXPECT_EQ(second.GetBitmapInfo()->biHeight, -2);
  EXPECT_TRUE(HasPattern(second));

  // With an empty pixmap: the contents move across, each block freed once.
  XpPixmapYCbCr420 planar;
  XpPixmapYCbCr420 empty;
  ASSERT_EQ(planar.Allocate(5, 3), kXpOk);
  FillPattern(planar);
  planar.Swap(empty);
  EXPECT_FALSE(planar.IsAllocated());
  EXPECT_EQ(planar.GetPlane(0), nullptr);
  ASSERT_TRUE(empty.IsAllocated());
  EXPECT_EQ(empty.GetPlane(2)->pixels, empty.block + 17);
  EXPECT_TRUE(HasPattern(empty));
}

TEST(XpPixmap, SharedPointerReleasesThroughTheBase) {
  EventLog log;
  {
    auto* pixmap = new CountingPixmap();
    ASSERT_EQ(pixmap->Allocate(2, 2), kXpOk);
    XpSharedPtr<XpPixmapBase> first(pixmap);
    XpSharedPtr<XpPixmapBase> second = first;
    first.Reset();
    EXPECT_EQ(log.events().size(), 1u);
    EXPECT_EQ(second->width, 2);
  }
  ASSERT_EQ(log.events().size(), 2u);
  EXPECT_EQ(log.events()[1].kind, AllocatorEvent::kFree);
}

}  // namespace
