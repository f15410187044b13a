// Runs the journal's fuzz entry point over the files named on the command
// line, for builds without libFuzzer (which brings its own main).

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    (void)LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  return 0;
}
