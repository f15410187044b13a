#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/text/XpString.h"

// The formatter against snprintf on the picture-name format that the camera
// export builds for every file.

namespace {

constexpr char kNarrowFolder[] = "/media/user/CAMERA/DCIM/100KAVO";
constexpr char16_t kWideFolder[] = u"/media/user/CAMERA/DCIM/100KAVO";
constexpr int32_t kNumberSpan = 10000;

void XpStringFormatPictureName(benchmark::State& state) {
  const XpString folder(kWideFolder);
  XpString name;
  int32_t number = 0;
  uint32_t id = 0x1234ABCD;
  for (auto _ : state) {
    const XpResult result = name.Format(u"%s/%04d_%08X.JPG", folder, number, id);
    benchmark::DoNotOptimize(result);
    benchmark::DoNotOptimize(name.CStr());
    number = (number + 1) % kNumberSpan;
    id += 0x9E3779B9u;
  }
}
BENCHMARK(XpStringFormatPictureName);

void SnprintfPictureName(benchmark::State& state) {
  const std::string folder(kNarrowFolder);
  char name[512];
  int number = 0;
  unsigned id = 0x1234ABCD;
  for (auto _ : state) {
    const int length = std::snprintf(name, sizeof(name), "%s/%04d_%08X.JPG", folder.c_str(), number, id);
    benchmark::DoNotOptimize(length);
    benchmark::DoNotOptimize(name);
    number = (number + 1) % kNumberSpan;
    id += 0x9E3779B9u;
  }
}
BENCHMARK(SnprintfPictureName);

// Parsing stays linear in the length of the format.
void XpStringFormatManyPercents(benchmark::State& state) {
  std::u16string format;
  for (int64_t i = 0; i < state.range(0); ++i) format += u"%%";
  XpString text;
  for (auto _ : state) {
    const XpResult result = text.Format(format.c_str());
    benchmark::DoNotOptimize(result);
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(XpStringFormatManyPercents)->RangeMultiplier(10)->Range(1000, 100000)->Complexity()->Unit(benchmark::kMillisecond);

}  // namespace
