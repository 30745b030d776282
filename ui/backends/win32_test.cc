// The Win32 backend against the real window manager (Wine under CI, with an X server): the
// in-memory template, the dialog procedure's dispatch, focus, fonts, icons and the wait cursor.
// Input arrives as posted messages, which the dialog manager's modal loop handles as it would
// handle typing. Without a display every case is skipped, unless TILTWISE_REQUIRE_DISPLAY is set.
#include "ui/backends/win32.h"

// clang-format off
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace ui::win;

using ui::ControlClass;
using namespace ui::style;

constexpr std::uint32_t kEdit = kChild | kVisible | kBorder | kTabStop | kEsAutoHScroll;
constexpr std::uint32_t kPush = kChild | kVisible | kTabStop | kBsPushButton;

const ui::ControlTemplate kControls[] = {
    {301, ControlClass::kButton, "Go", kPush, 0, 120, 10, 50, 14},
    {302, ControlClass::kEdit, "first", kEdit, 0, 10, 10, 100, 14},
    {303, ControlClass::kEdit, "", kEdit | kEsPassword, 0, 10, 30, 100, 14},
    {304, ControlClass::kButton, "Tick", kChild | kVisible | kTabStop | kBsAutoCheckBox, 0, 10, 50,
     40, 10},
    {-1, ControlClass::kStatic, "Label:", kChild | kVisible | kSsRight | kGroup, 0, 60, 50, 40, 8},
    {-1, ControlClass::kButton, "Frame", kChild | kVisible | kBsGroupBox, 0, 4, 4, 172, 60},
    {kIdCancel, ControlClass::kButton, "Close", kPush, 0, 120, 70, 50, 14},
};
const ui::DialogTemplate kDialog = {
    "Backend test",
    kDsSetFont | kDsModalFrame | kMinimizeBox | kPopup | kVisible | kCaption | kSysMenu,
    kExAppWindow,
    0,
    0,
    180,
    90,
    "MS Sans Serif",
    10,
    0,
    false,
    kControls,
    static_cast<int>(sizeof kControls / sizeof kControls[0]),
};

HWND Native(ui::WindowHandle w) {
  return reinterpret_cast<HWND>(w);  // the backend's handles are the HWNDs
}

// A dialog's events as functions; each run records what the backend delivered.
class Events : public ui::DialogEvents {
 public:
  std::function<bool(ui::WindowHandle)> init = [](ui::WindowHandle) { return true; };
  std::function<void(int)> command;
  std::vector<int> commands;
  int paints = 0;
  int destroys = 0;
  ui::WindowHandle dialog = nullptr;
  bool handlesValidAtDestroy = false;

  bool HandleInitDialog(ui::WindowHandle d) override {
    dialog = d;
    return init(d);
  }
  bool HandleCommand(int id) override {
    commands.push_back(id);
    if (command) command(id);
    return true;
  }
  void HandlePaint() override {
    ++paints;
    PAINTSTRUCT ps;
    BeginPaint(Native(dialog), &ps);
    EndPaint(Native(dialog), &ps);
  }
  ui::IconHandle HandleQueryDragIcon() override { return nullptr; }
  void HandleDestroy() override {
    ++destroys;
    handlesValidAtDestroy =
        IsWindow(Native(dialog)) && ui::GetBackend().FindControl(dialog, 302) != nullptr;
  }
};

void PostKey(HWND to, WPARAM key) {
  PostMessageA(to, WM_KEYDOWN, key, 1);
  PostMessageA(to, WM_KEYUP, key, 0xC0000001);
}

class Win32BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HWND probe =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (!probe) {
      if (std::getenv("TILTWISE_REQUIRE_DISPLAY")) FAIL() << "no window can be made (no display)";
      GTEST_SKIP() << "no window can be made: no display (set DISPLAY, e.g. under Xvfb)";
    }
    DestroyWindow(probe);
    EXPECT_TRUE(ui_.Connect());
  }

  ui::Backend& ui_ = ui::GetBackend();
};

