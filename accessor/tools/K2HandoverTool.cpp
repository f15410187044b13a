#include "accessor/tools/K2HandoverTool.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <system_error>

#include "framework/suite/SfContentInfoXML.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/format/XpFormatKind.h"
#include "platform/process/XpToolArguments.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kProgramName = "k2handover";
// The content type the accessor takes as an exportable picture.
constexpr uint32_t kPictureContentType = kXpKindJpeg;
// A movie's side files, appended in this order.
constexpr const char* kMovieSideExtensions[] = {".thm", ".modd"};
constexpr const char* kMovieExtensions[] = {".mpg", ".mpeg"};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string LowerExtension(const fs::path& path) { return Lower(path.extension().string()); }

bool IsOneOf(const std::string& extension, const auto& list) {
  return std::find(std::begin(list), std::end(list), extension) != std::end(list);
}

bool IsMovie(const fs::path& path) { return IsOneOf(LowerExtension(path), kMovieExtensions); }
bool IsMovieSideFile(const fs::path& path) { return IsOneOf(LowerExtension(path), kMovieSideExtensions); }

// The file beside movie whose base name is the movie's and whose extension
// is extension, compared without case; empty when there is none.
fs::path FindSideFile(const fs::path& movie, const std::string& extension) {
  const std::string wanted = Lower(movie.stem().string()) + extension;
  std::error_code error;
  std::vector<fs::path> matches;
  for (const fs::directory_entry& entry : fs::directory_iterator(movie.parent_path(), error)) {
    if (entry.is_regular_file(error) && Lower(entry.path().filename().string()) == wanted) {
      matches.push_back(entry.path());
    }
  }
  if (matches.empty()) return fs::path();
  std::sort(matches.begin(), matches.end());
  return matches.front();
}

// The movie's base path in lower case, which names its side files.
std::string SideKey(const fs::path& path) {
  return Lower((path.parent_path() / path.stem()).string());
}

uint32_t ContentTypeOf(const fs::path& path) {
  const XpString wide = XpString::FromUtf8(path.string());
  if (XpFormatChecker::IsJpegExtension(wide) && LowerExtension(path) != ".thm") {
    return kPictureContentType;
  }
  return XpFormatChecker::DetectFormatKind(wide);
}

// The shooting date, else the file date; not valid when neither is known.
XpDateTime DateOf(const fs::path& path) {
  const XpString wide = XpString::FromUtf8(path.string());
  XpDateTime date;
  if (XpFormatChecker::GetShootingDate(wide, date) && date.IsValid()) {
    return date;
  }
  XpDateTime fileDate;
  XpFormatChecker::GetFileDate(wide, fileDate);
  return fileDate;
}

std::string HexCode(XpResult code) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%04X", static_cast<unsigned>(code));
  return text;
}

XpToolArguments HandoverArguments() {
  return XpToolArguments(kProgramName, std::string("usage: ") + kProgramName + " OUT.xml FILE...\n");
}

}  // namespace

int K2HandoverTool::Usage(const std::string& what) {
  XpToolArguments arguments = HandoverArguments();
  static_cast<void>(arguments.Refuse(what));
  return arguments.Answer(out_, err_);
}

int K2HandoverTool::Run(const std::vector<std::string>& arguments) {
  XpToolArguments parsed = HandoverArguments();
  if (parsed.Parse(arguments) != XpToolArguments::Outcome::kDone) {
    return parsed.Answer(out_, err_);
  }
  return RunCommand(parsed.Operands());
}

int K2HandoverTool::RunCommand(const std::vector<std::string>& arguments) {
  if (arguments.size() < 2) {
    return Usage("missing operand");
  }
  std::error_code error;
  std::vector<fs::path> files;
  for (size_t index = 1; index < arguments.size(); ++index) {
    const fs::path absolute = fs::absolute(arguments[index], error).lexically_normal();
    if (error || !fs::is_regular_file(absolute, error)) {
      err_ << kProgramName << ": " << arguments[index] << ": no such file\n";
      return kFailed;
    }
    files.push_back(absolute);
  }
  const std::vector<Content> contents = CollectContents(files);
  const fs::path out = fs::absolute(arguments[0], error).lexically_normal();
  if (error) {
    err_ << kProgramName << ": " << arguments[0] << ": " << error.message() << "\n";
    return kFailed;
  }
  return Write(out, contents);
}

std::vector<K2HandoverTool::Content> K2HandoverTool::CollectContents(const std::vector<fs::path>& files) {
  std::vector<Content> contents;
  std::set<std::string> movies;
  for (const fs::path& file : files) {
    if (IsMovie(file)) movies.insert(SideKey(file));
  }
  for (const fs::path& file : files) {
    if (IsMovieSideFile(file) && movies.count(SideKey(file)) != 0) {
      continue;
    }
    Content content;
    content.files.push_back(file);
    content.contentType = ContentTypeOf(file);
    if (IsMovie(file)) {
      for (const char* extension : kMovieSideExtensions) {
        const fs::path side = FindSideFile(file, extension);
        if (!side.empty()) content.files.push_back(side);
      }
    }
    contents.push_back(std::move(content));
  }
  return contents;
}

int K2HandoverTool::Write(const fs::path& out, const std::vector<Content>& contents) {
  SfContentInfoXML document;
  XpResult result = document.InitHeader(kGroupName, nullptr);
  XpIniElement* group = result == kXpOk ? document.AddContentsGroup(kGroupName) : nullptr;
  if (group == nullptr) {
    err_ << kProgramName << ": " << out.string() << ": the document cannot be built (" << HexCode(result) << ")\n";
    return kFailed;
  }
  for (const Content& content : contents) {
    XpIniElement* entry = SfContentInfoXML::AddContents(group);
    result = entry != nullptr ? kXpOk : kXpErrOutOfMemory;
    for (size_t index = 0; result == kXpOk && index < content.files.size(); ++index) {
      result = SfContentInfoXML::AddFile(entry, XpString::FromUtf8(content.files[index].string()));
    }
    if (result == kXpOk) {
      result = entry->Add(u"ContentType", kXpIniTypeInt, static_cast<int64_t>(content.contentType));
    }
    const XpDateTime date = DateOf(content.files.front());
    if (result == kXpOk && date.IsValid()) {
      result = entry->Add(u"DateTimeOriginal", kXpIniTypeReal);
      if (result == kXpOk) result = entry->Find(u"DateTimeOriginal")->SetReal(date.GetValue());
    }
    if (result != kXpOk) {
      err_ << kProgramName << ": " << content.files.front().string() << ": cannot be added (" << HexCode(result)
           << ")\n";
      return kFailed;
    }
  }
  result = document.SaveToFile(XpString::FromUtf8(out.string()));
  if (result != kXpOk) {
    err_ << kProgramName << ": " << out.string() << ": cannot be written (" << HexCode(result) << ")\n";
    return kFailed;
  }
  out_ << out.string() << ": " << contents.size() << " contents\n";
  return kDone;
}
