#pragma once

#include <cstdint>

// One weighted step of a task's pass: the code of the progress notifications
// that report the percentage within the step, the code of the notification
// that ends it, and its share of the pass.
struct XfProgressStep {
  uint32_t progressCode = 0;
  uint32_t endCode = 0;
  double weight = 0.0;
};
