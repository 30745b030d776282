#include "app/TiltwiseApp.h"

#include "app/TiltwiseDlg.h"
#include "cgi/net.h"
#include "res/TiltwiseResources.h"

CTiltwiseApp::CTiltwiseApp() : CWinApp("Tiltwise", &TiltwiseResources()) {}

BOOL CTiltwiseApp::InitInstance() {
  AfxEnableControlContainer();

  if (!net::Startup()) {
    ::MessageBox(nullptr, "Failed when initializing windows socket!", "Error!", MB_ICONERROR);
    return FALSE;
  }
  m_bSocketsStarted = true;

  CTiltwiseDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;  // the dialog ends with this scope
  return FALSE;
}

int CTiltwiseApp::ExitInstance() {
  // Only a started library is stopped: an unmatched cleanup could stop it under another user
  // of the library in this process.
  if (m_bSocketsStarted) {
    net::Cleanup();
    m_bSocketsStarted = false;
  }
  return CWinApp::ExitInstance();
}