TEST_F(Win32BackendTest, TemplateMakesEveryControlWhereTheDialogUnitsSay) {
  Events e;
  e.init = [&](ui::WindowHandle d) {
    HWND hwnd = Native(d);
    EXPECT_EQ(ui_.GetText(d), "Backend test");
    EXPECT_EQ(static_cast<std::uint32_t>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE)) & kExAppWindow,
              kExAppWindow);
    EXPECT_EQ(static_cast<std::uint32_t>(GetWindowLongPtrA(hwnd, GWL_STYLE)) &
                  (kCaption | kSysMenu | kMinimizeBox | kThickFrame),
              kCaption | kSysMenu | kMinimizeBox);
    HWND child = GetWindow(hwnd, GW_CHILD);
    for (const ui::ControlTemplate& t : kControls) {
      SCOPED_TRACE(t.text);
      if (!child) {
        ADD_FAILURE() << "control missing";
        break;
      }
      EXPECT_EQ(GetDlgCtrlID(child), t.id);
      char cls[32] = {};
      GetClassNameA(child, cls, sizeof cls);
      const char* expected = t.cls == ControlClass::kButton ? "Button"
                             : t.cls == ControlClass::kEdit ? "Edit"
                                                            : "Static";
      EXPECT_EQ(lstrcmpiA(cls, expected), 0) << cls;
      std::uint32_t style = static_cast<std::uint32_t>(GetWindowLongPtrA(child, GWL_STYLE));
      EXPECT_EQ(style & (kTabStop | kGroup | 0xFFFF), t.style & (kTabStop | kGroup | 0xFFFF));
      EXPECT_EQ(ui_.GetText(reinterpret_cast<ui::WindowHandle>(child)), t.text);
      // Position and size are converted each on its own, as the dialog manager does.
      RECT want = {t.x, t.y, t.cx, t.cy};
      MapDialogRect(hwnd, &want);
      want.right += want.left;
      want.bottom += want.top;
      RECT got = {};
      GetWindowRect(child, &got);
      MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&got), 2);
      EXPECT_EQ(got.left, want.left);
      EXPECT_EQ(got.top, want.top);
      EXPECT_EQ(got.right, want.right);
      EXPECT_EQ(got.bottom, want.bottom);
      child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "a control the template does not have";

    // The template's font, 10 points at the screen's resolution, shared by every control.
    ui::LogFont f;
    EXPECT_TRUE(ui_.DescribeFont(ui_.WindowFont(d), &f));
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(f.lfHeight, ui::PointSizeToLogicalHeight(10, dpi));
    EXPECT_STREQ(f.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(ui_.WindowFont(ui_.FindControl(d, 301)), ui_.WindowFont(d));
    ui_.EndModal(d, 7);
    return true;
  };
  EXPECT_EQ(ui_.RunModal(kDialog, nullptr, e), 7);
  EXPECT_EQ(e.destroys, 1);
  EXPECT_TRUE(e.handlesValidAtDestroy);
  EXPECT_FALSE(IsWindow(Native(e.dialog)));
  EXPECT_EQ(ui_.GetText(e.dialog), "") << "a destroyed window reads as empty";
}

TEST_F(Win32BackendTest, DefaultFocusOnlyWhenTheHandlerPlacedNone) {
  struct Case {
    bool focusSecondEdit;
    bool askDefault;
    int expectedFocus;
  } cases[] = {
      {true, true, 303},   // the handler's own focus stays, although it asked for the default
      {false, true, 301},  // the first tab stop
      {true, false, 303},
  };
  for (const Case& c : cases) {
    Events e;
    int focused = -100;
    e.init = [&](ui::WindowHandle d) {
      if (c.focusSecondEdit) ui_.Focus(ui_.FindControl(d, 303));
      PostMessageA(Native(d), WM_CLOSE, 0, 0);  // runs after the dialog manager placed focus
      return c.askDefault;
    };
    e.command = [&](int id) {
      HWND f = GetFocus();
      focused = f ? GetDlgCtrlID(f) : 0;
      ui_.EndModal(e.dialog, id);
    };
    EXPECT_EQ(ui_.RunModal(kDialog, nullptr, e), kIdCancel) << "the close box is IDCANCEL";
    EXPECT_EQ(focused, c.expectedFocus) << c.focusSecondEdit << c.askDefault;
  }
}

