// The main dialog as the Win32 test runs it, from a source of its own: the framework's names and
// <windows.h> cannot meet in one file.
#ifndef TILTWISE_APP_TILTWISEDLG_WIN32_RUN_H_
#define TILTWISE_APP_TILTWISEDLG_WIN32_RUN_H_

// Runs the main dialog pointed at 127.0.0.1:`port` on this thread and returns DoModal's result.
int RunMainDialogAt(int port);

#endif  // TILTWISE_APP_TILTWISEDLG_WIN32_RUN_H_
