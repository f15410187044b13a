// Figures of the album database's add-and-commit cycle through the device
// accessor: 2000 contents in 20 albums added to an empty database and
// committed (the open included), then 10 contents + commit on databases of
// 1000 and 20000 contents. Prints wall and CPU time of each, the median of
// kRounds. Run by hand, in a folder on the medium to measure; ctest never
// runs it.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "camerastore/xdb/DeviceXdbAccessor.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IXdbAccessor.h"
#include "camerastore/xdb/XdbException.h"
#include "outside/fsk/k2xdb/K2xdbTool.h"
#include "platform/text/XpString.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 7;
constexpr int32_t kPerAlbum = 100;
constexpr int32_t kBatchContents = 2000;
constexpr int32_t kGrowthContents = 10;
constexpr int32_t kFilesPerFolder = 9000;
constexpr int32_t kSmallest = 1000;
constexpr int32_t kLargest = 20000;

struct Times {
  double wall = 0;
  double cpu = 0;
};

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

template <typename Object>
struct Releaser {
  void operator()(Object* object) const { object->Release(); }
};

std::string ContentPath(int32_t index) {
  char path[64];
  std::snprintf(path, sizeof path, "DCIM/%03dMSDCF/DSC%05d.JPG", 100 + index / kFilesPerFolder,
                index % kFilesPerFolder + 1);
  return path;
}

bool MakeFiles(const std::string& card, int32_t count) {
  for (int32_t index = 0; index < count; ++index) {
    fs::path path = card + ContentPath(index);
    fs::create_directories(path.parent_path());
    std::ofstream file(path);
    if (!file) {
      return false;
    }
  }
  return true;
}

// Opens the card, adds contents first to first + count - 1 in albums of
// kPerAlbum, commits.
bool AddAndCommit(const std::string& card, int32_t first, int32_t count) {
  XdbAccessor::IXdbAccessor* opened = nullptr;
  if (XdbAccessor::CreateDeviceXdbAccessor(&opened, XpString::FromUtf8(card)) != kXpOk ||
      opened == nullptr) {
    std::fprintf(stderr, "%s: does not open\n", card.c_str());
    return false;
  }
  std::unique_ptr<XdbAccessor::IXdbAccessor, Releaser<XdbAccessor::IXdbAccessor>> accessor(opened);
  try {
    std::unique_ptr<XdbAccessor::IAlbumInfo, Releaser<XdbAccessor::IAlbumInfo>> album;
    for (int32_t index = first; index < first + count; ++index) {
      if (album == nullptr || (index - first) % kPerAlbum == 0) {
        album.reset(
            accessor->CreateAlbum(XpString::FromUtf8("Trip " + std::to_string(index / kPerAlbum))));
      }
      std::unique_ptr<XdbAccessor::IContentInfo, Releaser<XdbAccessor::IContentInfo>> content(
          accessor->CreateContent(album.get(), XpString::FromUtf8(card + ContentPath(index)),
                                  XpDateTime(2024, 5, 17, 8, index / 60 % 60, index % 60), 0));
    }
    if (accessor->Commit() != 0) {
      std::fprintf(stderr, "commit failed\n");
      return false;
    }
  } catch (const XdbAccessor::XdbException& thrown) {
    std::fprintf(stderr, "raised %d\n", static_cast<int>(thrown.GetCode()));
    return false;
  }
  return true;
}

bool ResetDatabase(const std::string& card, const std::string& saved) {
  std::error_code failure;
  for (const char* name : {"DBFILES", "DBFILES.tmp", "DBFILES.bak"}) {
    fs::remove_all(card + name, failure);
  }
  fs::copy(saved, card + "DBFILES", fs::copy_options::recursive, failure);
  return !failure;
}

// Medians over kRounds of the cycle on a copy of saved.
bool Measure(const std::string& card, const std::string& saved, int32_t first, int32_t count, Times* median) {
  std::vector<double> walls;
  std::vector<double> cpus;
  for (int round = 0; round < kRounds; ++round) {
    if (!ResetDatabase(card, saved)) {
      return false;
    }
    double cpu = CpuSeconds();
    Clock::time_point start = Clock::now();
    if (!AddAndCommit(card, first, count)) {
      return false;
    }
    walls.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    cpus.push_back(CpuSeconds() - cpu);
  }
  std::sort(walls.begin(), walls.end());
  std::sort(cpus.begin(), cpus.end());
  *median = {walls[kRounds / 2], cpus[kRounds / 2]};
  return true;
}

// A saved database of count contents, made through the accessor.
bool SaveDatabase(const std::string& card, const std::string& empty, int32_t count, const std::string& saved) {
  if (!ResetDatabase(card, empty) || !AddAndCommit(card, 0, count)) {
    return false;
  }
  std::error_code failure;
  fs::remove_all(saved, failure);
  fs::copy(card + "DBFILES", saved, fs::copy_options::recursive, failure);
  return !failure;
}

void Print(const char* what, const Times& times) {
  std::printf("%-44s wall %8.2f ms  cpu %8.2f ms\n", what, times.wall * 1e3, times.cpu * 1e3);
}

// A card made by an earlier run in root is used again, so that a profile
// of one case sees only the case.
bool MakeCard(const fs::path& root, const std::string& card, const std::string& empty) {
  if (fs::exists(root / "made")) {
    return true;
  }
  fs::create_directories(empty);
  std::ostringstream out;
  std::ostringstream err;
  K2xdbTool k2xdb(out, err);
  if (k2xdb.Run({"init", empty}) != K2xdbTool::kDone || !MakeFiles(card, kLargest + kGrowthContents)) {
    std::fprintf(stderr, "the card cannot be made: %s\n", err.str().c_str());
    return false;
  }
  for (int32_t held : {kSmallest, kLargest}) {
    const std::string saved = (root / ("held" + std::to_string(held))).string();
    if (!SaveDatabase(card, empty, held, saved)) {
      return false;
    }
  }
  std::ofstream(root / "made") << "made\n";
  return true;
}

// The growth case on one database only: "growth-1000" or "growth-20000".
const std::string kGrowthOf = "growth-";

// only: "batch", "growth", kGrowthOf and a size, or empty for all.
int Run(const fs::path& root, const std::string& only) {
  const std::string card = (root / "card").string() + "/";
  const std::string empty = (root / "empty").string();
  if (!MakeCard(root, card, empty)) {
    return 1;
  }
  Times times;
  if (only.empty() || only == "batch") {
    if (!Measure(card, empty, 0, kBatchContents, &times)) {
      return 1;
    }
    Print("2000 contents in 20 albums + commit", times);
  }
  if (only == "batch") {
    return 0;
  }
  for (int32_t held : {kSmallest, kLargest}) {
    if (only.rfind(kGrowthOf, 0) == 0 && only != kGrowthOf + std::to_string(held)) {
      continue;
    }
    const std::string saved = (root / ("held" + std::to_string(held))).string();
    if (!Measure(card, saved, held, kGrowthContents, &times)) {
      return 1;
    }
    std::string what = "10 contents + commit on " + std::to_string(held);
    Print(what.c_str(), times);
  }
  return 0;
}

}  // namespace

// xdb_cycle_bench [folder [batch|growth|growth-1000|growth-20000]]: the
// folder is kept for the next run.
int main(int argc, char** argv) {
  fs::path root = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "xdb_cycle_bench";
  fs::create_directories(root);
  return Run(root, argc > 2 ? argv[2] : "");
}
