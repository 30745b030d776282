// The dialog program's resources as data: every backend builds the main dialog from
// kTiltwiseDialog, and the Linux toolkits show kTiltwiseIcon (the Windows build takes the same
// picture from tiltwise.ico, written by make_icon.py).
#ifndef TILTWISE_RES_TILTWISERESOURCES_H_
#define TILTWISE_RES_TILTWISERESOURCES_H_

#include "res/resource.h"
#include "ui/WinApp.h"

extern const ui::DialogTemplate kTiltwiseDialog;  // resource IDD_TILTWISE_DIALOG
extern const ui::IconImage kTiltwiseIcon;         // resource IDR_MAINFRAME, 32 x 32

// The table to register with the application object.
const ui::ResourceModule& TiltwiseResources();

#endif  // TILTWISE_RES_TILTWISERESOURCES_H_
