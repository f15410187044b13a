#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

// The hand-over tool: writes a content-info file from a list of pictures
// and movies, as a browser would hand them to the accessor.
//
//   k2handover OUT.xml FILE...
//
// One group "k2handover" holds one content per file, its path made
// absolute. A JPEG (not ".thm") is a picture of content type 0x10000101; a
// movie ".mpg" or ".mpeg" gets its detected kind, and its ".THM" and
// ".modd" of the same base name follow it as further files (named on the
// line they are no contents of their own); any other file gets its detected
// kind. "DateTimeOriginal" is the shooting date, else the file date.
class K2HandoverTool {
 public:
  static constexpr int kDone = 0;
  static constexpr int kFailed = 1;
  static constexpr int kUsage = 2;
  static constexpr const char16_t* kGroupName = u"k2handover";

  K2HandoverTool(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  // arguments without the program's name; the exit code.
  int Run(const std::vector<std::string>& arguments);

 private:
  struct Content {
    std::vector<std::filesystem::path> files;
    uint32_t contentType = 0;
  };

  // The parsed operands: OUT.xml, then the files.
  int RunCommand(const std::vector<std::string>& arguments);
  // what and the usage to err; kUsage.
  int Usage(const std::string& what);
  // The contents of the named files, in order.
  static std::vector<Content> CollectContents(const std::vector<std::filesystem::path>& files);
  int Write(const std::filesystem::path& out, const std::vector<Content>& contents);

  std::ostream& out_;
  std::ostream& err_;
};
