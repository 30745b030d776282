// The FLTK backend on a real X server: keys, the close box and message boxes as FLTK delivers
// them, and the calls the framework makes while a dialog runs. Skipped unless
// TILTWISE_FLTK_LIVE is set, which the "gui" CTest entry does under its own Xvfb (windows must
// not pop up on a developer's desktop during a plain test run).
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "ui/Backend.h"

namespace {

using namespace ui::win;

using ui::ControlClass;
using namespace ui::style;

constexpr std::uint32_t kEditBox = kChild | kVisible | kBorder | kTabStop | kEsAutoHScroll;
const ui::ControlTemplate kControls[] = {
    {101, ControlClass::kEdit, "", kEditBox, 0, 10, 10, 60, 12},
    {102, ControlClass::kButton, "Go", kChild | kVisible | kTabStop | kBsPushButton, 0, 80, 10, 40,
     14},
    {103, ControlClass::kButton, "Manual", kChild | kVisible | kTabStop | kBsCheckBox, 0, 10, 30,
     60, 10},
    {104, ControlClass::kButton, "Auto", kChild | kVisible | kTabStop | kBsAutoCheckBox, 0, 10, 44,
     60, 10},
    {105, ControlClass::kEdit, "", kEditBox | kEsNumber, 0, 10, 58, 60, 12},
};
const ui::DialogTemplate kLive = {
    "Live", kPopup | kCaption | kSysMenu | kDsSetFont | kDsModalFrame | kMinimizeBox,
    0,      0,
    0,      130,
    80,     "MS Sans Serif",
    10,     0,
    false,  kControls,
    5};

ui::Backend& B() {
  return ui::GetBackend();
}

// A key as FLTK delivers it to the window that takes input now.
void Key(int keysym, const char* text = "") {
  // Writable: FLTK swaps the case of an unused key's text in place to try it as a shortcut.
  static char buffer[8];
  std::strncpy(buffer, text, sizeof buffer - 1);
  Fl::e_keysym = keysym;
  Fl::e_text = buffer;
  Fl::e_length = static_cast<int>(std::strlen(text));
  Fl::e_state = 0;
  Fl_Window* w = Fl::modal() ? Fl::modal() : Fl::first_window();
  ASSERT_NE(nullptr, w);
  Fl::handle(FL_KEYBOARD, w);
}

// The window manager's close box.
void CloseBox() {
  Fl_Window* w = Fl::modal() ? Fl::modal() : Fl::first_window();
  ASSERT_NE(nullptr, w);
  w->do_callback();
}

// Runs `actions` one per timer tick from inside whatever loop runs then (a dialog's or a message
// box's). The last action must end that loop.
class Ticker {
 public:
  explicit Ticker(std::vector<std::function<void()>> actions) : actions_(std::move(actions)) {
    Fl::add_timeout(0.05, &Ticker::Tick, this);
  }
  ~Ticker() { Fl::remove_timeout(&Ticker::Tick, this); }
  bool done() const { return next_ == actions_.size(); }

 private:
  static void Tick(void* self) {
    auto* t = static_cast<Ticker*>(self);
    if (t->next_ == t->actions_.size()) return;
    // The next tick only after this action: one that opens a message box answers it with a
    // ticker of its own, and nothing of this one may run inside that box's loop.
    t->actions_[t->next_++]();
    if (t->next_ < t->actions_.size()) Fl::add_timeout(0.05, &Ticker::Tick, t);
  }
  std::vector<std::function<void()>> actions_;
  size_t next_ = 0;
};

class Session : public ui::DialogEvents {
 public:
  std::vector<int> commands;
  ui::WindowHandle dialog = nullptr;
  int paints = 0;
  bool destroyed = false;
  std::function<void()> onInit;

  bool HandleInitDialog(ui::WindowHandle d) override {
    dialog = d;
    if (onInit) onInit();
    return true;
  }
  bool HandleCommand(int id) override {
    commands.push_back(id);
    return true;
  }
  bool HandleClose() override {
    ++closes;
    return closeIsCommand && HandleCommand(kIdCancel);
  }
  int closes = 0;
  bool closeIsCommand = true;
  void HandlePaint() override { ++paints; }
  ui::IconHandle HandleQueryDragIcon() override { return nullptr; }
  void HandleDestroy() override { destroyed = true; }

