#pragma once

#include <cstdint>
#include <memory>

#include "platform/result/XpResult.h"

// Lanczos weights of one pass: for each of count target positions, taps
// source positions (clamped into the source) and their Q16 weights.
class XpResampleTable {
 public:
  XpResampleTable() = default;
  XpResampleTable(const XpResampleTable&) = delete;
  XpResampleTable& operator=(const XpResampleTable&) = delete;

  // Builds the table from a source of sourceLength pixels to targetLength:
  // the reduction table when the source is longer (the filter spans three
  // target pixels each side, taps = ceil(6 s / t)), else the enlargement
  // table (six taps, three source pixels each side). Weights are normalised
  // to sum to about 65536. kXpErrGeneric for a length below 1,
  // kXpErrOutOfMemory when the table cannot be allocated.
  [[nodiscard]] XpResult Build(int32_t sourceLength, int32_t targetLength);

  // The first source position of target i before clamping.
  int64_t Start(int32_t i) const { return starts_[static_cast<size_t>(i)]; }
  const int32_t* Indices(int32_t i) const { return &indices_[Offset(i)]; }
  const int32_t* Weights(int32_t i) const { return &weights_[Offset(i)]; }

  int32_t count = 0;
  int32_t taps = 0;

 private:
  size_t Offset(int32_t i) const { return static_cast<size_t>(i) * static_cast<size_t>(taps); }
  [[nodiscard]] XpResult Reserve(int32_t targetLength, int64_t tapCount);
  void BuildReduction(int32_t sourceLength, int32_t targetLength);
  void BuildEnlargement(int32_t sourceLength, int32_t targetLength);
  // Clamps the raw weights' position into the source and stores the
  // normalised Q16 weights of target i.
  void Store(int32_t i, int64_t start, int32_t sourceLength, const double* raw, double sum);

  std::unique_ptr<int64_t[]> starts_;
  std::unique_ptr<int32_t[]> indices_;
  std::unique_ptr<int32_t[]> weights_;
  std::unique_ptr<double[]> raw_;
};
