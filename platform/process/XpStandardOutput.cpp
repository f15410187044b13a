#include "platform/process/XpStandardOutput.h"

#include <string.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr int kExitFailed = 1;

}  // namespace

int XpFinishStandardOutput(const std::string& program, int status) {
  errno = 0;
  std::cout.flush();
  bool failed = std::fflush(stdout) != 0;
  int error = errno;
  failed = failed || std::ferror(stdout) != 0 || std::cout.fail();
  if (!failed) {
    return status;
  }
  const char* reason = error != 0 ? ::strerrordesc_np(error) : nullptr;
  std::fprintf(stderr, "%s: cannot write the standard output: %s\n", program.c_str(),
               reason != nullptr ? reason : "write error");
  return status == 0 ? kExitFailed : status;
}