  ui::WindowHandle Control(int id) { return B().FindControl(dialog, id); }
};

class FltkLive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("TILTWISE_FLTK_LIVE")) {
      GTEST_SKIP() << "needs an X server: ctest -L gui runs it under Xvfb";
    }
    ASSERT_TRUE(B().Connect());
  }
};

TEST_F(FltkLive, KeysAndTheCloseBoxBecomeCommands) {
  Session s;
  std::vector<std::function<void()>> steps = {
      [&] {
        B().Focus(s.Control(101));
        Key(FL_Enter);  // in an edit box: IDOK
      },
      [&] {
        B().Focus(s.Control(102));
        Key(FL_Enter);  // on a push button: its command
      },
      [&] { Key(FL_Escape); },
      [&] {
        // FLTK closes a window on Escape by itself; ours is still there.
        ASSERT_NE(nullptr, Fl::modal());
        EXPECT_TRUE(Fl::modal()->shown());
        CloseBox();
      },
      [&] {
        B().Focus(s.Control(103));
        Key(' ', " ");  // a plain check box: the command, but no tick
        B().Focus(s.Control(104));
        Key(' ', " ");  // an automatic one ticks itself
      },
      [&] {
        B().Focus(s.Control(105));
        Key('a', "a");  // a number-only box refuses letters
        Key('7', "7");
        B().Focus(s.Control(101));
        Key('x', "x");
        Key(FL_Tab);
        Key(FL_Enter);  // Tab went on to the push button
      },
      [&] {
        EXPECT_EQ(0, B().GetCheck(s.Control(103)));
        EXPECT_EQ(1, B().GetCheck(s.Control(104)));
        EXPECT_EQ("7", B().GetText(s.Control(105)));
        EXPECT_EQ("x", B().GetText(s.Control(101)));
        EXPECT_GT(s.paints, 0);  // paint events reach the dialog
        B().EndModal(s.dialog, 42);
        B().EndModal(s.dialog, 43);  // the first result wins
      },
  };
  Ticker ticker(steps);
  EXPECT_EQ(42, B().RunModal(kLive, nullptr, s));
  EXPECT_TRUE(ticker.done());
  EXPECT_TRUE(s.destroyed);
  EXPECT_EQ(std::vector<int>({kIdOk, 102, kIdCancel, kIdCancel, 103, 104, 102}), s.commands);
}

TEST_F(FltkLive, BusyWorkLeavesTheWindowPaintingAndDeaf) {
  Session s;
  int paintsBefore = 0;
  Ticker ticker({[&] {
    B().Focus(s.Control(101));
    paintsBefore = s.paints;
    // Ticks keep coming while the work runs: a key, the close box, a repaint.
    Ticker during({[] { Key('x', "x"); }, [] { Fl::handle(FL_CLOSE, Fl::first_window()); },
                   [] { Fl::first_window()->redraw(); }});
    s.closeIsCommand = false;  // as a dialog whose command runs: the close is put off
    B().RunBusy([] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); });
    EXPECT_EQ("", B().GetText(s.Control(101)));
    EXPECT_TRUE(s.commands.empty());
    EXPECT_EQ(1, s.closes) << "the close during the work is lost";
    EXPECT_GT(s.paints, paintsBefore);
    Key('y', "y");  // and input again afterwards
    EXPECT_EQ("y", B().GetText(s.Control(101)));
    B().EndModal(s.dialog, 1);
  }});
  EXPECT_EQ(1, B().RunModal(kLive, nullptr, s));
}

// Shows a box without an owner and answers it with `actions`, one per tick.
int Answer(unsigned style, std::vector<std::function<void()>> actions) {
  Ticker ticker(std::move(actions));
  int answer = B().ShowMessageBox(nullptr, "Question?", "Live", style);
  EXPECT_TRUE(ticker.done());
  return answer;
}

TEST_F(FltkLive, MessageBoxesAnswerWithTheSystemIds) {
  const unsigned kYesNo = 0x04;
  // Escape and the close box do nothing where there is no Cancel; Enter takes the first button.
  EXPECT_EQ(kIdYes, Answer(kYesNo, {[] { Key(FL_Escape); }, [] { CloseBox(); },
                                    [] {
                                      ASSERT_NE(nullptr, Fl::modal());
                                      Key(FL_Enter);
                                    }}));
  EXPECT_EQ(kIdNo, Answer(kYesNo, {[] { Key(FL_Tab); }, [] { Key(FL_Enter); }}));
  EXPECT_EQ(kIdNo, Answer(kYesNo, {[] { Key('n', "n"); }}));  // the underlined letter
  EXPECT_EQ(kIdOk, Answer(0x10, {[] { Key(FL_Escape); }}));   // a lone OK
  EXPECT_EQ(kIdOk, Answer(0x30, {[] { CloseBox(); }}));
}