TEST_F(Win32BackendTest, KeysAndClicksBecomeCommandsOnce) {
  Events e;
  e.init = [&](ui::WindowHandle d) {
    HWND edit = Native(ui_.FindControl(d, 302));
    ui_.Focus(ui_.FindControl(d, 302));
    PostKey(edit, VK_RETURN);  // no default push button: IDOK
    PostMessageA(Native(ui_.FindControl(d, 304)), BM_CLICK, 0, 0);
    PostMessageA(Native(ui_.FindControl(d, 301)), BM_CLICK, 0, 0);
    PostKey(Native(ui_.FindControl(d, 301)), VK_RETURN);  // the focused push button's own id
    PostKey(edit, VK_ESCAPE);
    return false;
  };
  int tickAtCommand = -1;
  e.command = [&](int id) {
    if (id == 304) tickAtCommand = ui_.GetCheck(ui_.FindControl(e.dialog, 304));
    if (id == kIdCancel) {
      ui_.EndModal(e.dialog, 5);
      ui_.EndModal(e.dialog, 6);  // the first result wins
    }
  };
  EXPECT_EQ(ui_.RunModal(kDialog, nullptr, e), 5);
  EXPECT_EQ(e.commands, (std::vector<int>{kIdOk, 304, 301, 301, kIdCancel}));
  EXPECT_EQ(tickAtCommand, 1) << "an automatic check box ticks before its command";
  EXPECT_EQ(e.destroys, 1);
}

TEST_F(Win32BackendTest, TextsChecksSelectionAndPasswordBox) {
  Events e;
  e.init = [&](ui::WindowHandle d) {
    ui::WindowHandle edit = ui_.FindControl(d, 302);
    ui::WindowHandle password = ui_.FindControl(d, 303);
    ui::WindowHandle tick = ui_.FindControl(d, 304);
    EXPECT_EQ(ui_.FindControl(d, 999), nullptr);
    ui_.SetText(password, "se\"cret");
    EXPECT_EQ(ui_.GetText(password), "se\"cret") << "the program reads its password box";
    ui_.SetText(edit, "127.0.0.1");
    ui_.SelectText(edit, 4, -1);
    DWORD start = 0, end = 0;
    SendMessageA(Native(edit), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 4u);
    EXPECT_EQ(end, 9u);
    ui_.SetCheck(tick, 1);
    EXPECT_EQ(ui_.GetCheck(tick), 1);
    ui_.SetCheck(ui_.FindControl(d, 301), 1);
    EXPECT_EQ(ui_.GetCheck(ui_.FindControl(d, 301)), 0) << "a push button has no tick";
    EXPECT_EQ(ui_.GetText(nullptr), "");
    EXPECT_EQ(ui_.ClientRect(nullptr).Width(), 0);
    RECT size = {0, 0, 180, 90};
    MapDialogRect(Native(d), &size);
    EXPECT_EQ(ui_.ClientRect(d).Width(), size.right);
    EXPECT_EQ(ui_.ClientRect(d).Height(), size.bottom);
    ui_.EndModal(d, kIdOk);
    return true;
  };
  EXPECT_EQ(ui_.RunModal(kDialog, nullptr, e), kIdOk);
}

