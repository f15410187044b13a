#include "imaging/resample/XpLanczos3.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kThird = 0.3333333333333333;
constexpr double kReach = 3.0;

}  // namespace

double XpLanczos3(double x) {
  if (std::fabs(x) < std::numeric_limits<double>::epsilon()) {
    return 1.0;
  }
  if (std::fabs(x) >= kReach) {
    return 0.0;
  }
  static const double pi = 4.0 * std::atan(1.0);
  const double angle = pi * x;
  return std::sin(angle) * std::sin(kThird * angle) / (pi * pi * x * x * kThird);
}
