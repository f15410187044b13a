#include <iostream>
#include <string>
#include <vector>

#include "accessor/tools/K2DemoTool.h"
#include "platform/process/XpStandardOutput.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  K2DemoTool tool(std::cout, std::cerr);
  return XpFinishStandardOutput("k2demo", tool.Run(arguments));
}
