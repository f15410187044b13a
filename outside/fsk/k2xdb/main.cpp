#include <iostream>
#include <string>
#include <vector>

#include "outside/fsk/k2xdb/K2xdbTool.h"
#include "platform/process/XpStandardOutput.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  K2xdbTool tool(std::cout, std::cerr);
  int code = tool.Run(arguments);
  // A failed run has said why already, a lost answer included.
  return code == K2xdbTool::kDone ? XpFinishStandardOutput("k2xdb", code) : code;
}
