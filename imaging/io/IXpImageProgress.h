#pragma once

#include <cstdint>

// Progress of reading or writing a picture.
class IXpImageProgress {
 public:
  virtual ~IXpImageProgress() = default;
  // percent is 0 to 100; non-zero asks the operation to stop.
  virtual int32_t OnProgress(int32_t percent) = 0;
};
