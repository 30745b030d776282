// The FLTK backend: the dialogs as real windows (X11 on Linux). It is reached through
// ui::GetBackend() like any other backend; this header declares only the rules it follows that
// need no display, so they can be tested without one. No FLTK header is needed to include it.
//
// Dialog units follow the system's rule: the dialog font is measured (average width over the
// 52 letters, cell height), and a horizontal unit is a quarter of that width, a vertical one an
// eighth of that height. "MS Sans Serif" and other faces map to FLTK's sans, serif or mono
// faces; a LOGFONT height in pixels becomes an FLTK pixel size.
//
// With TILTWISE_DUMP_LAYOUT set, the backend appends ui/LayoutDump.h blocks: when a dialog has
// been drawn, after each command, when a message box has been drawn, and when a dialog goes.
// Minimised windows are drawn by the window manager from the window's icon; a dialog's paint
// handler runs on every redraw of the window, after its controls are drawn.
#ifndef TILTWISE_UI_BACKENDS_FLTK_H_
#define TILTWISE_UI_BACKENDS_FLTK_H_

#include <functional>
#include <string>
#include <vector>

#include "ui/Backend.h"
#include "ui/DialogTemplate.h"

namespace ui {
namespace fltk {

// The text whose width, divided by its length, is the average character width.
extern const char kAverageWidthSample[];

// Dialog base units of a font, in pixels.
struct BaseUnits {
  int cx;  // average character width
  int cy;  // cell height
};

// From the width of kAverageWidthSample and the font's cell height, rounded as the system does.
BaseUnits BaseUnitsFromMetrics(int sampleWidth, int cellHeight);
// A control's rectangle in the client area, and the dialog's client size, in pixels: each of
// position and size converted on its own, as the dialog manager does.
Rect ControlPixels(const ControlTemplate& control, BaseUnits units);
Rect ClientPixels(const DialogTemplate& dialog, BaseUnits units);

enum class Family { kSans, kSerif, kMono };
struct Face {
  Family family;
  bool bold;
  bool italic;
};
// The FLTK face for a font description: bold from weight 600 on.
Face ChooseFace(const LogFont& font);

// The FLTK pixel size for a LOGFONT height: the largest size whose cell (`cellHeightOf`) fits
// in the cell the height asks for. Positive heights are cells; negative ones character heights,
// whose cell the system makes a quarter taller (MS Sans Serif 10 pt: 13 -> 16). Matching cells
// rather than sizes keeps the layout, as faces differ in how much of their size is leading.
// 0 gives `defaultSize`. Never below 1.
int FontSize(int lfHeight, const std::function<int(int size)>& cellHeightOf, int defaultSize);

enum class MessageIcon { kNone, kStop, kQuestion, kExclamation, kInformation };
struct MessageButton {
  int id;             // IDOK, IDCANCEL, IDYES ...
  const char* label;  // '&' before the key that presses it
};
// The buttons of a message box style, left to right; unknown sets give OK.
std::vector<MessageButton> MessageBoxButtons(unsigned style);
// Index into MessageBoxButtons of the button that starts with the focus (MB_DEFBUTTON1..4).
int MessageBoxDefaultButton(unsigned style);
// What Escape and the close box answer; 0 where they do nothing (no Cancel and no lone OK).
int MessageBoxEscapeAnswer(unsigned style);
MessageIcon MessageBoxIconOf(unsigned style);

// Single-byte text (Windows-1252) to UTF-8 and back; characters outside the code page become
// '?', as the system's conversion makes them.
std::string Cp1252ToUtf8(const std::string& text);
std::string Utf8ToCp1252(const std::string& text);

// Text as a static control or group box draws it: "&x" shows x, "&&" shows one '&'.
std::string StripMnemonics(const std::string& text);

}  // namespace fltk
}  // namespace ui

#endif  // TILTWISE_UI_BACKENDS_FLTK_H_
