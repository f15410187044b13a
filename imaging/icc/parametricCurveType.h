#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/icc/icc_type.h"
#include "imaging/icc/s15Fixed16Number.h"

// "para": a curve given by a function type and its parameters g, a, b, c,
// d, e, f. The function type is not kept: the number of parameters tells
// it.
class parametricCurveType : public icc_type {
 public:
  static constexpr IccSignature kSignature = 0x70617261;  // "para"
  static constexpr size_t kMaxParameters = 7;

  // A pure gamma curve, g = 2.2.
  parametricCurveType();
  parametricCurveType(const s15Fixed16Number& g, const s15Fixed16Number& a,
                      const s15Fixed16Number& b);
  parametricCurveType(const s15Fixed16Number& g, const s15Fixed16Number& a,
                      const s15Fixed16Number& b, const s15Fixed16Number& c);
  parametricCurveType(const s15Fixed16Number& g, const s15Fixed16Number& a,
                      const s15Fixed16Number& b, const s15Fixed16Number& c,
                      const s15Fixed16Number& d);
  parametricCurveType(const s15Fixed16Number& g, const s15Fixed16Number& a,
                      const s15Fixed16Number& b, const s15Fixed16Number& c,
                      const s15Fixed16Number& d, const s15Fixed16Number& e,
                      const s15Fixed16Number& f);

  // Function types 0 to 4 have 1, 3, 4, 5 and 7 parameters; a higher type
  // reads 7, as type 4 does. Each parameter is kept as soon as it is read.
  [[nodiscard]] XpResult Read(XpAbstractFile& file, uint32_t size) override;

  std::vector<s15Fixed16Number> GetParameters() const { return parameters_; }

 private:
  std::vector<s15Fixed16Number> parameters_;
};
