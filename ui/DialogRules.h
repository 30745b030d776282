// The rules a backend follows where the system would decide, free of any toolkit so every
// backend (and its tests) uses the same code: dialog units, fonts for toolkits without the
// system's faces, message boxes, and the single-byte text the framework speaks.
#ifndef TILTWISE_UI_DIALOGRULES_H_
#define TILTWISE_UI_DIALOGRULES_H_

#include <functional>
#include <string>
#include <vector>

#include "ui/Backend.h"
#include "ui/DialogTemplate.h"

namespace ui {

inline bool IsPushButton(ControlKind k) {
  return k == ControlKind::kPushButton || k == ControlKind::kDefPushButton;
}
inline bool IsCheckBox(ControlKind k) {
  return k == ControlKind::kCheckBox || k == ControlKind::kAutoCheckBox;
}

// Whether `text` is one of a drop-down list's choices (its template text, one a line).
bool IsChoice(const ControlTemplate& control, const std::string& text);

// Dialog base units of a font, in pixels.
struct BaseUnits {
  int cx;  // average character width
  int cy;  // cell height
};

// The text whose width, divided by its length, is the average character width.
extern const char kAverageWidthSample[];

// From the width of kAverageWidthSample and the font's cell height, rounded as the system does.
BaseUnits BaseUnitsFromMetrics(int sampleWidth, int cellHeight);
// A control's rectangle in the client area, and the dialog's client size, in pixels: each of
// position and size converted on its own, as the dialog manager does.
Rect ControlPixels(const ControlTemplate& control, BaseUnits units);
Rect ClientPixels(const DialogTemplate& dialog, BaseUnits units);

// The dialog font a template asks for, on a screen of `dpi` dots per inch (8 point when it
// names no size).
LogFont TemplateFont(const DialogTemplate& dialog, int dpi);

enum class Family { kSans, kSerif, kMono };
struct Face {
  Family family;
  bool bold;
  bool italic;
};
// The toolkit face for a font description: bold from weight 600 on.
Face ChooseFace(const LogFont& font);

// The toolkit's pixel size for a LOGFONT height: the largest size whose cell (`cellHeightOf`)
// fits in the cell the height asks for. Positive heights are cells; negative ones character
// heights, whose cell the system makes a quarter taller (MS Sans Serif 10 pt: 13 -> 16).
// Matching cells rather than sizes keeps the layout, as faces differ in how much of their size
// is leading. 0 gives `defaultSize`. Never below 1.
int FontSize(int lfHeight, const std::function<int(int size)>& cellHeightOf, int defaultSize);

// Message boxes of the styles the program shows: OK, or Yes and No; a stop sign, an
// exclamation mark or no icon.
enum class MessageIcon { kNone, kStop, kExclamation };
struct MessageButton {
  int id;             // IDOK, IDYES, IDNO
  const char* label;  // '&' before the key that presses it
};
// The buttons left to right; the first one starts with the focus and answers Enter.
std::vector<MessageButton> MessageBoxButtons(unsigned style);
// What Escape and the close box answer; 0 where they do nothing (Yes and No have no Cancel).
int MessageBoxEscapeAnswer(unsigned style);
MessageIcon MessageBoxIconOf(unsigned style);

// Single-byte text (Windows-1252) to UTF-8 and back; characters outside the code page become
// '?', as the system's conversion makes them.
std::string Cp1252ToUtf8(const std::string& text);
std::string Utf8ToCp1252(const std::string& text);
// Byte offset in UTF-8 text of character `n` (the end when n is past it).
int Utf8Offset(const std::string& utf8, int n);

// Text as a static control or group box draws it: "&x" shows x, "&&" shows one '&'.
std::string StripMnemonics(const std::string& text);

}  // namespace ui

#endif  // TILTWISE_UI_DIALOGRULES_H_
