#include "platform/memory/XpBitmapAllocator.h"

#include <cstdlib>
#include <limits>
#include <utility>

namespace {

constexpr uint64_t kRowAlignmentBits = 32;
constexpr uint64_t kRowAlignmentBytes = 4;
constexpr uint64_t kMaxImageBytes = std::numeric_limits<uint32_t>::max();

uint64_t AbsoluteHeight(int32_t height) {
  const int64_t wide = height;
  return static_cast<uint64_t>(wide < 0 ? -wide : wide);
}

// rowBytes x rows, or 0 when it exceeds the header's 32-bit size field.
uint64_t ImageBytes(uint64_t rowBytes, uint64_t rows) {
  if (rowBytes == 0 || rows == 0 || rowBytes > kMaxImageBytes / rows) {
    return 0;
  }
  return rowBytes * rows;
}

}  // namespace

void* XpStubReturnZero(size_t /*size*/) { return nullptr; }

XpBitmapAllocator::XpBitmapAllocator(uint16_t bitsPerPixel, bool useSection)
    : useSection_(useSection) {
  header_.biBitCount = bitsPerPixel;
}

XpBitmapAllocator::~XpBitmapAllocator() { Free(); }

uint64_t XpBitmapAllocator::RowBytes(uint16_t bitsPerPixel, int32_t width) {
  if (width < 1) {
    return 0;
  }
  const uint64_t bits = static_cast<uint64_t>(bitsPerPixel) * static_cast<uint64_t>(width);
  return (bits + kRowAlignmentBits - 1) / kRowAlignmentBits * kRowAlignmentBytes;
}

void* XpBitmapAllocator::Allocate(int32_t width, int32_t height) {
  Free();
  const uint64_t rows = AbsoluteHeight(height);
  const uint64_t size = ImageBytes(RowBytes(header_.biBitCount, width), rows);
  if (size == 0) {
    return nullptr;
  }
  pixels_ = std::calloc(static_cast<size_t>(size), 1);
  if (pixels_ == nullptr) {
    return nullptr;
  }
  header_.biWidth = width;
  header_.biHeight = static_cast<int32_t>(-static_cast<int64_t>(rows));
  header_.biSizeImage = static_cast<uint32_t>(size);
  section_ = useSection_ ? pixels_ : nullptr;
  return pixels_;
}

void XpBitmapAllocator::Free() {
  std::free(pixels_);
  pixels_ = nullptr;
  section_ = nullptr;
  ClearImageFields();
}

void XpBitmapAllocator::ClearImageFields() {
  header_.biWidth = 0;
  header_.biHeight = 0;
  header_.biSizeImage = 0;
}

void* XpBitmapAllocator::AllocateImage(int32_t width, int32_t height, size_t stride, size_t size) {
  const uint64_t rowBytes = RowBytes(header_.biBitCount, width);
  if (rowBytes != stride || ImageBytes(rowBytes, AbsoluteHeight(height)) != size) {
    return nullptr;
  }
  return Allocate(width, height);
}

void XpBitmapAllocator::FreeBlock(void* /*block*/) { Free(); }

void XpBitmapAllocator::Swap(XpBitmapAllocator& other) noexcept {
  std::swap(header_, other.header_);
  std::swap(pixels_, other.pixels_);
  std::swap(section_, other.section_);
  std::swap(useSection_, other.useSection_);
}
