#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/text/XpString.h"
#include "platform/text/XpStringA.h"

// Helpers shared by the DCF import tests: a staged mount table with two
// card mount points, and files of a given size below them.
namespace dcfimporttest {

// Mount points root/m1 and root/m2 over "/", in the mount table below the
// system root.
inline void StageMountTable(const std::filesystem::path& sysroot, const std::filesystem::path& root) {
  const std::filesystem::path proc = sysroot / "proc/self";
  std::filesystem::create_directories(proc);
  std::ofstream(proc / "mountinfo")
      << "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      << "40 22 8:17 / " << (root / "m1").string() << " rw,nosuid - vfat /dev/sdb1 rw\n"
      << "41 22 8:33 / " << (root / "m2").string() << " rw,nosuid - vfat /dev/sdc1 rw\n";
}

// A file of size bytes (content repeats 'x'), its folders made.
inline void MakeFile(const std::filesystem::path& path, uintmax_t size) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << std::string(static_cast<size_t>(size), 'x');
}

}  // namespace dcfimporttest
