// dcfobj info FILE...      one DCF object of the files: names, kind, date,
//                          Exif texts, GPS, picture, thumbnail, companions
// dcfobj copy DEST FILE... copies the files as one unit into DEST (made
//                          when missing)
//
// Exit status: 0 done, 1 failed, 2 bad usage.

#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "camerastore/dcf/XpDCFObj.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"
#include "platform/process/XpStandardOutput.h"
#include "platform/process/XpToolArguments.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;

XpString ToolPath(const std::string& argument) {
  return XpPathMakeAbsolute(XpString::FromUtf8(argument));
}

int Failure(const std::string& what, XpResult result) {
  std::fprintf(stderr, "dcfobj: %s failed: 0x%04X\n", what.c_str(), static_cast<unsigned>(result));
  return kExitFailed;
}

XpToolArguments Arguments() {
  return XpToolArguments("dcfobj", "usage: dcfobj info FILE...\n       dcfobj copy DEST FILE...\n");
}

// One member per file, in the order given; *failed names the file that
// could not be taken.
[[nodiscard]] XpResult BuildObject(const std::vector<std::string>& files, XpDCFObj& shot,
                                   std::string* failed) {
  for (const std::string& file : files) {
    *failed = file;
    const XpString path = ToolPath(file);
    if (!XpFileExists(path)) {
      return kXpErrFileNotFound;
    }
    XpSharedPtr<XpAbstractFSObj> member(new (std::nothrow) XpFile(path));
    if (!member) {
      return kXpErrOutOfMemory;
    }
    const XpResult result = shot.AddFile(member);
    if (result != kXpOk) {
      return result;
    }
  }
  failed->clear();
  return kXpOk;
}

std::string DateText(const XpDateTime& date) {
  if (!date.IsValid()) {
    return "none";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.GetYear(),
                date.GetMonth(), date.GetDay(), date.GetHour(), date.GetMinute(),
                date.GetSecond());
  return text;
}

std::string PathOf(const XpSharedPtr<XpAbstractFSObj>& file) {
  return file ? file->GetPath().ToMultiByte().ToStdString() : std::string("none");
}

std::string OrNone(const XpString& text) {
  return text.IsEmpty() ? "none" : text.ToMultiByte().ToStdString();
}

void PrintLine(const char* label, const std::string& value) {
  std::printf("%-18s %s\n", label, value.c_str());
}

int Info(const std::vector<std::string>& files) {
  XpDCFObj shot;
  std::string failed;
  const XpResult built = BuildObject(files, shot, &failed);
  if (built != kXpOk) {
    return Failure("reading " + failed, built);
  }
  PrintLine("name", shot.GetDisplayName().ToMultiByte().ToStdString());
  PrintLine("folder number", std::to_string(shot.GetFolderNumber()));
  PrintLine("file number", std::to_string(shot.GetFileNumber()));
  char kind[16];
  std::snprintf(kind, sizeof kind, "0x%08X", static_cast<unsigned>(shot.GetFormatKind()));
  PrintLine("kind", kind);
  PrintLine("shooting date", DateText(shot.GetShootingDate()));
  PrintLine("make", OrNone(shot.GetMake()));
  PrintLine("model", OrNone(shot.GetModel()));
  const XpGPSPosition position = shot.GetGPSPosition();
  if (position.IsValid()) {
    char gps[64];
    std::snprintf(gps, sizeof gps, "%.6f, %.6f", position.latitude, position.longitude);
    PrintLine("gps", gps);
  } else {
    PrintLine("gps", "none");
  }
  PrintLine("picture", PathOf(shot.GetPictureFile()));
  PrintLine("thumbnail", PathOf(shot.GetThumbnailFile()));
  PrintLine("picture companion", OrNone(shot.GetCompanionPicturePath()));
  PrintLine("movie companion", OrNone(shot.GetCompanionMoviePath()));
  return kExitDone;
}

// Redraws one progress line in place.
class ProgressLine : public IXpFileOpProgressObserver {
 public:
  bool OnFileOpProgress(double overall) override {
    std::fprintf(stderr, "\rcopying %5.1f%%", overall);
    std::fflush(stderr);
    shown_ = true;
    return false;
  }
  void End() const {
    if (shown_) {
      std::fprintf(stderr, "\n");
    }
  }

 private:
  bool shown_ = false;
};

int Copy(const std::string& destination, const std::vector<std::string>& files) {
  XpDCFObj shot;
  std::string failed;
  const XpResult built = BuildObject(files, shot, &failed);
  if (built != kXpOk) {
    return Failure("reading " + failed, built);
  }
  const XpString folder = ToolPath(destination);
  if (!XpDirectoryExists(folder)) {
    const XpResult made = XpCreateDirectoryTree(folder);
    if (made != kXpOk) {
      return Failure("making " + destination, made);
    }
  }
  ProgressLine progress;
  const XpResult copied = shot.CopyTo(folder, &progress);
  progress.End();
  if (copied != kXpOk) {
    return Failure("copying into " + destination, copied);
  }
  for (const XpString& target : shot.GetWrittenPaths()) {
    std::printf("%s\n", target.ToMultiByte().CStr());
  }
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  XpToolArguments parsed = Arguments();
  if (parsed.Parse({argv + 1, argv + argc}) != XpToolArguments::Outcome::kDone) {
    return parsed.Answer(std::cout, std::cerr);
  }
  const std::vector<std::string>& arguments = parsed.Operands();
  if (arguments.size() >= 2 && arguments[0] == "info") {
    return XpFinishStandardOutput("dcfobj", Info({arguments.begin() + 1, arguments.end()}));
  }
  if (arguments.size() >= 3 && arguments[0] == "copy") {
    return XpFinishStandardOutput("dcfobj", Copy(arguments[1], {arguments.begin() + 2, arguments.end()}));
  }
  static_cast<void>(parsed.Refuse(arguments.empty() ? "missing operand" : "unknown command or missing operand"));
  return parsed.Answer(std::cout, std::cerr);
}
