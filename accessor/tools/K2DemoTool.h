#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

// The demo tool: builds a demo camera and shows what lies on one.
//
//   k2demo setup DIR       sample pictures and a movie under DIR/pc, the
//                          camera DIR/cam with five pictures and an empty
//                          album database, the fake mount table and sysfs
//                          under DIR/sysroot presenting DIR/cam as a camera,
//                          the registry under DIR/registry, DIR/h.xml
//   k2demo setup-import DIR
//                          the camera DIR/cam with pictures and a movie in
//                          DCIM/100ABCDE listed in two albums of its
//                          database, and a numbered folder DCIM.001 to
//                          salvage; the fake sysroot, the registry, and
//                          the home folder DIR/user with its Pictures
//   k2demo tree ROOT       the files under ROOT, sorted, with their sizes,
//                          then the albums and contents of its database
//   k2demo init-card ROOT  an empty album database in ROOT/DBFILES; refused
//                          when DBFILES holds anything that is not ours
class K2DemoTool {
 public:
  static constexpr int kDone = 0;
  static constexpr int kFailed = 1;
  static constexpr int kUsage = 2;

  // The camera's USB identifiers, and the serial of the import's camera.
  static constexpr uint16_t kCameraVendorId = 0x1F3A;
  static constexpr uint16_t kCameraProductId = 0x0259;
  static constexpr const char* kImportCameraSerial = "A1B2";

  K2DemoTool(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  // arguments without the program's name; the exit code.
  int Run(const std::vector<std::string>& arguments);

 private:
  // The parsed operands: the command and its folder.
  int RunCommand(const std::vector<std::string>& arguments);
  // what and the usage to err; kUsage.
  int Usage(const std::string& what);
  int Setup(const std::filesystem::path& dir);
  int SetupImport(const std::filesystem::path& dir);
  bool WriteImportCamera(const std::filesystem::path& cam);
  // The albums and contents of the import's camera, through the album
  // database layer.
  bool FillImportDatabase(const std::filesystem::path& cam);
  bool MakeUserFolders(const std::filesystem::path& dir);
  int Tree(const std::filesystem::path& root);
  int InitCard(const std::filesystem::path& root);
  // A new database in folder through the album database tool.
  int MakeDatabase(const std::filesystem::path& folder);
  bool WriteSamples(const std::filesystem::path& pc);
  bool WriteCamera(const std::filesystem::path& cam);
  bool WriteRegistry(const std::filesystem::path& registry);
  void PrintFiles(const std::filesystem::path& root);
  int PrintDatabase(const std::filesystem::path& root);
  // One line naming what failed; false.
  bool Fail(const std::string& what);

  std::ostream& out_;
  std::ostream& err_;
};
