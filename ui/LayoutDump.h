// A text picture of what a program shows, for scripts that drive the real program from outside
// (an X server, Wine) and cannot ask its windows what they hold. Every backend writes the same
// format, so one script reads them all; the backend fills a LayoutState from its own windows.
// A test hook, built only with TILTWISE_TEST_HOOKS (the builds the tests use). Only when the
// environment variable TILTWISE_DUMP_LAYOUT names a file: backends then append a
// block once a dialog is shown, after each command delivered to it, while a message box is up,
// and when a dialog is destroyed. A reader takes the last block that has its "end" line.
//
//   layout 4 message
//   dialog caption="Tiltwise" client=0,0,636,307 units=6,13 focus=1000
//   control id=1010 kind="push button" text="Set" rect=489,211,614,240 check=0 enabled=1 font=28
//   ...
//   message caption="Confirm" text="Are you sure to quit?" style=36
//   end
//
// Dialogs and message boxes are listed outermost first. `units` are the pixels of 4 horizontal
// and 8 vertical dialog units; rectangles are left, top, right, bottom in pixels of the dialog's
// client area; `font` is the height of the control's font as its LogFont gives it; `style` is
// the message box's MB_* value. Texts are quoted with \" \\ and \xNN escapes; a password box
// shows one '*' per character, never the password.
#ifndef TILTWISE_UI_LAYOUTDUMP_H_
#define TILTWISE_UI_LAYOUTDUMP_H_

#include <string>
#include <vector>

#include "ui/Backend.h"
#include "ui/DialogTemplate.h"

namespace ui {

struct LayoutControl {
  int id = 0;
  ControlKind kind = ControlKind::kOther;
  std::string text;
  bool password = false;  // written as one '*' per character of the text
  Rect rect;
  int check = 0;
  bool enabled = true;
  int fontHeight = 0;
};

struct LayoutDialog {
  std::string caption;
  Rect client;
  int unitsX = 0;                       // pixels of 4 horizontal dialog units
  int unitsY = 0;                       // pixels of 8 vertical dialog units
  int focusId = 0;                      // 0: none of its controls has the focus
  std::vector<LayoutControl> controls;  // in tab order
};

struct LayoutMessage {
  std::string caption;
  std::string text;
  unsigned style = 0;
};

struct LayoutState {
  std::vector<LayoutDialog> dialogs;
  std::vector<LayoutMessage> messages;
};

// The file named by TILTWISE_DUMP_LAYOUT, read once; empty when it is not set or the build has
// no test hooks.
const std::string& LayoutDumpPath();

// One block; `event` says what led to it ("shown", "command 1006", "message", "destroy").
std::string FormatLayout(const LayoutState& state, const std::string& event, int sequence);

// Appends the next block (numbered from 1 in each process) to LayoutDumpPath(); does nothing
// when no file is named. False when the file cannot be written.
bool DumpLayout(const LayoutState& state, const std::string& event);

}  // namespace ui

#endif  // TILTWISE_UI_LAYOUTDUMP_H_
