#include "platform/system/XpSystemInfo.h"

#include <sched.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform/system/XpSysRoot.h"

namespace {

constexpr uint32_t kReportedPlatform = kXpPlatformWin32NT;
constexpr uint32_t kReportedMajor = 6;
constexpr uint32_t kReportedMinor = 1;
constexpr const char* kOsVersionFailure = "fail";

constexpr const char* kMemInfoPath = "/proc/meminfo";
constexpr uint64_t kBytesPerKilobyte = 1024;

struct OsVersion {
  uint32_t platformId;
  uint32_t major;
  uint32_t minor;
};

std::optional<uint32_t> ParseNumber(std::string_view text) {
  uint32_t value = 0;
  const char* end = text.data() + text.size();
  auto [next, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || next != end) {
    return std::nullopt;
  }
  return value;
}

// "platform.major.minor"; nullopt when malformed.
std::optional<OsVersion> ParseOsVersion(std::string_view text) {
  const size_t firstDot = text.find('.');
  if (firstDot == std::string_view::npos) return std::nullopt;
  const size_t secondDot = text.find('.', firstDot + 1);
  if (secondDot == std::string_view::npos) return std::nullopt;
  auto platformId = ParseNumber(text.substr(0, firstDot));
  auto major = ParseNumber(text.substr(firstDot + 1, secondDot - firstDot - 1));
  auto minor = ParseNumber(text.substr(secondDot + 1));
  if (!platformId || !major || !minor) return std::nullopt;
  return OsVersion{*platformId, *major, *minor};
}

// The value of a "Name:   123 kB" line of /proc/meminfo, in bytes.
std::optional<uint64_t> MemInfoField(const std::string& text, std::string_view name) {
  size_t lineStart = 0;
  while (lineStart < text.size()) {
    size_t lineEnd = text.find('\n', lineStart);
    if (lineEnd == std::string::npos) lineEnd = text.size();
    std::string_view line(text.data() + lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    if (line.size() <= name.size() || line.substr(0, name.size()) != name ||
        line[name.size()] != ':') {
      continue;
    }
    std::string_view rest = line.substr(name.size() + 1);
    const size_t digits = rest.find_first_not_of(' ');
    if (digits == std::string_view::npos) return std::nullopt;
    rest = rest.substr(digits);
    uint64_t kilobytes = 0;
    const auto parsed = std::from_chars(rest.data(), rest.data() + rest.size(), kilobytes);
    if (parsed.ec != std::errc()) return std::nullopt;
    return kilobytes * kBytesPerKilobyte;
  }
  return std::nullopt;
}

uint64_t MemInfoBytes(std::string_view name, std::string_view fallbackName) {
  std::string text;
  if (XpFailed(XpSysRootReadFile(kMemInfoPath, &text))) return 0;
  std::optional<uint64_t> bytes = MemInfoField(text, name);
  if (!bytes && !fallbackName.empty()) bytes = MemInfoField(text, fallbackName);
  return bytes.value_or(0);
}

}  // namespace

[[nodiscard]] XpResult XpGetOSVersion(uint32_t* platformId, uint32_t* major, uint32_t* minor) {
  OsVersion version{kReportedPlatform, kReportedMajor, kReportedMinor};
  if (const char* value = ::getenv(kXpOsVersionVariable); value != nullptr) {
    if (std::strcmp(value, kOsVersionFailure) == 0) return kXpErrGeneric;
    if (std::optional<OsVersion> parsed = ParseOsVersion(value)) version = *parsed;
  }
  if (platformId != nullptr) {
    const bool known = version.platformId == kXpPlatformWin32Windows ||
                       version.platformId == kXpPlatformWin32NT;
    *platformId = known ? version.platformId : 0;
  }
  if (major != nullptr) *major = version.major;
  if (minor != nullptr) *minor = version.minor;
  return kXpOk;
}

bool XpIsWindowsNT() {
  uint32_t platformId = 0;
  return XpSucceeded(XpGetOSVersion(&platformId, nullptr, nullptr)) &&
         platformId == kXpPlatformWin32NT;
}

int64_t XpGetCurrentTime() { return static_cast<int64_t>(::time(nullptr)); }

uint32_t XpGetProcessorCount() {
  const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<uint32_t>(count) : 1;
}

uint32_t XpGetUsableProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) {
    return XpGetProcessorCount();
  }
  const int count = CPU_COUNT(&set);
  return count > 0 ? static_cast<uint32_t>(count) : 1;
}

uint64_t XpGetTotalPhysicalMemory() { return MemInfoBytes("MemTotal", ""); }

// Kernels before 3.14 lack MemAvailable; MemFree is the nearest figure there.
uint64_t XpGetAvailablePhysicalMemory() { return MemInfoBytes("MemAvailable", "MemFree"); }
