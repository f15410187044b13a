#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "installer-actions/common/InstallerCommonFunction.h"
#include "installer-actions/common/InstallerLogClock.h"
#include "msi/MsiInstallation.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/testsupport/HermeticTest.h"

namespace installertest {

// Always 2026-01-02 03:04:05.
class FixedLogClock : public InstallerLogClock {
 public:
  std::tm LocalNow() override;
};

// Virtual time: a sleep only moves the clock on.
class VirtualWaitClock : public XpWaitClock {
 public:
  TimePoint Now() override { return now_; }
  void SleepFor(std::chrono::milliseconds duration) override { now_ += duration; }
  std::chrono::milliseconds Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - TimePoint());
  }

 private:
  TimePoint now_{};
};

// A hermetic test with one installation, the fixed clocks and helpers to
// read the temporary folder's log files.
class InstallerTest : public testsupport::HermeticTest {
 protected:
  static constexpr const char* kStampedName = "DemoInstaller_dll-20260102-030405.log";

  void SetUp() override;
  void TearDown() override;

  // Replaces the installation.
  void Install(const msi::PropertyMap& properties, const std::vector<std::u16string>& features = {});
  // An object over the installation with the fixed clocks.
  std::unique_ptr<InstallerCommonFunction> MakeObject();
  // One with logging on, writing to "test.log".
  std::unique_ptr<InstallerCommonFunction> MakeLoggingObject();

  std::filesystem::path TempDir() const;
  std::filesystem::path LogPath(const std::string& name = "test.log") const { return TempDir() / name; }
  // The names of the files in the temporary folder, sorted.
  std::vector<std::string> TempFiles() const;
  static std::string ReadFile(const std::filesystem::path& path);
  static void WriteFile(const std::filesystem::path& path, const std::string& text);

  MSIHANDLE install_ = 0;
  FixedLogClock clock_;
  VirtualWaitClock waitClock_;
};

}  // namespace installertest
