#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Runs a program (arguments[0], looked for on PATH when it holds no '/')
// with its standard output and error discarded, and waits for it. Its exit
// code; -1 when it could not start or did not exit normally.
int RunQuietly(const std::vector<std::string>& arguments);

}  // namespace testsupport