TEST_F(FltkLive, OwnedBoxesNestedDialogsFontsAndIcons) {
  Session outer;
  Session inner;
  int boxAnswer = 0;
  int innerResult = 0;
  const std::uint8_t pixels[2 * 2 * 4] = {255, 0, 0,   255, 0, 255, 0, 255,
                                          0,   0, 255, 255, 0, 0,   0, 0};
  const ui::IconImage image{2, 2, pixels};
  std::vector<std::function<void()>> steps = {
      [&] {
        B().Focus(outer.Control(101));
        // A box owned by the dialog; the focus comes back to the box that had it.
        Ticker answer({[] { Key(FL_Enter); }});
        boxAnswer = B().ShowMessageBox(outer.dialog, "Owned", "Live", 0x30);
        Key('q', "q");
        EXPECT_EQ("q", B().GetText(outer.Control(101)));
      },
      [&] {
        inner.onInit = [&] { B().EndModal(inner.dialog, 5); };  // ends before it is shown
        innerResult = B().RunModal(kLive, outer.dialog, inner);
      },
      [&] {
        ui::LogFont dialogFont;
        ASSERT_TRUE(B().DescribeFont(B().WindowFont(outer.dialog), &dialogFont));
        EXPECT_EQ(-13, dialogFont.lfHeight);
        EXPECT_STREQ("MS Sans Serif", dialogFont.lfFaceName);
        dialogFont.lfHeight = 28;
        ui::FontHandle big = B().MakeFont(dialogFont);
        ASSERT_NE(nullptr, big);
        B().SetWindowFont(outer.Control(102), big, true);
        EXPECT_EQ(big, B().WindowFont(outer.Control(102)));
        EXPECT_EQ(B().WindowFont(outer.dialog), B().WindowFont(outer.Control(101)));
        ui::LogFont back;
        ASSERT_TRUE(B().DescribeFont(big, &back));
        EXPECT_EQ(28, back.lfHeight);

        ui::IconHandle icon = B().LoadIconResource(900, &image);
        ASSERT_NE(nullptr, icon);
        EXPECT_EQ(icon, B().LoadIconResource(900, nullptr));  // shared by id
        EXPECT_EQ(nullptr, B().SetWindowIcon(outer.dialog, icon, true));
        EXPECT_EQ(icon, B().SetWindowIcon(outer.dialog, icon, true));
        EXPECT_EQ(32, B().SystemMetric(11));
        ui::PaintHandle dc = B().StartPaint(outer.dialog);
        ASSERT_NE(nullptr, dc);
        B().EraseIconBackground(outer.dialog, dc);
        B().PaintIcon(dc, 1, 1, icon);
        B().FinishPaint(outer.dialog, dc);
        EXPECT_FALSE(B().IsMinimized(outer.dialog));
        ui::Rect client = B().ClientRect(outer.dialog);
        ui::Rect edit = B().ClientRect(outer.Control(101));
        // 130 and 60 dialog units wide.
        EXPECT_NEAR(client.Width() * 60.0 / 130.0, edit.Width(), 2.0);
        B().BeginWaitCursor();
        B().BeginWaitCursor();
        B().EndWaitCursor();
        B().EndWaitCursor();
        B().EndWaitCursor();  // one too many: ignored
        B().EndModal(outer.dialog, 7);
        B().ReleaseFont(big);
      },
  };
  Ticker ticker(steps);
  EXPECT_EQ(7, B().RunModal(kLive, nullptr, outer));
  EXPECT_EQ(kIdOk, boxAnswer);
  EXPECT_EQ(5, innerResult);
  EXPECT_TRUE(inner.destroyed);
  // Handles of a destroyed dialog are refused, not followed.
  EXPECT_EQ(nullptr, B().FindControl(outer.dialog, 101));
  EXPECT_EQ("", B().GetText(outer.dialog));
}

}  // namespace
