#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

// A fixture that gives each test a fresh temporary folder and points every
// location the system reads from the environment into it: the registry
// store, the named-object folder, the system root for /proc and /sys, the
// home folder and the XDG folders. TZ is UTC. Everything is restored and the
// folder removed when the test ends.
class HermeticTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& Root() const { return root_; }
  // A folder below Root(), created on first use.
  std::filesystem::path Dir(const std::string& name) const;

  // Sets an environment variable for the rest of the test only.
  void SetEnv(const std::string& name, const std::string& value);

 private:
  std::filesystem::path root_;
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace testsupport
