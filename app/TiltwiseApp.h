// The application object: starts the socket library, runs the main dialog, stops the library.
#ifndef TILTWISE_APP_TILTWISEAPP_H_
#define TILTWISE_APP_TILTWISEAPP_H_

#include "ui/WinApp.h"

class CTiltwiseApp : public CWinApp {
 public:
  CTiltwiseApp();

  // Always FALSE: the program ends once the dialog has closed, or at once when the socket
  // library cannot start.
  BOOL InitInstance() override;
  int ExitInstance() override;

 private:
  bool m_bSocketsStarted = false;
};

#endif  // TILTWISE_APP_TILTWISEAPP_H_
