#include "InstallPathTree.h"

namespace installertest {

namespace {

constexpr unsigned kOpticalMajor = 11;
constexpr const char* kOpticalDevice = "devices/pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0/block/sr0";
constexpr size_t kComponentUnits = 50;

testsupport::FakeVolume VolumeAt(const std::string& mountPoint, const char* type, bool removable,
                                 testsupport::FakeBus bus) {
  testsupport::FakeVolume volume;
  volume.mountPoint = mountPoint;
  volume.fileSystemType = type;
  volume.removable = removable;
  volume.bus = bus;
  return volume;
}

}  // namespace

void InstallPathTest::SetUp() {
  InstallerTest::SetUp();
  fake_ = std::make_unique<testsupport::FakeSysfs>(Root() / "sysroot");
  AddFixedVolume("fixed", testsupport::FakeBus::kVirtio);
  AddFixedVolume("usbfixed", testsupport::FakeBus::kUsb);
  fake_->AddVolume(VolumeAt(At("stick"), "vfat", true, testsupport::FakeBus::kUsb));
  fake_->AddVolume(VolumeAt(At("net"), "cifs", false, testsupport::FakeBus::kNetwork));
  fake_->AddBlockDevice(kOpticalMajor, 0, kOpticalDevice);
  std::filesystem::create_directories(At("cd"));
  fake_->AddMount({At("cd"), "iso9660", "/dev/sr0", kOpticalMajor, 0});

  std::filesystem::create_directories(Home() + "/AppData/Local/Temp");
  SetEnv("HOME", Home());
  SetEnv("TMPDIR", Home() + "/AppData/Local/Temp");
  SetEnv("KAVO_MACHINE_ROOT", At("fixed/machine"));
}

std::string InstallPathTest::PathOfLength(size_t units) const {
  std::string path = At("fixed/long");
  while (path.size() + 1 < units) {
    const size_t left = units - 1 - path.size();
    // Each level is "/" and up to kComponentUnits letters; no level is empty.
    const size_t take = left > kComponentUnits + 1 ? kComponentUnits : left - 1;
    if (take == 0) {
      path += "x";
      continue;
    }
    path += "/" + std::string(take, 'a');
  }
  return path + "/";
}

void InstallPathTest::AddFixedVolume(const std::string& name, testsupport::FakeBus bus) {
  fake_->AddVolume(VolumeAt(At(name), "ext4", false, bus));
}

}  // namespace installertest
