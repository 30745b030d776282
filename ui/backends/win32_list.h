// The Win32 backend's common controls (win32_list.cc), for win32.cc: a list is a virtual
// ListView that asks for each visible cell, drawing the backend's ListModel; tick boxes are
// state images the list neither stores nor toggles itself, so a click or a key changes the model
// and nothing else.
#ifndef TILTWISE_UI_BACKENDS_WIN32_LIST_H_
#define TILTWISE_UI_BACKENDS_WIN32_LIST_H_

// clang-format off
#include <windows.h>
// clang-format on

#include <functional>

#include "ui/DialogTemplate.h"
#include "ui/ListModel.h"

namespace ui {
namespace win32 {

// From WM_INITDIALOG: the lists' models and columns and the drop-down lists' choices, from the
// template; the users' actions in a list go to `notify` (control id, code, item).
void SetUpCommonControls(HWND dialog, const DialogTemplate& t,
                         const std::function<void(int, int, int)>& notify);
void ForgetCommonControls(HWND dialog);
// WM_NOTIFY; false when it is not for a list of ours.
bool OnCommonNotify(LPARAM lParam, LRESULT* result);
ListModel* ListOf(HWND control);  // null for anything but a list of ours
void SetProgress(HWND bar, int lower, int upper, int position);
// Shows the choice `text` in a drop-down list (none that is not one of its choices); false when
// `control` is not a drop-down list.
bool SelectChoice(HWND control, const char* text);

}  // namespace win32
}  // namespace ui

#endif  // TILTWISE_UI_BACKENDS_WIN32_LIST_H_
