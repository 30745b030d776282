// The dialog program's one application object; main() comes from ui/AppMain.cc.
#include "app/TiltwiseApp.h"

CTiltwiseApp theApp;
