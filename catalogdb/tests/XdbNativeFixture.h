#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskException.h"
#include "fsk/FskMemory.h"
#include "fsk/FskScript.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/testsupport/HermeticTest.h"

namespace xdbtest {

using Bytes = std::vector<uint8_t>;

// The big-endian value of a four-character type code.
constexpr int32_t TypeCode(const char (&code)[5]) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
                              (static_cast<uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
                              static_cast<uint32_t>(static_cast<unsigned char>(code[3])));
}

// What a call raised: the native error's code, kOtherError for an error
// that is not a native one, 0 for nothing.
inline constexpr int64_t kOtherError = -1;

// A machine with both grammars loaded and a host bracket open, for natives
// called through the runtime, with files in the test's folder.
class XdbNativeFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    machine_ = std::make_unique<fsktest::GrammarMachine>();
    ASSERT_NE(machine_->Machine(), nullptr) << machine_->LoadError();
    the_ = machine_->Machine();
    fxBeginHost(the_);
  }

  void TearDown() override {
    // Atom files have no destructor: close every one the test made.
    for (const fsk::Value& file : files_) {
      try {
        fsk::Call(the_, file, "close");
      } catch (const FskException&) {
        ADD_FAILURE() << "an atom file did not close";
      }
    }
    files_.clear();
    machine_.reset();
    HermeticTest::TearDown();
  }

  fsk::Value Path(const char* path) { return fsk::GetPath(the_, path); }

  std::string FilePath(const std::string& name) { return (Dir("db") / name).string(); }

  static Bytes FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  static int64_t FileSize(const std::string& path) {
    return static_cast<int64_t>(std::filesystem::file_size(path));
  }

  // A new atom file, never opened; the test's end closes it.
  fsk::Value NewAtomFile(const char* prototype = "xdb.atomFile") {
    fsk::Value file = fsk::NewInstanceOf(the_, Path(prototype));
    fsk::Set(the_, file, "refnum", fsk::Value::Integer(-1));
    files_.push_back(file);
    return file;
  }

  // A new atom file, created at path (emptied).
  fsk::Value CreateAtomFile(const std::string& path, const char* prototype = "xdb.atomFile") {
    fsk::Value file = NewAtomFile(prototype);
    fsk::Call(the_, file, "create", path);
    return file;
  }

  // A new atom file opened on a file holding bytes.
  fsk::Value AtomFileWith(const std::string& name, const Bytes& bytes, const char* prototype = "xdb.atomFile") {
    std::string path = FilePath(name);
    WriteFile(path, bytes);
    fsk::Value file = NewAtomFile(prototype);
    fsk::Call(the_, file, "open", path);
    return file;
  }

  fsk::Value NewChunk(const std::string& bytes) {
    fsk::Value chunk = fsk::New(the_, fsk::Global(the_), "Chunk", static_cast<int64_t>(bytes.size()));
    FskMemCopy(fxGetHostData(the_, &chunk.Slot()), bytes.data(), bytes.size());
    return chunk;
  }

  std::string ChunkText(const fsk::Value& chunk) {
    int64_t length = fsk::ToInteger(the_, fsk::Get(the_, chunk, "length"));
    const auto* bytes = static_cast<const char*>(fxGetHostData(the_, &chunk.Slot()));
    return std::string(bytes, static_cast<size_t>(length));
  }

  int64_t Integer(const fsk::Value& value) { return fsk::ToInteger(the_, value); }

  int64_t Address(const void* pointer) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(pointer)); }

  // Runs call and tells what it raised.
  template <typename Call>
  int64_t Raised(Call&& call) {
    try {
      call();
    } catch (const FskException& error) {
      fsk::Value code = fsk::Get(the_, fsk::Value(error.Value()), "code");
      return code.Type() == kFskIntegerType ? fsk::ToInteger(the_, code) : kOtherError;
    }
    return 0;
  }

  FskMachine* the_ = nullptr;

 private:
  std::unique_ptr<fsktest::GrammarMachine> machine_;
  std::vector<fsk::Value> files_;
};

}  // namespace xdbtest
