// The dialog program: its one application object, and main(), which answers --version itself.
#include <cstdio>
#include <cstring>

#include "app/TiltwiseApp.h"
#include "res/version.h"

CTiltwiseApp theApp;

int main(int argc, char* argv[]) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tiltwise %s\n", TILTWISE_VERSION_STR);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  return AfxWinMain(argc, argv);
}
