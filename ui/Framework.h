// The whole dialog framework for application code: CWinApp, CWnd, CDialog, data exchange,
// fonts, message boxes and the message map.
#ifndef TILTWISE_UI_FRAMEWORK_H_
#define TILTWISE_UI_FRAMEWORK_H_

#include "base/CString.h"
#include "ui/Dialog.h"
#include "ui/Types.h"
#include "ui/WinApp.h"
#include "ui/Wnd.h"

#endif  // TILTWISE_UI_FRAMEWORK_H_
