#pragma once

#include <algorithm>
#include <cstdint>

// Sizes and rectangles of the user-interface layer, in the pixels of a
// renderer's own surface (a character cell counts as several pixels).
struct XfUiSize {
  int32_t width = 0;
  int32_t height = 0;

  bool operator==(const XfUiSize&) const = default;
};

// A rectangle with exclusive right and bottom edges.
struct XfUiRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  bool operator==(const XfUiRect&) const = default;

  bool IsEmpty() const { return right <= left || bottom <= top; }
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }

  // The part of this rectangle inside clip; empty when they do not meet.
  XfUiRect Intersect(const XfUiRect& clip) const {
    XfUiRect result{std::max(left, clip.left), std::max(top, clip.top), std::min(right, clip.right),
                    std::min(bottom, clip.bottom)};
    if (result.IsEmpty()) {
      return XfUiRect{};
    }
    return result;
  }
};
