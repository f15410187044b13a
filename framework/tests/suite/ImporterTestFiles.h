#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "platform/registry/XpRegistry.h"
#include "platform/text/XpString.h"
#include "platform/text/XpStringA.h"

// The stand-in importer program and the registry entries of importer
// modules, for the importer module tests.
namespace importertest {

namespace fs = std::filesystem;

// fake_importer, built beside the test program.
inline fs::path FakeImporter() {
  std::error_code error;
  return fs::read_symlink("/proc/self/exe", error).parent_path() / "fake_importer";
}

// A copy of fake_importer at path.
inline void InstallFake(const fs::path& path) {
  fs::create_directories(path.parent_path());
  fs::copy_file(FakeImporter(), path, fs::copy_options::overwrite_existing);
}

inline void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline fs::path Beside(const fs::path& program, const std::string& suffix) {
  return fs::path(program.string() + suffix);
}

// What the copy at program recorded: its arguments, one per line.
inline std::vector<std::string> RecordedArgs(const fs::path& program) {
  std::ifstream in(Beside(program, ".args"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline bool WasRun(const fs::path& program) { return fs::exists(Beside(program, ".args")); }
inline void SetExitCode(const fs::path& program, int code) {
  WriteText(Beside(program, ".code"), std::to_string(code));
}
inline void Hold(const fs::path& program) { WriteText(Beside(program, ".hold"), "hold"); }
inline void Release(const fs::path& program) { fs::remove(Beside(program, ".hold")); }
inline void ForgetRuns(const fs::path& program) { fs::remove(Beside(program, ".args")); }

// A bottom-up 24-bit bitmap file of width x height grey pixels.
inline std::string BitmapFile(int32_t width, int32_t height) {
  constexpr uint32_t kHeaderSize = 54;
  const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t imageSize = stride * static_cast<uint32_t>(height);
  std::string bytes;
  auto put = [&bytes](uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  bytes += "BM";
  put(kHeaderSize + imageSize, 4);
  put(0, 4);
  put(kHeaderSize, 4);
  put(40, 4);
  put(static_cast<uint32_t>(width), 4);
  put(static_cast<uint32_t>(height), 4);
  put(1, 2);
  put(24, 2);
  put(0, 4);
  put(imageSize, 4);
  put(2835, 4);
  put(2835, 4);
  put(0, 4);
  put(0, 4);
  bytes.append(imageSize, '\x80');
  return bytes;
}

inline void SetString(const std::string& key, const std::string& name, const std::string& value) {
  XpRegistry reg;
  ASSERT_EQ(
      reg.Open(XpString::FromUtf8(key), XpRegistry::kRootLocalMachine, XpRegistry::kAccessWrite),
      kXpOk)
      << key;
  ASSERT_EQ(reg.SetString(XpString::FromUtf8(name), XpString::FromUtf8(value)), kXpOk) << name;
}

inline void SetDword(const std::string& key, const std::string& name, uint32_t value) {
  XpRegistry reg;
  ASSERT_EQ(
      reg.Open(XpString::FromUtf8(key), XpRegistry::kRootLocalMachine, XpRegistry::kAccessWrite),
      kXpOk)
      << key;
  ASSERT_EQ(reg.SetDword(XpString::FromUtf8(name), value), kXpOk) << name;
}

// Registers module name under the importer key keyPath with version "1.0";
// the version key's path is returned.
inline std::string RegisterModule(const std::string& keyPath, const std::string& name,
                                  const std::string& exeName, const fs::path& location) {
  const std::string moduleKey = keyPath + "/" + name;
  SetString(moduleKey, "CurrentVersion", "1.0");
  const std::string versionKey = moduleKey + "/1.0";
  SetString(versionKey, "ExeName", exeName);
  SetString(versionKey, "InstalledLocation", location.string());
  return versionKey;
}

}  // namespace importertest
