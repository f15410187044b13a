#include "fsk/FskTrace.h"

#include <cstdio>
#include <utility>

namespace {

FskTraceSink& Sink() {
  static FskTraceSink sink;
  return sink;
}

}  // namespace

FskTraceSink FskSetTraceSink(FskTraceSink sink) { return std::exchange(Sink(), std::move(sink)); }

void FskTraceText(std::string_view text) {
  if (Sink()) {
    Sink()(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
}
