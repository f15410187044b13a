#include "platform/testsupport/FakeSysfs.h"

#include <cstdio>
#include <fstream>
#include <system_error>
#include <utility>

namespace testsupport {
namespace {

constexpr int kFirstMountId = 20;

// A mountinfo field: space, tab, newline and backslash as octal escapes.
std::string EscapeField(const std::string& text) {
  std::string escaped;
  for (const char ch : text) {
    if (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\\') {
      char code[5];
      std::snprintf(code, sizeof(code), "\\%03o", static_cast<unsigned char>(ch));
      escaped += code;
    } else {
      escaped += ch;
    }
  }
  return escaped;
}

bool IsSafeLabelChar(unsigned char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
         ch == '#' || ch == '+' || ch == '-' || ch == '.' || ch == ':' || ch == '=' || ch == '@' ||
         ch == '_' || ch >= 0x80;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

void ReplaceLink(const std::filesystem::path& link, const std::filesystem::path& target) {
  std::filesystem::create_directories(link.parent_path());
  std::error_code ignored;
  std::filesystem::remove(link, ignored);
  std::filesystem::create_symlink(target, link);
}

}  // namespace

FakeSysfs::FakeSysfs(std::filesystem::path sysRoot) : sysRoot_(std::move(sysRoot)) {
  WriteMountTable();
}

int FakeSysfs::AddMount(const FakeMount& mount) {
  mounts_.push_back(mount);
  WriteMountTable();
  return kFirstMountId + static_cast<int>(mounts_.size()) - 1;
}

void FakeSysfs::RemoveMount(const std::string& mountPoint) {
  std::erase_if(mounts_, [&](const FakeMount& mount) { return mount.mountPoint == mountPoint; });
  WriteMountTable();
}

void FakeSysfs::SetMounts(const std::vector<FakeMount>& mounts) {
  mounts_ = mounts;
  WriteMountTable();
}

std::filesystem::path FakeSysfs::AddBlockDevice(unsigned major, unsigned minor,
                                                const std::string& devicePath, unsigned partition) {
  const std::filesystem::path folder = sysRoot_ / "sys" / devicePath;
  std::filesystem::create_directories(folder);
  const std::string number = std::to_string(major) + ":" + std::to_string(minor);
  ReplaceLink(sysRoot_ / "sys/dev/block" / number, std::filesystem::path("../..") / devicePath);
  WriteFile(folder / "dev", number + "\n");
  if (partition > 0) {
    WriteFile(folder / "partition", std::to_string(partition) + "\n");
  }
  return folder;
}

void FakeSysfs::WriteAttribute(const std::string& folder, const std::string& name,
                               const std::string& value) {
  WriteFile(sysRoot_ / "sys" / folder / name, value + "\n");
}

void FakeSysfs::RemoveAttribute(const std::string& folder, const std::string& name) {
  std::error_code ignored;
  std::filesystem::remove(sysRoot_ / "sys" / folder / name, ignored);
}

void FakeSysfs::AddDiskLink(const std::string& kind, const std::string& name,
                            const std::string& deviceName) {
  const std::string linkName = kind == "by-label" ? EscapeLabel(name) : name;
  ReplaceLink(sysRoot_ / "dev/disk" / kind / linkName, std::filesystem::path("../..") / deviceName);
}

void FakeSysfs::WriteUdevData(unsigned major, unsigned minor,
                              const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line + "\n";
  }
  WriteFile(
      sysRoot_ / "run/udev/data" / ("b" + std::to_string(major) + ":" + std::to_string(minor)),
      text);
}

std::string FakeSysfs::EscapeLabel(const std::string& label) {
  std::string escaped;
  for (const char ch : label) {
    const auto byte = static_cast<unsigned char>(ch);
    if (IsSafeLabelChar(byte)) {
      escaped += ch;
      continue;
    }
    char code[5];
    std::snprintf(code, sizeof(code), "\\x%02x", byte);
    escaped += code;
  }
  return escaped;
}

void FakeSysfs::WriteMountTable() const {
  std::string text;
  int mountId = kFirstMountId;
  for (const FakeMount& mount : mounts_) {
    text += std::to_string(mountId++) + " 1 " + std::to_string(mount.major) + ":" +
            std::to_string(mount.minor) + " " + EscapeField(mount.root) + " " +
            EscapeField(mount.mountPoint) + " " + mount.options + " - " + mount.fileSystemType +
            " " + EscapeField(mount.source.empty() ? "none" : mount.source) + " " + mount.options +
            "\n";
  }
  const std::filesystem::path table = sysRoot_ / "proc/self/mountinfo";
  const std::filesystem::path next = sysRoot_ / "proc/self/mountinfo.next";
  WriteFile(next, text);
  std::filesystem::rename(next, table);
}

}  // namespace testsupport
