#include <iostream>
#include <string>
#include <vector>

#include "accessor/tools/K2HandoverTool.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  K2HandoverTool tool(std::cout, std::cerr);
  return tool.Run(arguments);
}
