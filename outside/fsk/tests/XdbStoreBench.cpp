// Measures the album database store: 10 000 contents added with one flush,
// open and close of that database, and the size of its folder. Run by hand;
// ctest never runs it.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "outside/fsk/dbmanager/XdbStore.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int32_t kContents = 10000;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

uintmax_t FolderBytes(const fs::path& folder) {
  uintmax_t total = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    total += entry.file_size();
  }
  return total;
}

int Run(FskMachine* the, const fs::path& root) {
  fs::path folder = root / "DBFILES";
  fs::create_directory(folder);
  XdbStore store(the);
  int status = 0;
  if (store.Open(folder.string(), &status) != kXpOk || status != XdbStore::kOpened) {
    std::fprintf(stderr, "open failed\n");
    return 1;
  }
  std::printf("empty database: %ju bytes\n", FolderBytes(folder));
  Clock::time_point start = Clock::now();
  int32_t album = 0;
  if (store.AddAlbum({0, 0, "bench"}, &album) != kXpOk) {
    return 1;
  }
  for (int32_t i = 0; i < kContents; ++i) {
    int32_t id = 0;
    if (store.AddContent({1.2e12 + i * 1000.0, 100 + i / 9999, i % 9999 + 1, album, 0, 0, 0, 0}, &id) != kXpOk) {
      return 1;
    }
  }
  if (store.Flush() != kXpOk) {
    return 1;
  }
  std::printf("%d contents added with one flush: %.3f s\n", kContents, SecondsSince(start));
  if (store.Close() != kXpOk) {
    return 1;
  }
  std::printf("folder: %ju bytes\n", FolderBytes(folder));
  start = Clock::now();
  if (store.Open(folder.string(), &status) != kXpOk || store.Close() != kXpOk) {
    return 1;
  }
  std::printf("open + close: %.3f s\n", SecondsSince(start));
  return 0;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/xdbbench.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    return 1;
  }
  fs::path root = pattern;
  int result = 1;
  {
    fsktest::GrammarMachine machine;
    if (machine.Machine() != nullptr) {
      result = Run(machine.Machine(), root);
    }
  }
  fs::remove_all(root);
  return result;
}
