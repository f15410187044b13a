// k2bench: runs the export's pieces side by side with the tools a user
// would pick instead, every side a whole process with its start-up, checks
// the project's output, and prints the figures with the goals they meet or
// miss. Exit status: 0 done (goals missed or not), 1 a check or a run
// failed, 2 bad usage (XpToolArguments::kExitUsage).

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchAlbumDatabaseCase.h"
#include "bench/BenchConversionCase.h"
#include "bench/BenchExportCase.h"
#include "bench/BenchInputs.h"
#include "bench/BenchOptions.h"
#include "bench/BenchRunner.h"
#include "bench/BenchTable.h"
#include "bench/BenchTool.h"
#include "platform/process/XpStandardOutput.h"

namespace {

namespace fs = std::filesystem;

constexpr int kDone = 0;
constexpr int kFailed = 1;

// The case numbers.
constexpr int32_t kCaseExportCopy = 1;
constexpr int32_t kCaseFit = 2;
constexpr int32_t kCaseExportConvert = 3;
constexpr int32_t kCaseDatabase = 4;
constexpr int32_t kCaseGrowth = 5;
constexpr int32_t kCaseMemory = 6;
constexpr int32_t kCaseCut = 7;

// Pictures converted one process each in cases 2 and 7.
constexpr size_t kConversionPictures = 10;
constexpr size_t kQuickConversionPictures = 4;
constexpr size_t kVerifyConversionPictures = 1;
// Case 4: contents added to an empty database.
constexpr int32_t kDatabaseContents = 2000;
// Case 5: contents added to databases already holding some.
constexpr int32_t kGrowthAdded = 10;
const std::vector<int32_t> kGrowthHeld = {1000, 5000, 20000};
const std::vector<int32_t> kVerifyGrowthHeld = {100, 300};
constexpr double kDatabaseLimit = 1.5;
constexpr double kGrowthLimit = 1.5;
// Case 6: the sides of the large pictures and the peak allowed. The second
// stays under the readers' pixel limit (kXpMaxReaderPixels), so that a
// full decode of it is not refused.
const std::vector<int32_t> kLargeSides = {20000, 16000};
const std::vector<int32_t> kVerifyLargeSides = {1600};
constexpr double kPeakLimitMb = 100;
constexpr int32_t kMemoryRounds = 1;

constexpr const char* kTools[] = {"vipsthumbnail", "vips", "sqlite3", "cp", "sync", "djpeg",
                                  "cjpeg"};

int Fail(const std::string& what) {
  std::cerr << "k2bench: FAILED: " << what << "\n";
  return kFailed;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one;
  std::string five;
  std::string fifteen;
  in >> one >> five >> fifteen;
  return in ? one + " " + five + " " + fifteen : "n/a";
}

std::string SizeText(const BenchPicture& picture) {
  return std::to_string(picture.width) + "x" + std::to_string(picture.height);
}

BenchInputs::Set InputSet(const BenchOptions& options) {
  if (options.verifyOnly) {
    return BenchInputs::Small();
  }
  return options.quick ? BenchInputs::Quick() : BenchInputs::Full();
}

// The first count landscape pictures.
std::vector<BenchPicture> Landscapes(const std::vector<BenchPicture>& pictures, size_t count) {
  std::vector<BenchPicture> chosen;
  for (const BenchPicture& picture : pictures) {
    if (chosen.size() < count && picture.width > picture.height) {
      chosen.push_back(picture);
    }
  }
  return chosen;
}

size_t ConversionPictures(const BenchOptions& options) {
  if (options.verifyOnly) {
    return kVerifyConversionPictures;
  }
  return options.quick ? kQuickConversionPictures : kConversionPictures;
}

// The large picture of case 6: made by vips from an input, or, when no
// outside tool may run, a small one by the project's writer.
bool MakeLarge(const BenchOptions& options, const BenchPicture& source, int32_t side,
               const std::string& folder, const BenchTool& tool, BenchPicture& large) {
  large.path = folder + "/LARGE" + std::to_string(side) + ".JPG";
  if (options.verifyOnly) {
    large.width = side;
    large.height = side;
    return BenchInputs::MakePicture(large, 1);
  }
  return BenchInputs::MakeLarge(source, large, side, tool);
}

class Bench {
 public:
  Bench(const BenchOptions& options, std::string work)
      : options_(options),
        work_(std::move(work)),
        tool_(work_ + "/tools.log"),
        runner_(options.runs, options.verifyOnly, std::cout) {}

  int Run();

