// The JPEG reader over a stream made of the input's bytes, held in memory.
// Built as a libFuzzer entry point with -fsanitize=fuzzer
// -DKAVO_LIBFUZZER; otherwise its main runs the entry point once per file
// named on the command line.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tests/ReaderFuzzMain.h"
#include "platform/memory/XpMemoryFile.h"

namespace {

// Decoding at an eighth keeps a picture that declares a huge frame small.
constexpr int32_t kFuzzScale = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  XpMemoryFile file(bytes.data(), bytes.size(), false);
  if (XpFailed(file.Open(kXpOpenRead))) {
    return 0;
  }
  XpImageIoJpeg reader;
  static_cast<void>(reader.LocateTiffBlock(file, 0));
  static_cast<void>(reader.ReadTags(file, 0));
  static_cast<void>(reader.ReadIccProfile(file, 0));
  XpSize picture;
  static_cast<void>(reader.ReadImageSize(file, 0, &picture, false));
  std::unique_ptr<XpPixmapBase> pixmap(reader.ReadPixmap(file, 0, kFuzzScale, nullptr, true, true));
  std::unique_ptr<XpPixmapBase> thumbnail(reader.ReadOrientedPixmap(file, 0));
  return 0;
}

#ifndef KAVO_LIBFUZZER
int main(int argc, char** argv) { return RunReaderFuzzOnFiles(argc, argv, LLVMFuzzerTestOneInput); }
#endif
