// k2bench: runs the export's pieces side by side with the tools a user
// would pick instead, checks the project's output, and prints one table.
// Exit status: 0 done, 1 a check or a run failed, 2 bad usage.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
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
constexpr int kUsage = 2;

// The case numbers.
constexpr int32_t kCaseFit = 1;
constexpr int32_t kCaseCut = 2;
constexpr int32_t kCaseExportCopy = 3;
constexpr int32_t kCaseExportConvert = 4;
constexpr int32_t kCaseDatabase = 5;
// Case 6 is the peak memory of case 4, against two decoded full pictures
// (4000 x 3000, three bytes a pixel).
constexpr int64_t kFullPictureWidth = 4000;
constexpr int64_t kFullPictureHeight = 3000;
constexpr int64_t kBgrBytes = 3;
constexpr int64_t kBytesPerKb = 1024;
constexpr int64_t kKbPerMb = 1024;
constexpr int64_t kDecodedFullPictureKb =
    kFullPictureWidth * kFullPictureHeight * kBgrBytes / kBytesPerKb;
constexpr int64_t kPeakTargetPictures = 2;
constexpr int64_t kPeakTargetKb = kPeakTargetPictures * kDecodedFullPictureKb;
constexpr const char* kCaseExportConvertTitle = "4 export, converted to 640x480";

constexpr const char* kTools[] = {"vipsthumbnail", "sqlite3", "cp", "sync"};

int Fail(const std::string& what) {
  std::cerr << "k2bench: FAILED: " << what << "\n";
  return kFailed;
}

// Case 6: the peak resident memory of the converting export.
void PrintPeak(const BenchTable& table) {
  const int64_t peakKb = table.PeakKbOf(kCaseExportConvertTitle);
  if (peakKb < 0) {
    return;
  }
  std::cout << "6 peak RSS of case 4: " << peakKb / kKbPerMb << " MB, target "
            << kPeakTargetKb / kKbPerMb << " MB (two decoded 4000 x 3000 pictures): "
            << (peakKb <= kPeakTargetKb ? "met" : "missed") << "\n";
}

BenchInputs::Set InputSet(const BenchOptions& options) {
  if (options.verifyOnly) {
    return BenchInputs::Small();
  }
  return options.quick ? BenchInputs::Quick() : BenchInputs::Full();
}

int Run(const BenchOptions& options) {
  const std::string work = fs::absolute(options.workFolder).string();
  std::error_code failure;
  fs::create_directories(work + "/tmp", failure);
  fs::create_directories(work + "/inputs", failure);
  if (failure) {
    return Fail(work + ": cannot be created: " + failure.message());
  }
  // The album database logs into the temporary folder.
  setenv("TMPDIR", (work + "/tmp").c_str(), 1);
  if (!options.verifyOnly) {
    for (const char* tool : kTools) {
      if (!BenchTool::IsOnPath(tool)) {
        return Fail(std::string(tool) + " is not installed (scripts/install-deps.sh installs it)");
      }
    }
  }
  std::cout << "k2bench: " << std::thread::hardware_concurrency() << " cores, "
            << (options.verifyOnly ? "verify only" : std::to_string(options.runs) + " runs") << "\n";

  std::vector<BenchPicture> pictures;
  std::string error;
  if (!BenchInputs::Make(InputSet(options), work + "/inputs", pictures, error)) {
    return Fail(error + ": the input picture cannot be written");
  }
  std::cout << "k2bench: " << pictures.size() << " input pictures of " << pictures.front().width
            << " x " << pictures.front().height << "\n";

  const BenchTool tool(work + "/tools.log");
  BenchConversionCase small({"1 convert to fit 640x480", XpSize(640, 480), false, true}, pictures,
                            work + "/fit640", tool);
  BenchConversionCase large({"2 convert to 1920x1080, cut", XpSize(1920, 1080), true, false},
                            pictures, work + "/cut1920", tool);
  BenchExportCase exportCopy({"3 export, no conversion", false}, pictures, K2BENCH_ACCESSOR,
                             work + "/export-copy", tool);
  BenchExportCase exportConvert({kCaseExportConvertTitle, true}, pictures,
                                K2BENCH_ACCESSOR, work + "/export-convert", tool);
  BenchAlbumDatabaseCase database(work + "/database", tool);
  std::vector<BenchCase> cases;
  if (options.Wants(kCaseFit)) {
    cases.push_back(small.MakeCase());
  }
  if (options.Wants(kCaseCut)) {
    cases.push_back(large.MakeCase());
  }
  if (options.Wants(kCaseExportCopy)) {
    cases.push_back(exportCopy.MakeCase());
  }
  if (options.Wants(kCaseExportConvert)) {
    cases.push_back(exportConvert.MakeCase());
  }
  if (options.Wants(kCaseDatabase)) {
    if (!database.Prepare(error)) {
      return Fail(error);
    }
    cases.push_back(database.MakeCase());
  }

  BenchRunner runner(options.runs, options.verifyOnly, std::cout);
  BenchTable table;
  for (const BenchCase& benchCase : cases) {
    if (!runner.Run(benchCase, table, error)) {
      return Fail(benchCase.title + ": " + error);
    }
  }
  if (!options.verifyOnly) {
    table.Print(std::cout);
    PrintPeak(table);
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
  std::string error;
  if (!BenchOptions::Parse(arguments, options, error)) {
    std::cerr << "k2bench: " << error << "\n" << BenchOptions::Usage();
    return kUsage;
  }
  return XpFinishStandardOutput("k2bench", Run(options));
}
