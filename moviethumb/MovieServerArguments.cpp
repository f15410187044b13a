#include "moviethumb/MovieServerArguments.h"

#include <cstddef>

#include "platform/fs/XpPathQueries.h"

namespace {

constexpr const char16_t* kExtractFlag = u"extract";
constexpr const char16_t* kLowPriorityFlag = u"lowpri";
constexpr const char16_t* kFlagPrefixes[] = {u"--", u"/", u"-"};

// The name of a flag argument without its prefix; "" when it has none.
XpString FlagName(const XpString& argument) {
  for (const char16_t* prefix : kFlagPrefixes) {
    const XpString start(prefix);
    if (argument.GetLength() > start.GetLength() && argument.Left(start.GetLength()) == start) {
      return argument.Mid(start.GetLength());
    }
  }
  return XpString();
}

bool IsFlag(const XpString& argument, const char16_t* name) {
  return FlagName(argument) == XpString(name);
}

}  // namespace

MovieServerArguments ParseMovieServerArguments(const XpStringVector& argv) {
  constexpr size_t kExtractPlace = 1;
  constexpr size_t kLowPriorityPlace = 2;
  MovieServerArguments arguments;
  if (argv.size() <= kExtractPlace || !IsFlag(argv[kExtractPlace], kExtractFlag)) {
    return arguments;
  }
  arguments.run = true;
  size_t folderPlace = kLowPriorityPlace;
  if (argv.size() > kLowPriorityPlace && IsFlag(argv[kLowPriorityPlace], kLowPriorityFlag)) {
    arguments.lowPriority = true;
    folderPlace = kLowPriorityPlace + 1;
  }
  if (argv.size() != folderPlace + 1) return arguments;
  arguments.useDefaultFolder = false;
  const XpString& folder = argv[folderPlace];
  if (XpDirectoryExists(folder)) arguments.folder = folder;
  return arguments;
}
