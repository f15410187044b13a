// A stand-in importer program for the importer module tests. Beside its own
// file it appends each argument after its name as a line to "<path>.args",
// waits while "<path>.hold" exists, and exits with the number in
// "<path>.code" (0 when there is none).
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr auto kHoldPoll = std::chrono::milliseconds(5);

int ReadExitCode(const fs::path& path) {
  std::ifstream in(path);
  int code = 0;
  if (!(in >> code)) return 0;
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return 1;
  const std::string base = self.string();
  {
    std::ofstream args(base + ".args", std::ios::app);
    for (int i = 1; i < argc; ++i) args << argv[i] << '\n';
  }
  while (fs::exists(base + ".hold", error)) std::this_thread::sleep_for(kHoldPoll);
  return ReadExitCode(base + ".code");
}
