// rawsample FOLDER: writes sample.ZK2 and sample.MRW, each with a 640 x 360
// preview of a 4:3 picture, into FOLDER (created when missing).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "imaging/tests/raw/RawFileBuilder.h"

namespace {

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: rawsample FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder(argv[1]);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  ZkpLayout zk2;
  zk2.previewWidth = 640;
  zk2.previewHeight = 360;
  MrwLayout mrw;
  mrw.previewWidth = 640;
  mrw.previewHeight = 360;
  mrw.prdWidth = 3016;
  mrw.prdHeight = 2008;
  if (!WriteFile(folder / "sample.ZK2", BuildZkp(zk2)) ||
      !WriteFile(folder / "sample.MRW", BuildMrw(mrw))) {
    std::fprintf(stderr, "rawsample: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
