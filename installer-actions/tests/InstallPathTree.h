#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "InstallerTestSupport.h"
#include "platform/testsupport/FakeSysfs.h"

namespace installertest {

// An installation over a fake mount table below the test's root:
//   fixed     ext4 on a fixed disk
//   usbfixed  ext4 on a fixed disk behind a USB device
//   stick     vfat, removable
//   net       cifs
//   cd        iso9660 on sr0
// HOME is fixed/users/u, TMPDIR $HOME/AppData/Local/Temp and the machine
// root fixed/machine.
class InstallPathTest : public InstallerTest {
 protected:
  void SetUp() override;

  // The test's root joined with rest, as text.
  std::string At(const std::string& rest) const { return (Root() / rest).string(); }
  std::string Home() const { return At("fixed/users/u"); }
  // A missing folder on fixed whose path, with its trailing '/', has
  // exactly units units.
  std::string PathOfLength(size_t units) const;
  // Mounts another fixed volume at name on a disk of this bus.
  void AddFixedVolume(const std::string& name, testsupport::FakeBus bus);

  std::unique_ptr<testsupport::FakeSysfs> fake_;
};

}  // namespace installertest
