#include "imaging/icc/XYZNumber.h"

XYZNumber::XYZNumber(const s15Fixed16Number& x, const s15Fixed16Number& y,
                     const s15Fixed16Number& z)
    : x_(x), y_(y), z_(z) {}

XpResult XYZNumber::Read(XpAbstractFile& file) {
  XpResult result = kXpOk;
  for (s15Fixed16Number* number : {&x_, &y_, &z_}) {
    result = number->Read(file);
    if (result != kXpOk) {
      break;
    }
  }
  return result;
}
