#include "MsiPropertiesFile.h"

#include <sstream>

#include "platform/fs/XpReadWholeFile.h"
#include "platform/text/XpStringA.h"
#include "platform/text/XpUtf.h"

namespace msirun {
namespace {

constexpr std::string_view kFeatureSection = "[Feature]";
constexpr char kCommentMark = '#';

}  // namespace

bool SplitAssignment(std::string_view text, std::u16string* name, std::u16string* value) {
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0) return false;
  *name = XpUtf8ToUtf16(text.substr(0, equals));
  *value = XpUtf8ToUtf16(text.substr(equals + 1));
  return true;
}

bool ParsePropertiesText(std::string_view text, PropertiesFile* file, std::string* error) {
  bool inFeatures = false;
  size_t lineNumber = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == kCommentMark) continue;
    if (line == kFeatureSection) {
      inFeatures = true;
      continue;
    }
    if (inFeatures) {
      file->features.push_back(XpUtf8ToUtf16(line));
      continue;
    }
    std::u16string name;
    std::u16string value;
    if (!SplitAssignment(line, &name, &value)) {
      *error = "line " + std::to_string(lineNumber) + ": not NAME=VALUE";
      return false;
    }
    file->properties[name] = value;
  }
  return true;
}

bool ReadPropertiesFile(const std::string& path, PropertiesFile* file, std::string* error) {
  std::string text;
  if (XpReadWholeFile(XpString::FromUtf8(path), &text) != kXpOk) {
    *error = path + ": cannot be read";
    return false;
  }
  std::string lineError;
  if (!ParsePropertiesText(text, file, &lineError)) {
    *error = path + ": " + lineError;
    return false;
  }
  return true;
}

}  // namespace msirun
