// The program entry of a dialog application: runs its one CWinApp object.
#include "ui/WinApp.h"

int main(int argc, char* argv[]) {
  return AfxWinMain(argc, argv);
}
