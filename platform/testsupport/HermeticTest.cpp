#include "platform/testsupport/HermeticTest.h"

#include <cstdlib>
#include <ctime>
#include <system_error>

namespace testsupport {
namespace {

constexpr const char* kFolderVariables[][2] = {
    {"KAVO_REGISTRY_DIR", "registry"},
    {"KAVO_IPC_DIR", "ipc"},
    {"KAVO_SYSROOT", "sysroot"},
    {"KAVO_MACHINE_ROOT", "machine"},
    {"HOME", "home"},
    {"XDG_CONFIG_HOME", "home/.config"},
    {"XDG_DATA_HOME", "home/.local/share"},
    {"XDG_CACHE_HOME", "home/.cache"},
    {"XDG_RUNTIME_DIR", "run"},
    {"TMPDIR", "tmp"},
};

std::filesystem::path MakeTempRoot() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kavo-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed for " << pattern;
    return {};
  }
  return pattern;
}

}  // namespace

void HermeticTest::SetUp() {
  root_ = MakeTempRoot();
  ASSERT_FALSE(root_.empty());
  for (const auto& [name, folder] : kFolderVariables) {
    std::filesystem::path path = root_ / folder;
    std::filesystem::create_directories(path);
    SetEnv(name, path.string());
  }
  SetEnv("TZ", "UTC");
  ::tzset();
}

void HermeticTest::TearDown() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      ::setenv(name.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name.c_str());
    }
  }
  saved_.clear();
  ::tzset();
  if (!root_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
}

std::filesystem::path HermeticTest::Dir(const std::string& name) const {
  std::filesystem::path path = root_ / name;
  std::filesystem::create_directories(path);
  return path;
}

void HermeticTest::SetEnv(const std::string& name, const std::string& value) {
  if (saved_.find(name) == saved_.end()) {
    const char* old = ::getenv(name.c_str());
    saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
  }
  ::setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace testsupport
