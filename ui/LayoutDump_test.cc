#include "ui/LayoutDump.h"

#include <gtest/gtest.h>

namespace {

TEST(LayoutDumpTest, OneBlockScriptsCanSplitAndNoPassword) {
  ui::LayoutDialog d;
  d.caption = "Tilt \"wise\"";
  d.client = ui::Rect{0, 0, 636, 307};
  d.unitsX = 6;
  d.unitsY = 13;
  d.focusId = 1000;
  ui::LayoutControl set;
  set.id = 1010;
  set.kind = ui::ControlKind::kPushButton;
  set.text = "Set";
  set.rect = ui::Rect{489, 211, 614, 240};
  set.fontHeight = 28;
  ui::LayoutControl password;
  password.id = 1002;
  password.kind = ui::ControlKind::kEdit;
  password.text = "quillpen";
  password.password = true;
  password.rect = ui::Rect{237, 91, 452, 114};
  password.enabled = false;
  password.fontHeight = -13;
  ui::LayoutControl odd;
  odd.id = -1;
  odd.kind = ui::ControlKind::kAutoCheckBox;
  odd.text = "a\\b\n\xe9";
  odd.check = 1;
  d.controls = {set, password, odd};
  ui::LayoutState state;
  state.dialogs = {d};
  state.messages = {ui::LayoutMessage{"Confirm", "Are you sure to quit?", 36}};

  EXPECT_EQ(ui::FormatLayout(state, "message", 7),
            "layout 7 message\n"
            "dialog caption=\"Tilt \\\"wise\\\"\" client=0,0,636,307 units=6,13 focus=1000\n"
            "control id=1010 kind=\"push button\" text=\"Set\" rect=489,211,614,240 check=0 "
            "enabled=1 font=28\n"
            "control id=1002 kind=\"edit box\" text=\"********\" rect=237,91,452,114 check=0 "
            "enabled=0 font=-13\n"
            "control id=-1 kind=\"automatic check box\" text=\"a\\\\b\\x0a\\xe9\" rect=0,0,0,0 "
            "check=1 enabled=1 font=0\n"
            "message caption=\"Confirm\" text=\"Are you sure to quit?\" style=36\n"
            "end\n");
  EXPECT_EQ(ui::FormatLayout(ui::LayoutState(), "destroy", 8), "layout 8 destroy\nend\n");
}

}  // namespace