 private:
  bool Prepare(std::string& error);
  bool RunCase(int32_t number, BenchCase benchCase, std::string& error);
  BenchCase DatabaseCase(BenchAlbumDatabaseCase& database) const;
  BenchCase GrowthCase(BenchAlbumDatabaseCase& growth) const;
  // Case 6 over the large pictures' exports, copying and converting each.
  bool RunMemoryCase(std::string& error);

  const BenchOptions& options_;
  std::string work_;
  BenchTool tool_;
  BenchRunner runner_;
  BenchTable table_;
  std::vector<BenchPicture> pictures_;
};

bool Bench::RunCase(int32_t number, BenchCase benchCase, std::string& error) {
  if (!options_.Wants(number)) {
    return true;
  }
  if (!runner_.Run(benchCase, table_, error)) {
    error = benchCase.title + ": " + error;
    return false;
  }
  return true;
}

BenchCase Bench::DatabaseCase(BenchAlbumDatabaseCase& database) const {
  BenchCase benchCase = database.MakeCase();
  benchCase.goals.push_back({"k2 / sqlite3", BenchGoal::Measure::kWallTime,
                             database.ProjectIndex(0), database.SqliteIndex(false),
                             kDatabaseLimit});
  return benchCase;
}

BenchCase Bench::GrowthCase(BenchAlbumDatabaseCase& growth) const {
  BenchCase benchCase = growth.MakeCase();
  const std::vector<int32_t>& held = options_.verifyOnly ? kVerifyGrowthHeld : kGrowthHeld;
  const size_t last = held.size() - 1;
  const std::string most = std::to_string(held.back());
  const std::string least = std::to_string(held.front());
  benchCase.goals = {
      {"k2 " + most + " / k2 " + least + " held, CPU", BenchGoal::Measure::kCpuTime,
       growth.ProjectIndex(last), growth.ProjectIndex(0), kGrowthLimit},
      {"k2 " + most + " / k2 " + least + " held, wall", BenchGoal::Measure::kWallTime,
       growth.ProjectIndex(last), growth.ProjectIndex(0), 0},
      {"sqlite3 " + most + " / sqlite3 " + least + " held, CPU", BenchGoal::Measure::kCpuTime,
       growth.SqliteIndex(true), growth.SqliteIndex(false), 0},
      {"k2 / sqlite3, " + least + " held", BenchGoal::Measure::kWallTime, growth.ProjectIndex(0),
       growth.SqliteIndex(false), 0},
      {"k2 / sqlite3, " + most + " held", BenchGoal::Measure::kWallTime,
       growth.ProjectIndex(last), growth.SqliteIndex(true), 0},
  };
  return benchCase;
}

bool Bench::RunMemoryCase(std::string& error) {
  const std::vector<int32_t>& sides = options_.verifyOnly ? kVerifyLargeSides : kLargeSides;
  BenchCase benchCase;
  benchCase.unit = "per run";
  benchCase.rounds = kMemoryRounds;
  std::vector<std::unique_ptr<BenchExportCase>> exports;
  std::string sizes;
  for (const int32_t side : sides) {
    BenchPicture large;
    if (!MakeLarge(options_, pictures_.front(), side, work_ + "/inputs", tool_, large)) {
      error = large.path + ": the large picture cannot be made";
      return false;
    }
    const std::string size = SizeText(large);
    sizes += (sizes.empty() ? "" : " / ") + size;
    for (const bool converting : {false, true}) {
      const std::string name = size + (converting ? ", converted to 640x480" : ", no conversion");
      exports.push_back(std::make_unique<BenchExportCase>(
          BenchExportCase::Setup{name, converting}, std::vector<BenchPicture>{large},
          K2BENCH_ACCESSOR, work_ + "/large-" + std::to_string(exports.size()), tool_));
      benchCase.goals.push_back({"peak RSS, " + name, BenchGoal::Measure::kPeakMemory,
                                 exports.size() - 1, exports.size() - 1, kPeakLimitMb});
      benchCase.contenders.push_back(exports.back()->ProjectContender("k2 export, " + name));
    }
  }
  benchCase.title = "6 peak memory, export of one " + sizes + " picture";
  // Every export's output is checked: the first after the runner's run,
  // the others after a run of their own.
  benchCase.verify = [&exports](std::string& fault) {
    for (size_t index = 0; index < exports.size(); ++index) {
      BenchSample sample;
      if ((index > 0 && !exports[index]->ProjectContender("check").run(sample, fault)) ||
          !exports[index]->Verify(fault)) {
        return false;
      }
    }
    return true;
  };
  return RunCase(kCaseMemory, benchCase, error);
}

int Bench::Run() {
  std::error_code failure;
  for (const char* folder : {"/tmp", "/inputs", "/database", "/growth"}) {
    fs::create_directories(work_ + folder, failure);
  }
  if (failure) {
    return Fail(work_ + ": cannot be created: " + failure.message());
  }
  // The album database logs into the temporary folder.
  setenv("TMPDIR", (work_ + "/tmp").c_str(), 1);
  if (!options_.verifyOnly) {
    for (const char* tool : kTools) {
      if (!BenchTool::IsOnPath(tool)) {
        return Fail(std::string(tool) + " is not installed (scripts/install-deps.sh installs it)");
      }
    }
  }
  std::cout << "k2bench: " << std::thread::hardware_concurrency() << " cores, load average "
            << LoadAverage() << ", "
            << (options_.verifyOnly ? "verify only" : std::to_string(options_.runs) + " rounds")
            << "\n";
  std::string error;
  if (!BenchInputs::Make(InputSet(options_), work_ + "/inputs", pictures_, error)) {
    return Fail(error + ": the input picture cannot be written");
  }
  const BenchPicture& first = pictures_.front();
  std::cout << "k2bench: " << pictures_.size() << " input pictures of " << SizeText(first) << "\n";
  const std::string count = std::to_string(pictures_.size());

  const std::vector<BenchPicture> converted = Landscapes(pictures_, ConversionPictures(options_));
  BenchExportCase exportCopy(
      {"1 export of " + count + " pictures (" + SizeText(first) + "), no conversion", false},
      pictures_, K2BENCH_ACCESSOR, work_ + "/export-copy", tool_);
  BenchConversionCase fit({"2 one " + SizeText(first) + " picture converted to fit 640x480",
                           XpSize(640, 480), false, true},
                          converted, K2BENCH_JOB, work_ + "/fit640", tool_);
  BenchExportCase exportConvert(
      {"3 export of " + count + " pictures converted to 640x480", true}, pictures_,
      K2BENCH_ACCESSOR, work_ + "/export-convert", tool_);
  BenchAlbumDatabaseCase database(
      {"4 album database: 2000 contents + commit, open included", {0}, kDatabaseContents},
      K2BENCH_JOB, work_ + "/database", tool_);
  const std::vector<int32_t>& held = options_.verifyOnly ? kVerifyGrowthHeld : kGrowthHeld;
  std::string heldText;
  for (const int32_t contents : held) {
    heldText += (heldText.empty() ? "" : " / ") + std::to_string(contents);
  }
  BenchAlbumDatabaseCase growth(
      {"5 10 contents + commit on " + heldText + " held", held, kGrowthAdded}, K2BENCH_JOB,
      work_ + "/growth", tool_);
  BenchConversionCase cut({"7 one " + SizeText(first) + " picture converted to 1920x1080, cut",
                           XpSize(1920, 1080), true, false},
                          converted, K2BENCH_JOB, work_ + "/cut1920", tool_);

  if (!RunCase(kCaseExportCopy, exportCopy.MakeCase(), error) ||
      !RunCase(kCaseFit, fit.MakeCase(), error) ||
      !RunCase(kCaseExportConvert, exportConvert.MakeCase(), error)) {
    return Fail(error);
  }
  if (options_.Wants(kCaseDatabase) &&
      (!database.Prepare(error) || !RunCase(kCaseDatabase, DatabaseCase(database), error))) {
    return Fail(error);
  }
  if (options_.Wants(kCaseGrowth) &&
      (!growth.Prepare(error) || !RunCase(kCaseGrowth, GrowthCase(growth), error))) {
    return Fail(error);
  }
  if (options_.Wants(kCaseMemory) && !RunMemoryCase(error)) {
    return Fail(error);
  }
  if (!RunCase(kCaseCut, cut.MakeCase(), error)) {
    return Fail(error);
  }
  if (!options_.verifyOnly) {
    std::cout << "\nk2bench: " << std::thread::hardware_concurrency()
              << " cores, load average " << LoadAverage() << " at the end\n";
    table_.Print(std::cout);
    std::cout << "k2bench: " << table_.MissedCount() << " goals missed\n";
  }
  std::cout << "k2bench: done\n";
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
  // Progress lines show up at once even when the output is a file.
  std::cout << std::unitbuf;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  BenchOptions options;
  XpToolArguments parsed = BenchOptions::Arguments();
  if (BenchOptions::Read(arguments, options, parsed) != XpToolArguments::Outcome::kDone) {
    return parsed.Answer(std::cout, std::cerr);
  }
  Bench bench(options, fs::absolute(options.workFolder).string());
  return XpFinishStandardOutput("k2bench", bench.Run());
}
