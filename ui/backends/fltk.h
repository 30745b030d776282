// What the FLTK backend's files share (X11 on Linux). The backend itself is reached through
// ui::GetBackend() like any other; its toolkit-free rules live in ui/DialogRules.h. No FLTK
// header is needed to include this file.
//
// Minimised windows are drawn by the window manager from the window's icon; a dialog's paint
// handler runs on every redraw of the window, after its controls are drawn.
#ifndef TILTWISE_UI_BACKENDS_FLTK_H_
#define TILTWISE_UI_BACKENDS_FLTK_H_

#include <functional>
#include <string>

#include "ui/backends/core.h"

class Fl_Widget;
class Fl_Window;

namespace ui {
namespace fltk {

constexpr int kIconSize = 32;
// The FLTK size for a font that names no height.
constexpr int kDefaultSize = 12;

// A label for a widget FLTK draws itself, from single-byte text: '@' starts a symbol there.
std::string FlLabel(const std::string& cp1252);

// The FLTK face and size for a font description.
int FaceOf(const LogFont& font);
int SizeOf(const LogFont& font);

// One turn of a modal loop, and an end to the current wait of one (a loop ended from a timer
// would otherwise sleep until the next event).
void WaitTurn();
void WakeLoop();

// Puts `window` in the middle of `owner` (when shown), else of the screen's work area.
void Centre(Fl_Window& window, Fl_Window* owner);

// Shows a message box like the system's over `owner` and returns the button pressed; `shown`
// runs once it has been drawn.
int RunMessageBox(const MessageBoxRecord& box, Fl_Window* owner,
                  const std::function<void()>& shown);

// The common controls (lists, progress bars, status lines, drop-down lists), in fltk_list.cc:
// made at the template's place, and shown anew after the record changed.
Fl_Widget* BuildCommonControl(ControlRecord& c, int x, int y, int w, int h);
void ShowCommonControl(ControlRecord& c);
// Alt and a label's underlined letter: the focus goes to the control after the label, as in the
// system's dialogs. False when no label has that letter.
bool FocusByLabel(DialogRecord& d, int key);

}  // namespace fltk
}  // namespace ui

#endif  // TILTWISE_UI_BACKENDS_FLTK_H_
