// A dialog described as plain data: caption, size, font, styles and the controls in tab order,
// positions in dialog units. Every backend builds its window from one of these, so the layout
// lives in exactly one place. Style bits carry the Windows values, so the Win32 backend can copy
// them into an in-memory dialog template unchanged; the others read them through KindOf().
#ifndef TILTWISE_UI_DIALOGTEMPLATE_H_
#define TILTWISE_UI_DIALOGTEMPLATE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ui {

namespace style {
// Window styles. Group/tab stop and minimise/maximise box share bits: the first pair means
// something on controls, the second on top-level windows.
constexpr std::uint32_t kPopup = 0x80000000;
constexpr std::uint32_t kChild = 0x40000000;
constexpr std::uint32_t kVisible = 0x10000000;
constexpr std::uint32_t kDisabled = 0x08000000;
constexpr std::uint32_t kCaption = 0x00C00000;
constexpr std::uint32_t kBorder = 0x00800000;
constexpr std::uint32_t kSysMenu = 0x00080000;
constexpr std::uint32_t kThickFrame = 0x00040000;
constexpr std::uint32_t kGroup = 0x00020000;
constexpr std::uint32_t kTabStop = 0x00010000;
constexpr std::uint32_t kMinimizeBox = 0x00020000;
constexpr std::uint32_t kMaximizeBox = 0x00010000;
// Dialog styles.
constexpr std::uint32_t kDsSetFont = 0x00000040;
constexpr std::uint32_t kDsModalFrame = 0x00000080;
// Extended window style: a taskbar button of its own.
constexpr std::uint32_t kExAppWindow = 0x00040000;
// Buttons (the low four bits are the kind).
constexpr std::uint32_t kBsPushButton = 0x0;
constexpr std::uint32_t kBsDefPushButton = 0x1;
constexpr std::uint32_t kBsCheckBox = 0x2;
constexpr std::uint32_t kBsAutoCheckBox = 0x3;
constexpr std::uint32_t kBsGroupBox = 0x7;
constexpr std::uint32_t kBsTypeMask = 0xF;
// Edit boxes.
constexpr std::uint32_t kEsLeft = 0x0000;
constexpr std::uint32_t kEsPassword = 0x0020;
constexpr std::uint32_t kEsAutoHScroll = 0x0080;
constexpr std::uint32_t kEsNumber = 0x2000;
// Labels (the low two bits are the alignment).
constexpr std::uint32_t kSsLeft = 0x0;
constexpr std::uint32_t kSsCenter = 0x1;
constexpr std::uint32_t kSsRight = 0x2;
constexpr std::uint32_t kSsAlignMask = 0x3;
// Common controls: a list of whole rows (report view, always selected when unfocused, one row
// selected, data asked for row by row), a status bar that stays where the template puts it.
constexpr std::uint32_t kLvsList = 0x0001 | 0x0008 | 0x0004 | 0x1000;
constexpr std::uint32_t kCcsStay = 0x0004 | 0x0008;
// Drop-down lists.
constexpr std::uint32_t kCbsDropDownList = 0x0003;
}  // namespace style

// The system window classes a control can be, with the atoms of a binary dialog template.
// The common controls have no atom: a binary template names their class (CommonClassName).
enum class ControlClass : std::uint16_t {
  kButton = 0x0080,
  kEdit = 0x0081,
  kStatic = 0x0082,
  kComboBox = 0x0085,
  kListView = 0x1000,
  kProgress = 0x1001,
  kStatusBar = 0x1002,
};
// The system's class name of a common control; null for the classes with an atom.
const char* CommonClassName(ControlClass cls);

struct ControlTemplate {
  int id;  // -1 for controls the code never addresses
  ControlClass cls;
  // "" when the control starts without text. A list's columns, "title\twidth" lines; a
  // drop-down list's choices, one a line.
  const char* text;
  std::uint32_t style;  // window and class style bits (kChild | kVisible included)
  std::uint32_t exStyle;
  int x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
  const char* caption;
  std::uint32_t style;
  std::uint32_t exStyle;
  int x, y, cx, cy;  // dialog units
  const char* fontName;
  int fontPointSize;
  int fontWeight;  // 0: the normal weight
  bool fontItalic;
  const ControlTemplate* controls;  // in tab order
  int controlCount;
};

// What a control is, read from its class and style bits.
enum class ControlKind {
  kPushButton,
  kDefPushButton,
  kCheckBox,      // ticked by the code only
  kAutoCheckBox,  // ticks itself when clicked
  kGroupBox,
  kEdit,
  kLabel,
  kChoice,  // a drop-down list; its text is the choice shown
  kList,    // rows with tick boxes (ui/ListModel.h)
  kProgress,
  kStatus,  // a status line: text only
  kOther,
};
ControlKind KindOf(const ControlTemplate& control);
const char* KindName(ControlKind kind);

// The lines of a control's template text (a list's columns, a drop-down list's choices).
std::vector<std::string> TextLines(const char* text);

inline bool IsPassword(const ControlTemplate& c) {
  return c.cls == ControlClass::kEdit && (c.style & style::kEsPassword) != 0;
}

// Dialog units to pixels for a font whose average character is `avgCharWidth` pixels wide and
// whose cell is `charHeight` pixels high: a horizontal unit is a quarter of the average width,
// a vertical one an eighth of the height, rounded to the nearest pixel.
int DialogUnitsToPixelsX(int units, int avgCharWidth);
int DialogUnitsToPixelsY(int units, int charHeight);

// The font height of a point size on a screen of `dpi` dots per inch, as the negative
// (character-height) value a LOGFONT carries: -round(points * dpi / 72).
int PointSizeToLogicalHeight(int points, int dpi);

}  // namespace ui

#endif  // TILTWISE_UI_DIALOGTEMPLATE_H_
