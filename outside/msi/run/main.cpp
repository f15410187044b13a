// msirun: loads a custom-action library and calls its exports with one
// installation made from a properties file and NAME=VALUE arguments.

#include <iostream>

#include "MsiRunDriver.h"

int main(int argc, char** argv) {
  msirun::RunOptions options;
  XpToolArguments parsed = msirun::RunArguments();
  if (msirun::ReadRunOptions({argv + 1, argv + argc}, &options, &parsed) !=
      XpToolArguments::Outcome::kDone) {
    return parsed.Answer(std::cout, std::cerr);
  }
  return msirun::RunDriver(options);
}