TEST_F(Win32BackendTest, FontsIconsAndNestedDialogs) {
  static const std::uint8_t kPixels[2 * 2 * 4] = {255, 0, 0,   255, 0, 255, 0, 255,
                                                  0,   0, 255, 255, 0, 0,   0, 0};
  static const ui::IconImage kImage = {2, 2, kPixels};
  Events outer;
  Events inner;
  int innerResult = 0;
  bool ownerEnabledMeanwhile = true;
  outer.init = [&](ui::WindowHandle d) {
    // The Set button's enlargement: the dialog's font, its height made a positive cell height.
    ui::LogFont f;
    EXPECT_TRUE(ui_.DescribeFont(ui_.WindowFont(d), &f));
    f.lfHeight = (f.lfHeight < 0 ? -f.lfHeight : f.lfHeight) + 15;
    ui::FontHandle big = ui_.MakeFont(f);
    EXPECT_NE(big, nullptr);
    ui::WindowHandle go = ui_.FindControl(d, 301);
    ui_.SetWindowFont(go, big, true);
    EXPECT_EQ(ui_.WindowFont(go), big);
    ui::LogFont back;
    EXPECT_TRUE(ui_.DescribeFont(ui_.WindowFont(go), &back));
    EXPECT_EQ(back.lfHeight, f.lfHeight);
    EXPECT_STREQ(back.lfFaceName, f.lfFaceName);
    EXPECT_NE(ui_.WindowFont(ui_.FindControl(d, 302)), big);
    ui_.SetWindowFont(go, ui_.WindowFont(d), false);
    ui_.ReleaseFont(big);
    EXPECT_FALSE(ui_.DescribeFont(big, &back)) << "released";

    // No icon resource in this program: none is made up.
    EXPECT_EQ(ui_.LoadIconResource(4711, &kImage), nullptr);
    auto icon = reinterpret_cast<ui::IconHandle>(LoadIconA(nullptr, IDI_APPLICATION));
    EXPECT_EQ(ui_.SetWindowIcon(d, icon, true), nullptr);
    EXPECT_EQ(ui_.SetWindowIcon(d, icon, true), icon);
    EXPECT_EQ(ui_.SystemMetric(11), GetSystemMetrics(SM_CXICON));

    inner.init = [&](ui::WindowHandle innerDialog) {
      ownerEnabledMeanwhile = IsWindowEnabled(Native(d)) != FALSE;
      EXPECT_EQ(GetWindow(Native(innerDialog), GW_OWNER), Native(d));
      ui_.EndModal(innerDialog, 9);
      return true;
    };
    innerResult = ui_.RunModal(kDialog, d, inner);
    EXPECT_TRUE(IsWindowEnabled(Native(d))) << "the owner takes input again";
    ui_.EndModal(d, kIdOk);
    return true;
  };
  EXPECT_EQ(ui_.RunModal(kDialog, nullptr, outer), kIdOk);
  EXPECT_EQ(innerResult, 9);
  EXPECT_FALSE(ownerEnabledMeanwhile);
  EXPECT_EQ(ui_.RunModal(kDialog, outer.dialog, inner), -1) << "an owner that has gone";
}

TEST_F(Win32BackendTest, WaitCursorNestsAndRestores) {
  HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
  HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
  SetCursor(arrow);
  ui_.BeginWaitCursor();
  EXPECT_EQ(GetCursor(), wait);
  ui_.BeginWaitCursor();
  ui_.EndWaitCursor();
  EXPECT_EQ(GetCursor(), wait) << "still inside the outer pair";
  ui_.EndWaitCursor();
  EXPECT_EQ(GetCursor(), arrow);
  ui_.EndWaitCursor();  // unbalanced: ignored
  EXPECT_EQ(GetCursor(), arrow);
}

TEST(Win32TemplateTest, ExtendedTemplateLayout) {
  std::vector<std::uint16_t> w = ui::win32::BuildDialogTemplate(kDialog);
  ASSERT_GT(w.size(), 20u);
  EXPECT_EQ(w[0], 1);
  EXPECT_EQ(w[1], 0xFFFF);
  EXPECT_EQ(w[8], sizeof kControls / sizeof kControls[0]);
  // Each control starts on a 32-bit boundary; the last word of each is its empty extra data.
  size_t controls = 0;
  for (size_t i = 0; i + 1 < w.size(); ++i) {
    if (w[i] == 0xFFFF && i >= 12 && (w[i + 1] == 0x80 || w[i + 1] == 0x81 || w[i + 1] == 0x82)) {
      size_t start = i - 12;  // helpID, exStyle, style (2 words each), x y cx cy, id (2 words)
      EXPECT_EQ(start % 2, 0u) << "control " << controls;
      ++controls;
    }
  }
  EXPECT_EQ(controls, sizeof kControls / sizeof kControls[0]);
  EXPECT_EQ(w.back(), 0) << "no creation data";
}

}  // namespace
