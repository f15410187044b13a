#pragma once

#include <cstdint>

// A pixel rectangle; right and bottom are exclusive. No invariant is kept:
// a rectangle may be empty or inverted.
struct XpRect {
  XpRect() = default;
  XpRect(int32_t leftIn, int32_t topIn, int32_t rightIn, int32_t bottomIn)
      : left(leftIn), top(topIn), right(rightIn), bottom(bottomIn) {}

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool IsEmpty() const { return left >= right || top >= bottom; }

  // Sets this rectangle to the intersection of a and b; when that is empty,
  // to all zeros, and answers false.
  bool Intersect(const XpRect& a, const XpRect& b);

  // Moves the rectangle, keeping its size, to the centre of outer. Odd
  // differences halve toward zero.
  void CenterIn(const XpRect& outer);

  // Gives the rectangle the largest size of its own aspect ratio that fits
  // inside outer and centres it there.
  void FitAndCenterIn(const XpRect& outer);

  friend bool operator==(const XpRect&, const XpRect&) = default;

  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};
