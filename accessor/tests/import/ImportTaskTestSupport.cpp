#include "accessor/tests/import/ImportTaskTestSupport.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

#include "accessor/tests/task/TaskTestSupport.h"
#include "platform/fs/XpFile.h"

namespace import_test {

void StageCameraMount(const std::filesystem::path& sysroot, const std::filesystem::path& camera) {
  const std::filesystem::path proc = sysroot / "proc/self";
  std::filesystem::create_directories(proc);
  std::ofstream(proc / "mountinfo")
      << "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      << "40 22 8:17 / " << camera.string() << " rw,nosuid - vfat /dev/sdb1 rw\n";
}

XpSharedPtr<XpDCFObj> MakeObject(const std::vector<std::filesystem::path>& paths) {
  XpSharedPtr<XpDCFObj> object(new XpDCFObj());
  for (const std::filesystem::path& path : paths) {
    (void)object->AddFile(
        XpSharedPtr<XpAbstractFSObj>(new XpFile(XpString::FromUtf8(path.string()))));
  }
  return object;
}

std::vector<std::string> NamesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

XpWaitClock::TimePoint RecordingClock::Now() { return std::chrono::steady_clock::now(); }

void RecordingClock::SleepFor(std::chrono::milliseconds duration) {
  Hook hook;
  {
    std::lock_guard<std::mutex> guard(lock_);
    sleeps_.push_back(duration);
    hook = hook_;
  }
  if (hook) {
    hook(duration);
  }
  std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void RecordingClock::SetHook(Hook hook) {
  std::lock_guard<std::mutex> guard(lock_);
  hook_ = std::move(hook);
}

std::vector<std::chrono::milliseconds> RecordingClock::Sleeps() const {
  std::lock_guard<std::mutex> guard(lock_);
  return sleeps_;
}

}  // namespace import_test
