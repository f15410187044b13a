#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/sync/XpWaitClock.h"
#include "platform/text/XpString.h"

// Helpers for the tests of the file operations.
namespace fileopstest {

// Records every report with the source at that moment; answers true from
// the stopAtCall-th report on (never when 0).
class RecordingObserver : public IXpFileOpProgressObserver {
 public:
  bool OnFileOpProgress(double reported) override {
    reports.push_back(reported);
    sources.push_back(source);
    return stopAtCall > 0 && static_cast<int>(reports.size()) >= stopAtCall;
  }

  std::vector<double> reports;
  std::vector<XpString> sources;
  int stopAtCall = 0;
};

// Records the pauses instead of sleeping.
class FakeWaitClock : public XpWaitClock {
 public:
  TimePoint Now() override { return now_; }
  void SleepFor(std::chrono::milliseconds duration) override {
    sleeps.push_back(duration);
    now_ += duration;
  }

  std::vector<std::chrono::milliseconds> sleeps;

 private:
  TimePoint now_{};
};

inline struct stat LstatOf(const std::filesystem::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info;
}

inline mode_t ModeOf(const std::filesystem::path& path) { return LstatOf(path).st_mode & 07777; }

inline time_t MtimeOf(const std::filesystem::path& path) { return LstatOf(path).st_mtim.tv_sec; }

inline void SetMtime(const std::filesystem::path& path, time_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// The beginning of the temporary names of a file written for destination
// (XpPendingFile): fault rules on it hit the copy's own file.
inline std::string TempPrefix(const std::filesystem::path& destination) {
  return (destination.parent_path() / ("." + destination.filename().string() + ".kavotmp-"))
      .string();
}

// The names in a folder that look like temporaries of a pending file.
inline std::set<std::string> TempFilesIn(const std::filesystem::path& folder) {
  std::set<std::string> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".kavotmp-") != std::string::npos) found.insert(name);
  }
  return found;
}

// An entry exists; a dangling link counts.
inline bool Exists(const std::filesystem::path& path) {
  return std::filesystem::exists(std::filesystem::symlink_status(path));
}

// The names in a folder, sorted.
inline std::set<std::string> NamesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Writes the fake mount table below $KAVO_SYSROOT.
inline void StageMountInfo(const std::string& text) {
  const std::filesystem::path proc = std::filesystem::path(std::getenv("KAVO_SYSROOT")) / "proc/self";
  std::filesystem::create_directories(proc);
  std::ofstream(proc / "mountinfo") << text;
}

// One mountinfo line for a mount of fileSystemType from device
// major:minor at mountPoint.
inline std::string MountLine(int id, const std::string& device, const std::filesystem::path& mountPoint,
                             const std::string& fileSystemType) {
  return std::to_string(id) + " 1 " + device + " / " + mountPoint.string() + " rw - " +
         fileSystemType + " /dev/x rw\n";
}

// Every entry below top and top itself, by path, with its lstat facts
// (kind and mode, size, inode, modification time) and, for a file, its
// bytes: two equal maps mean nothing there changed. Links are not followed.
inline std::map<std::string, std::string> TreeFacts(const std::filesystem::path& top) {
  std::map<std::string, std::string> facts;
  const auto add = [&facts](const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
      facts[path.string()] = "missing";
      return;
    }
    std::string text = std::to_string(info.st_mode) + " " + std::to_string(info.st_size) + " " +
                       std::to_string(info.st_ino) + " " + std::to_string(info.st_mtim.tv_sec) + "." +
                       std::to_string(info.st_mtim.tv_nsec);
    if (S_ISREG(info.st_mode)) {
      std::ifstream in(path, std::ios::binary);
      text += " " + std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    facts[path.string()] = text;
  };
  add(top);
  std::error_code error;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(top, error)) {
    add(entry.path());
  }
  return facts;
}

}  // namespace fileopstest
