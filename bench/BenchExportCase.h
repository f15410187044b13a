#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchCase.h"
#include "bench/BenchInputs.h"
#include "bench/BenchTool.h"

// The export of every input picture onto a demo camera, as a user runs it:
// the accessor program started on a hand-over file of the pictures with
// the automatic answers, copying them (or converting them to fit 640 x 480)
// into the camera's DCF folder and recording them in its album database.
// A copying export is compared with cp of the same files into one folder
// followed by sync (everything durable at once) and by sync of the files
// and the folder (each file durable on its own); a converting one with one
// vipsthumbnail process over the same files followed by sync. Each run
// starts from a fresh demo camera made outside the timed work; the
// program's peak resident memory is its own.
class BenchExportCase {
 public:
  struct Setup {
    std::string title;
    bool converting = false;
  };

  // The camera's pictures before the export; the export's own follow them.
  static constexpr const char* kCameraPicturePrefix = "DSC";

  // accessor: the accessor program; folder exists and is empty.
  BenchExportCase(Setup setup, const std::vector<BenchPicture>& pictures, std::string accessor,
                  const std::string& folder, const BenchTool& tool);

  BenchCase MakeCase();
  // The project's side alone, and the check of its output.
  BenchContender ProjectContender(const std::string& name);
  bool Verify(std::string& fault) const;

 private:
  bool RunProject(BenchSample& sample, std::string& error) const;
  // cp of the pictures into a fresh folder, then sync; with perFile, sync
  // of the copies and the folder.
  bool RunCopy(bool perFile, BenchSample& sample, std::string& error) const;
  bool RunVips(BenchSample& sample, std::string& error) const;
  // Writes back what the last run and the clearing left, untimed, so that
  // every timed run starts from a clean disk.
  void Settle() const;
  // A fresh empty folder for a peer's output.
  bool FreshFolder(const std::string& folder, std::string& error) const;
  // A fresh demo camera, its settings and a hand-over file of the pictures.
  bool MakeDemo(std::string& error) const;
  bool WriteSettings(std::string& error) const;
  // The program's environment: everything it reads points into the demo.
  std::vector<std::string> DemoEnvironment() const;
  // The exported files on the camera, sorted by name.
  std::vector<std::string> ExportedFiles() const;
  bool VerifyCopies(const std::vector<std::string>& exported, std::string& fault) const;
  bool VerifyConversions(const std::vector<std::string>& exported, std::string& fault) const;
  bool VerifyDatabase(std::string& fault) const;

  Setup setup_;
  std::vector<BenchPicture> pictures_;
  std::string accessor_;
  std::string demo_;
  std::string copyFolder_;
  const BenchTool& tool_;
};
