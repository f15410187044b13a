#include "platform/memory/XpBitmapAllocator.h"

#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "platform/memory/XpDefaultAllocator.h"

namespace {

enum class Kind { k24, k24NoHandle, k32, k32NoHandle };

std::unique_ptr<XpBitmapAllocator> MakeAllocator(Kind kind) {
  switch (kind) {
    case Kind::k24:
      return std::make_unique<XpBitmapAllocator24>();
    case Kind::k24NoHandle:
      return std::make_unique<XpBitmapAllocator24NoHandle>();
    case Kind::k32:
      return std::make_unique<XpBitmapAllocator32>();
    case Kind::k32NoHandle:
      return std::make_unique<XpBitmapAllocator32NoHandle>();
  }
  return nullptr;
}

struct HeaderCase {
  Kind kind;
  int32_t width;
  int32_t height;
  uint16_t bitCount;
  uint64_t rowBytes;
  int32_t biHeight;
  uint32_t biSizeImage;
};

TEST(XpBitmapAllocator, HeaderDescribesTopDownPaddedRows) {
  const HeaderCase cases[] = {
      {Kind::k24, 3, 2, 24, 12, -2, 24},
      {Kind::k24NoHandle, 1, 1, 24, 4, -1, 4},
      {Kind::k24NoHandle, 4, -3, 24, 12, -3, 36},
      {Kind::k32, 5, -7, 32, 20, -7, 140},
      {Kind::k32NoHandle, 5, 7, 32, 20, -7, 140},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "width " << c.width << " height " << c.height
                                    << " bits " << c.bitCount);
    std::unique_ptr<XpBitmapAllocator> allocator = MakeAllocator(c.kind);
    EXPECT_EQ(XpBitmapAllocator::RowBytes(c.bitCount, c.width), c.rowBytes);
    auto* pixels = static_cast<unsigned char*>(allocator->Allocate(c.width, c.height));
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(allocator->GetPixels(), pixels);
    const XpBitmapInfoHeader* header = allocator->GetBitmapInfo();
    EXPECT_EQ(header->biSize, 40u);
    EXPECT_EQ(header->biWidth, c.width);
    EXPECT_EQ(header->biHeight, c.biHeight);
    EXPECT_EQ(header->biPlanes, 1);
    EXPECT_EQ(header->biBitCount, c.bitCount);
    EXPECT_EQ(header->biCompression, kXpBitmapCompressionRgb);
    EXPECT_EQ(header->biSizeImage, c.biSizeImage);
    EXPECT_EQ(header->biClrUsed, 0u);
    // Every byte the header promises is there and starts zeroed.
    for (uint32_t i = 0; i < c.biSizeImage; ++i) {
      ASSERT_EQ(pixels[i], 0) << "byte " << i;
    }
    std::memset(pixels, 0xAB, c.biSizeImage);
  }
}

TEST(XpBitmapAllocator, OnlySectionKindsHaveAHandle) {
  const struct {
    Kind kind;
    bool hasHandle;
  } cases[] = {
      {Kind::k24, true}, {Kind::k24NoHandle, false}, {Kind::k32, true}, {Kind::k32NoHandle, false}};
  for (const auto& c : cases) {
    std::unique_ptr<XpBitmapAllocator> allocator = MakeAllocator(c.kind);
    EXPECT_EQ(allocator->GetUseSection(), c.hasHandle);
    EXPECT_EQ(allocator->GetHandle(), nullptr);
    ASSERT_NE(allocator->Allocate(8, 8), nullptr);
    EXPECT_EQ(allocator->GetHandle() != nullptr, c.hasHandle);
    allocator->Free();
    EXPECT_EQ(allocator->GetHandle(), nullptr);
    EXPECT_EQ(allocator->GetPixels(), nullptr);
  }
}

TEST(XpBitmapAllocator, SetUseSectionTakesEffectWithNextAllocate) {
  XpBitmapAllocator24NoHandle allocator;
  allocator.SetUseSection(true);
  ASSERT_NE(allocator.Allocate(2, 2), nullptr);
  EXPECT_NE(allocator.GetHandle(), nullptr);
  allocator.SetUseSection(false);
  ASSERT_NE(allocator.Allocate(2, 2), nullptr);
  EXPECT_EQ(allocator.GetHandle(), nullptr);
}

