#include "InstallerTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace installertest {

std::tm FixedLogClock::LocalNow() {
  std::tm time{};
  time.tm_year = 2026 - 1900;
  time.tm_mon = 0;
  time.tm_mday = 2;
  time.tm_hour = 3;
  time.tm_min = 4;
  time.tm_sec = 5;
  return time;
}

void InstallerTest::SetUp() {
  HermeticTest::SetUp();
  Install({});
}

void InstallerTest::TearDown() {
  msi::CloseInstallation(install_);
  HermeticTest::TearDown();
}

void InstallerTest::Install(const msi::PropertyMap& properties, const std::vector<std::u16string>& features) {
  if (install_ != 0) msi::CloseInstallation(install_);
  install_ = msi::CreateInstallation(properties, features);
}

std::unique_ptr<InstallerCommonFunction> InstallerTest::MakeObject() {
  return std::make_unique<InstallerCommonFunction>(install_, clock_, waitClock_);
}

std::unique_ptr<InstallerCommonFunction> InstallerTest::MakeLoggingObject() {
  MsiSetPropertyW(install_, u"QMVLOGGING", u"True");
  MsiSetPropertyW(install_, u"QMV_INSTALLER_LOGFILENAME", u"test.log");
  return MakeObject();
}

std::filesystem::path InstallerTest::TempDir() const { return std::getenv("TMPDIR"); }

std::vector<std::string> InstallerTest::TempFiles() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(TempDir())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string InstallerTest::ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void InstallerTest::WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace installertest
