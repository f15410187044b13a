#include <cstdio>
#include <filesystem>

#include "imaging/tools/XpImageCommands.h"
#include "platform/text/XpStringA.h"

XpString XpImageToolPath(const std::string& argument) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(argument, error);
  const std::string text = error ? argument : absolute.lexically_normal().string();
  return XpStringA(text.c_str()).ToWide();
}

int XpImageToolFailure(const char* what, XpResult result) {
  std::fprintf(stderr, "xpimage: %s failed: 0x%04X\n", what, static_cast<unsigned>(result));
  return 1;
}
