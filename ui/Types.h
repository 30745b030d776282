// The dialog framework's basic names: truth values, handles, message-box styles and results,
// with the values the Windows headers give them, so code written against the framework reads
// and behaves as it would there. Global names on purpose; backend sources never include this
// header (they use the ui:: names of ui/Backend.h next to their platform's headers).
#ifndef TILTWISE_UI_TYPES_H_
#define TILTWISE_UI_TYPES_H_

#include <cstdint>

#include "ui/Backend.h"

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef unsigned int UINT;
typedef std::intptr_t INT_PTR;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef std::intptr_t LRESULT;
typedef const char* LPCTSTR;

typedef ui::WindowHandle HWND;
typedef ui::IconHandle HICON;
typedef HICON HCURSOR;  // a cursor is an icon, as there
typedef ui::FontHandle HFONT;
typedef ui::PaintHandle HDC;
typedef ui::LogFont LOGFONT;
typedef ui::Rect RECT;
typedef RECT* LPRECT;

// Message-box buttons and icons (those the backends can show).
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;

// Dialog and message-box results, also the command ids of the standard buttons.
constexpr int IDOK = ui::win::kIdOk;
constexpr int IDCANCEL = ui::win::kIdCancel;
constexpr int IDYES = ui::win::kIdYes;
constexpr int IDNO = ui::win::kIdNo;

// Icon sizes for GetSystemMetrics.
constexpr int SM_CXICON = ui::win::kSmCxIcon;
constexpr int SM_CYICON = ui::win::kSmCyIcon;

// The one message CWnd::SendMessage understands.
constexpr UINT WM_ICONERASEBKGND = 0x0027;

#define afx_msg

#endif  // TILTWISE_UI_TYPES_H_
