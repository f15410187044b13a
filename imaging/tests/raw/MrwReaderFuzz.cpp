// The MRW reader over a file made of the input's bytes, held in memory; its
// preview goes through the JPEG reader. Built as a libFuzzer entry point
// with -fsanitize=fuzzer -DKAVO_LIBFUZZER; otherwise its main runs the
// entry point once per file named on the command line.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/raw/XpImageIoMRW.h"
#include "imaging/tests/ReaderFuzzMain.h"
#include "platform/memory/XpMemoryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  XpMemoryFile file(bytes.data(), bytes.size(), false);
  if (XpFailed(file.Open(kXpOpenRead))) {
    return 0;
  }
  XpImageIoMRW reader;
  static_cast<void>(reader.LocateTiffBlock(file, 0));
  XpSize picture;
  static_cast<void>(reader.ReadImageSize(file, 0, &picture, false));
  std::unique_ptr<XpPixmapBase> pixmap(reader.ReadPixmap(file, 0, 1, nullptr, true, true));
  std::unique_ptr<XpPixmapBase> thumbnail(reader.ReadOrientedPixmap(file, 0));
  std::vector<uint8_t> preview(data, data + size);
  static_cast<void>(MrwReadPreviewSize(preview.data(), preview.size(), &picture));
  return 0;
}

#ifndef KAVO_LIBFUZZER
int main(int argc, char** argv) { return RunReaderFuzzOnFiles(argc, argv, LLVMFuzzerTestOneInput); }
#endif
