#include "app/TiltwiseDlg_win32_run.h"

#include "app/TiltwiseApp.h"
#include "app/TiltwiseDlg.h"
#include "cgi/net.h"

int RunMainDialogAt(int port) {
  static CTiltwiseApp app;  // the resources and the captions
  if (!net::Startup()) return -2;
  CTiltwiseDlg dlg;
  dlg.m_strCameraIP = "127.0.0.1";
  dlg.m_nHttpPort = port;
  const int result = static_cast<int>(dlg.DoModal());
  net::Cleanup();
  return result;
}
