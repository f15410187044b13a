#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

// Stages block devices in a fake sysfs below $KAVO_SYSROOT, as the kernel
// lays them out: /sys/dev/block/MAJ:MIN is a relative link to the device's
// folder below /sys/devices; a partition's folder lies in its disk's folder
// and holds a "partition" file.
namespace fakesysfs {

inline std::filesystem::path SysRoot() { return std::getenv("KAVO_SYSROOT"); }

// device "8:17", disk "sdb", partition "sdb1" or "" for the whole disk,
// removable "1", "0" or null for no attribute.
inline void StageBlockDevice(const std::string& device, const std::string& disk,
                             const std::string& partition, const char* removable) {
  const std::filesystem::path sys = SysRoot() / "sys";
  const std::string diskFolder = "devices/pci0000:00/usb1/1-1/block/" + disk;
  std::filesystem::create_directories(sys / diskFolder);
  if (removable != nullptr) {
    std::ofstream(sys / diskFolder / "removable") << removable << "\n";
  }
  std::string target = diskFolder;
  if (!partition.empty()) {
    target += "/" + partition;
    std::filesystem::create_directories(sys / target);
    std::ofstream(sys / target / "partition") << "1\n";
  }
  std::filesystem::create_directories(sys / "dev/block");
  std::filesystem::create_symlink("../../" + target, sys / "dev/block" / device);
}

}  // namespace fakesysfs
