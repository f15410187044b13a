#include <iostream>
#include <string>
#include <vector>

#include "imaging/tools/XpImageCommands.h"
#include "platform/process/XpStandardOutput.h"
#include "platform/process/XpToolArguments.h"

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

// A command's own options follow its name.
XpToolArguments Arguments() {
  std::string synopsis = "usage:\n";
  for (const Command& command : kCommands) {
    synopsis += std::string("  xpimage ") + command.usage + "\n";
  }
  return XpToolArguments("xpimage", synopsis);
}

}  // namespace

int main(int argc, char** argv) {
  XpToolArguments parsed = Arguments();
  if (parsed.Parse({argv + 1, argv + argc}) != XpToolArguments::Outcome::kDone) {
    return parsed.Answer(std::cout, std::cerr);
  }
  const std::vector<std::string>& operands = parsed.Operands();
  if (operands.empty()) {
    static_cast<void>(parsed.Refuse("missing command"));
    return parsed.Answer(std::cout, std::cerr);
  }
  const std::vector<std::string> arguments(operands.begin() + 1, operands.end());
  for (const Command& command : kCommands) {
    if (operands[0] == command.name) {
      return XpFinishStandardOutput("xpimage", command.run(arguments));
    }
  }
  static_cast<void>(parsed.Refuse("unknown command: " + operands[0]));
  return parsed.Answer(std::cout, std::cerr);
}
