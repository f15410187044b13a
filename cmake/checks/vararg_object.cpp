// Must fail to compile under -Werror=conditionally-supported.
#include <string>

static int Take(int count, ...) { return count; }

int main() {
  std::string text = "object";
  return Take(1, text);
}
