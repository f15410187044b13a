#pragma once

// The main of a reader's libFuzzer entry point built without libFuzzer:
// runs the entry point once on each file named on the command line (a
// crash, a hang or a sanitizer report is the finding).

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

using ReaderFuzzEntry = int (*)(const uint8_t* data, size_t size);

inline int RunReaderFuzzOnFiles(int argc, char** argv, ReaderFuzzEntry entry) {
  for (int index = 1; index < argc; ++index) {
    std::ifstream in(argv[index], std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    static_cast<void>(entry(bytes.data(), bytes.size()));
  }
  return 0;
}
