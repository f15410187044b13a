#pragma once

// Runs the enclosed code with round-to-nearest and puts the caller's
// rounding mode back afterwards.
class XpFpuRoundingScope {
 public:
  XpFpuRoundingScope();
  XpFpuRoundingScope(const XpFpuRoundingScope&) = delete;
  XpFpuRoundingScope& operator=(const XpFpuRoundingScope&) = delete;
  ~XpFpuRoundingScope();

 private:
  int saved_;
};
