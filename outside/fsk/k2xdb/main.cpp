#include <iostream>
#include <string>
#include <vector>

#include "outside/fsk/k2xdb/K2xdbTool.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  K2xdbTool tool(std::cout, std::cerr);
  return tool.Run(arguments);
}
