#include "moviethumb/MovieThumbProgram.h"

int main(int argc, char** argv) {
  XpStringVector arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(XpString::FromUtf8(argv[i]));
  return RunMovieThumb(arguments);
}
