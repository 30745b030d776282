// The Win32 backend: the dialogs as real Windows dialogs on the plain API. RunModal builds an
// extended dialog template (DLGTEMPLATEEX) in memory from the DialogTemplate and runs it with
// DialogBoxIndirectParam, so the dialog and the other backends' windows come from the same data;
// the dialog manager then does what it does for any dialog (tab order, Enter, Escape, focus).
// Icons come from the program's own resources by id. No Windows header is needed to include
// this file.
//
// Test hook: when TILTWISE_DUMP_LAYOUT names a file, the backend appends the open dialogs and
// message boxes there in the format of ui/LayoutDump.h.
#ifndef TILTWISE_UI_BACKENDS_WIN32_H_
#define TILTWISE_UI_BACKENDS_WIN32_H_

#include <cstdint>
#include <vector>

#include "ui/Backend.h"
#include "ui/DialogTemplate.h"

namespace ui {
namespace win32 {

// The extended dialog template RunModal hands to the dialog manager, as 16-bit words: the font
// block only when the style has DS_SETFONT, each control aligned on 32 bits with its class
// atom (0x80 button, 0x81 edit, 0x82 static), texts in UTF-16 from the system code page.
std::vector<std::uint16_t> BuildDialogTemplate(const DialogTemplate& dialog);

}  // namespace win32
}  // namespace ui

#endif  // TILTWISE_UI_BACKENDS_WIN32_H_
