#pragma once

#include "imaging/icc/icc_basic_type.h"
#include "imaging/icc/s15Fixed16Number.h"

// A colour in XYZ: three s15Fixed16Number.
class XYZNumber : public icc_basic_type {
 public:
  XYZNumber() = default;
  XYZNumber(const s15Fixed16Number& x, const s15Fixed16Number& y, const s15Fixed16Number& z);

  [[nodiscard]] XpResult Read(XpAbstractFile& file) override;

  s15Fixed16Number GetX() const { return x_; }
  s15Fixed16Number GetY() const { return y_; }
  s15Fixed16Number GetZ() const { return z_; }

 private:
  s15Fixed16Number x_;
  s15Fixed16Number y_;
  s15Fixed16Number z_;
};
