#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/tools/XpImageCommands.h"
#include "platform/process/XpStandardOutput.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const std::vector<std::string>& arguments);
};

constexpr Command kCommands[] = {
    {"info", "info PATH", XpImageInfoCommand},
    {"decode", "decode SRC DST.jpg [--oriented]", XpImageDecodeCommand},
    {"transform", "transform SRC DST CODE [--apply-orientation]", XpImageTransformCommand},
    {"set-maker-2002", "set-maker-2002 PATH VALUE", XpImageSetMaker2002Command},
    {"movie", "movie PATH --plugins DIR [--frame MICROSECONDS OUT.jpg] [--server PROGRAM [--size WxH]]",
     XpImageMovieCommand},
};

int Usage() {
  std::fprintf(stderr, "usage:\n");
  for (const Command& command : kCommands) {
    std::fprintf(stderr, "  xpimage %s\n", command.usage);
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return Usage();
  }
  const std::vector<std::string> arguments(argv + 2, argv + argc);
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) == 0) {
      return XpFinishStandardOutput("xpimage", command.run(arguments));
    }
  }
  return Usage();
}
