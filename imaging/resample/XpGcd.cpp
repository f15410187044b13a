#include "imaging/resample/XpGcd.h"

int64_t XpGcd(int32_t a, int32_t b) {
  if (b == 0) {
    return 0;
  }
  int64_t x = a;
  int64_t y = b;
  while (y != 0) {
    const int64_t rest = x % y;
    x = y;
    y = rest;
  }
  return x;
}
