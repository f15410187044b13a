// The album database's open and check over a "DBFILES" folder made from
// arbitrary bytes. Built as a libFuzzer entry point with
// -fsanitize=fuzzer -DXDB_CHECK_LIBFUZZER; otherwise its main runs the
// entry point once per file named on the command line (a crash or a
// sanitizer report is the finding).
//
// Input: for each store file in the order of kNames, a 32-bit little-endian
// length and that many bytes; the input may end anywhere, and the files it
// does not reach are absent.

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "outside/fsk/dbmanager/XdbStore.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kNames[] = {"XDB.DAT", "XDB.FRE", "IDS.BLK", "XDB.IND", "OAI.IND", "GUID.IND", "DATA.BLK"};
constexpr size_t kLengthBytes = 4;
// A small limit keeps each run short; the check's bounds are the same.
constexpr int32_t kFuzzLimit = 1000;

fsktest::GrammarMachine& Machine() {
  static fsktest::GrammarMachine machine;
  return machine;
}

const fs::path& Folder() {
  static const fs::path folder = fs::temp_directory_path() / ("xdb-check-fuzz-" + std::to_string(::getpid()));
  return folder;
}

// Writes the files the input holds into a fresh folder.
void MakeFolder(const uint8_t* data, size_t size) {
  std::error_code ignored;
  fs::remove_all(Folder(), ignored);
  fs::create_directories(Folder());
  size_t at = 0;
  for (const char* name : kNames) {
    if (size - at < kLengthBytes) {
      return;
    }
    size_t length = 0;
    for (size_t byte = 0; byte < kLengthBytes; ++byte) {
      length |= static_cast<size_t>(data[at + byte]) << (8 * byte);
    }
    at += kLengthBytes;
    length = std::min(length, size - at);
    std::ofstream out(Folder() / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data + at), static_cast<std::streamsize>(length));
    at += length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (Machine().Machine() == nullptr) {
    return 0;
  }
  MakeFolder(data, size);
  XdbStore store(Machine().Machine());
  store.SetLimit(kFuzzLimit);
  int status = 0;
  if (XpSucceeded(store.Open(Folder().string(), &status)) && status == XdbStore::kOpened) {
    (void)store.Check();
    (void)store.Close();
  }
  return 0;
}

#ifndef XDB_CHECK_LIBFUZZER
int main(int argc, char** argv) {
  if (Machine().Machine() == nullptr) {
    std::fprintf(stderr, "xdb_check_fuzz: the grammars cannot be loaded (%d)\n", static_cast<int>(Machine().LoadError()));
    return 1;
  }
  for (int index = 1; index < argc; ++index) {
    std::ifstream in(argv[index], std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    (void)LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::error_code ignored;
  fs::remove_all(Folder(), ignored);
  return 0;
}
#endif
