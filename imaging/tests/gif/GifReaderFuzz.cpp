// The GIF reader over a file made of the input's bytes, held in memory.
// Built as a libFuzzer entry point with -fsanitize=fuzzer -DKAVO_LIBFUZZER;
// otherwise its main runs the entry point once per file named on the
// command line.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/gif/XpImageIoGIF.h"
#include "imaging/tests/ReaderFuzzMain.h"
#include "platform/memory/XpMemoryFile.h"

namespace {

// The first image, and a second one drawn over it.
constexpr int32_t kImageIndexes[] = {0, 1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  XpMemoryFile file(bytes.data(), bytes.size(), false);
  if (XpFailed(file.Open(kXpOpenRead))) {
    return 0;
  }
  XpImageIoGIF reader;
  XpSize screen;
  static_cast<void>(reader.ReadImageSize(file, 0, &screen, false));
  for (const int32_t index : kImageIndexes) {
    XpFormatKind kind = kXpKindUnknown;
    std::unique_ptr<XpPixmapBase> pixmap(reader.DecodeGif(file, 0, false, kind, index));
  }
  return 0;
}

#ifndef KAVO_LIBFUZZER
int main(int argc, char** argv) { return RunReaderFuzzOnFiles(argc, argv, LLVMFuzzerTestOneInput); }
#endif