TEST(XpBitmapAllocator, SwapExchangesPixelsHeaderAndKind) {
  XpBitmapAllocator24 first;
  XpBitmapAllocator24 second;
  second.SetUseSection(false);
  void* firstPixels = first.Allocate(3, 2);
  void* secondPixels = second.Allocate(5, 7);
  ASSERT_NE(firstPixels, nullptr);
  ASSERT_NE(secondPixels, nullptr);
  first.Swap(second);
  EXPECT_EQ(first.GetPixels(), secondPixels);
  EXPECT_EQ(first.GetHandle(), nullptr);
  EXPECT_FALSE(first.GetUseSection());
  EXPECT_EQ(first.GetBitmapInfo()->biWidth, 5);
  EXPECT_EQ(first.GetBitmapInfo()->biHeight, -7);
  EXPECT_EQ(second.GetPixels(), firstPixels);
  EXPECT_EQ(second.GetHandle(), firstPixels);
  EXPECT_TRUE(second.GetUseSection());
  EXPECT_EQ(second.GetBitmapInfo()->biWidth, 3);
  EXPECT_EQ(second.GetBitmapInfo()->biSizeImage, 24u);
  // Each block is freed once, by its new owner (the sanitizer build checks).
  second.Free();
  EXPECT_EQ(first.GetPixels(), secondPixels);
}

TEST(XpBitmapAllocator, SecondAllocateReleasesTheFirst) {
  // The sanitizer build reports the first block should it leak.
  XpBitmapAllocator32 allocator;
  ASSERT_NE(allocator.Allocate(16, 16), nullptr);
  void* second = allocator.Allocate(3, 3);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(allocator.GetPixels(), second);
  EXPECT_EQ(allocator.GetHandle(), second);
  EXPECT_EQ(allocator.GetBitmapInfo()->biSizeImage, 36u);
}

TEST(XpBitmapAllocator, RefusesSizesWithoutAnImageOrBeyondThirtyTwoBits) {
  const struct {
    Kind kind;
    int32_t width;
    int32_t height;
  } cases[] = {
      {Kind::k24, 1000000, 1000000},
      // 2^32 bytes: a 32-bit size computation would wrap to 0.
      {Kind::k32, 65536, 16384},
      {Kind::k32NoHandle, 0x7FFFFFFF, INT32_MIN},
      {Kind::k24, 0, 5},
      {Kind::k24, -4, 5},
      {Kind::k24NoHandle, 5, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "width " << c.width << " height " << c.height);
    std::unique_ptr<XpBitmapAllocator> allocator = MakeAllocator(c.kind);
    ASSERT_NE(allocator->Allocate(4, 4), nullptr);
    EXPECT_EQ(allocator->Allocate(c.width, c.height), nullptr);
    EXPECT_EQ(allocator->GetPixels(), nullptr);
    EXPECT_EQ(allocator->GetHandle(), nullptr);
    EXPECT_EQ(allocator->GetBitmapInfo()->biSizeImage, 0u);
    EXPECT_EQ(allocator->GetBitmapInfo()->biWidth, 0);
  }
}

TEST(XpBitmapAllocator, PixmapInterfaceAsksForExactImages) {
  XpBitmapAllocator24NoHandle allocator;
  EXPECT_EQ(allocator.AllocateBlock(24), nullptr);
  EXPECT_EQ(XpStubReturnZero(100), nullptr);
  // A stride or size other than the allocator's own gets no image.
  EXPECT_EQ(allocator.AllocateImage(3, 2, 9, 18), nullptr);
  EXPECT_EQ(allocator.AllocateImage(3, 2, 12, 12), nullptr);
  void* image = allocator.AllocateImage(3, 2, 12, 24);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(allocator.GetBitmapInfo()->biSizeImage, 24u);
  allocator.FreeBlock(image);
  EXPECT_EQ(allocator.GetPixels(), nullptr);
}

TEST(XpBitmapAllocator, DefaultAllocatorGivesZeroedHeapBlocks) {
  XpDefaultAllocator allocator;
  EXPECT_EQ(allocator.GetHandle(), nullptr);
  EXPECT_EQ(allocator.GetBitmapInfo(), nullptr);
  EXPECT_EQ(allocator.AllocateBlock(0), nullptr);
  EXPECT_EQ(allocator.AllocateImage(3, 2, 9, 18), nullptr);
  auto* block = static_cast<unsigned char*>(allocator.AllocateBlock(19));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 19; ++i) {
    ASSERT_EQ(block[i], 0) << "byte " << i;
  }
  block[18] = 1;
  allocator.FreeBlock(block);
}

}  // namespace
