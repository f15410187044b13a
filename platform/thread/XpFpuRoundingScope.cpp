#include "platform/thread/XpFpuRoundingScope.h"

#include <cfenv>

XpFpuRoundingScope::XpFpuRoundingScope() : saved_(std::fegetround()) {
  std::fesetround(FE_TONEAREST);
}

XpFpuRoundingScope::~XpFpuRoundingScope() { std::fesetround(saved_); }
