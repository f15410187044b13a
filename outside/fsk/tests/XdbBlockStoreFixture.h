#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskScript.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/testsupport/HermeticTest.h"

namespace xdbtest {

// A machine with both grammars loaded and a host bracket open, with files
// in the test's folder, for the block-file components.
class XdbBlockStoreFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    machine_ = std::make_unique<fsktest::GrammarMachine>();
    ASSERT_NE(machine_->Machine(), nullptr) << machine_->LoadError();
    the_ = machine_->Machine();
    bracket_ = std::make_unique<fsk::HostBracket>(the_);
  }

  void TearDown() override {
    bracket_.reset();
    machine_.reset();
    HermeticTest::TearDown();
  }

  std::string FilePath(const std::string& name) { return (Dir("db") / name).string(); }

  static std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  static uint32_t Word(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes.at(at)} | (uint32_t{bytes.at(at + 1)} << 8) | (uint32_t{bytes.at(at + 2)} << 16) |
           (uint32_t{bytes.at(at + 3)} << 24);
  }

  FskMachine* the_ = nullptr;

 private:
  std::unique_ptr<fsktest::GrammarMachine> machine_;
  std::unique_ptr<fsk::HostBracket> bracket_;
};

}  // namespace xdbtest
