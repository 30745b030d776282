// The framework on its own: data exchange, message routing, modal runs and fonts, through the
// headless backend with a small form of its own.
#include "ui/Dialog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ui/WinApp.h"
#include "ui/backends/headless.h"

namespace {

using ui::ControlClass;
using namespace ui::style;

constexpr std::uint32_t kEditBox = kChild | kVisible | kBorder | kTabStop | kEsAutoHScroll;
constexpr std::uint32_t kPush = kChild | kVisible | kTabStop | kBsPushButton;

const ui::ControlTemplate kFormControls[] = {
    {101, ControlClass::kEdit, "", kEditBox, 0, 10, 10, 60, 12},
    {102, ControlClass::kEdit, "", kEditBox, 0, 10, 26, 60, 12},
    {103, ControlClass::kEdit, "", kEditBox, 0, 10, 42, 60, 12},
    {104, ControlClass::kButton, "Go", kPush, 0, 80, 10, 40, 14},
    {105, ControlClass::kButton, "Tick", kChild | kVisible | kTabStop | kBsAutoCheckBox, 0, 80, 30,
     40, 10},
    {106, ControlClass::kButton, "Unmapped", kPush, 0, 80, 44, 40, 14},
    {1, ControlClass::kButton, "OK", kChild | kVisible | kTabStop | kBsDefPushButton, 0, 10, 60, 40,
     14},
    {2, ControlClass::kButton, "Cancel", kPush, 0, 60, 60, 40, 14},
};
const ui::DialogTemplate kForm = {"Form", kPopup | kCaption | kSysMenu | kDsSetFont | kDsModalFrame,
                                  0,      0,
                                  0,      130,
                                  80,     "MS Sans Serif",
                                  8,      0,
                                  false,  kFormControls,
                                  8};

const ui::DialogResource kDialogs[] = {{500, &kForm}};
const ui::ResourceModule kResources = {kDialogs, 1, nullptr, 0};

class CFormDlg : public CDialog {
 public:
  CFormDlg() : CDialog(500) {}

  CString m_name = "start";
  int m_count = 7;
  CString m_note = "note";
  BOOL m_tick = FALSE;
  int m_goClicks = 0;
  std::function<void()> onGo;

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, 101, m_name);
    DDX_Text(pDX, 102, m_count);
    DDX_Text(pDX, 103, m_note);
    DDX_Check(pDX, 105, m_tick);
  }
  afx_msg void OnGo() {
    ++m_goClicks;
    if (onGo) onGo();
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CFormDlg, CDialog)
ON_BN_CLICKED(104, &CFormDlg::OnGo)
END_MESSAGE_MAP()

class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ui_.Reset()); }
  void TearDown() override {
    EXPECT_EQ(ui_.openDialogs(), 0);
    EXPECT_EQ(ui_.staleHandleUses(), 0);
    EXPECT_EQ(ui_.fontsReleasedWhileInUse(), 0);
    EXPECT_EQ(ui_.pendingAnswers(), 0u);
  }

  CWinApp app_{"FrameworkTest", &kResources};
  ui::HeadlessBackend& ui_ = ui::Headless();
};

TEST(AfxParseIntTest, TakesWholeDecimalNumbersInIntRangeOnly) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  } cases[] = {
      {"80", true, 80},
      {" \t8080 ", true, 8080},
      {"+5", true, 5},
      {"-12", true, -12},
      {"007", true, 7},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"", false, 0},
      {"  ", false, 0},
      {"80a", false, 0},
      {"8 0", false, 0},
      {"0x50", false, 0},
      {"1e3", false, 0},
      {"-", false, 0},
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
      {"99999999999999999999999", false, 0},
      {"８0", false, 0},
  };
  for (const Case& c : cases) {
    int value = 12345;
    EXPECT_EQ(AfxParseInt(c.text, &value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.ok ? c.value : 12345) << '"' << c.text << '"';
  }
}

TEST_F(FrameworkTest, InitialisationShowsFieldsAndGivesDefaultFocus) {
  CFormDlg dlg;
  ui_.PushModalScript([&](ui::HeadlessDialog& d) {
    EXPECT_EQ(d.Text(101), "start");
    EXPECT_EQ(d.Text(102), "7");
    EXPECT_EQ(d.Text(103), "note");
    EXPECT_EQ(d.Check(105), 0);
    EXPECT_EQ(d.FocusedId(), 101);  // first tab stop: the form set no focus itself
    EXPECT_EQ(d.Caption(), "Form");
    d.PressEscape();
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(FrameworkTest, FailedIntegerStopsTheExchangeThere) {
  CFormDlg dlg;
  ui_.PushModalScript([&](ui::HeadlessDialog& d) {
    d.Type(101, "new");
    d.Type(102, " 12x");
    d.Type(103, "changed");
    d.Click(105);
    d.Focus(101);
    d.PressEnter();  // the base OnOK reads the fields first
    ASSERT_TRUE(d.IsOpen());
    ASSERT_EQ(ui_.messageBoxes().size(), 1u);
    const ui::MessageBoxRecord& box = ui_.messageBoxes()[0];
    EXPECT_EQ(box.text, "Please enter an integer.");
    EXPECT_EQ(box.caption, "FrameworkTest");
    EXPECT_EQ(box.style, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(box.owner, d.handle());
    EXPECT_EQ(dlg.m_name, "new");  // before the number: taken
    EXPECT_EQ(dlg.m_count, 7);
    EXPECT_EQ(dlg.m_note, "note");  // after it: not reached
    EXPECT_EQ(dlg.m_tick, FALSE);
    EXPECT_EQ(d.FocusedId(), 102);
    EXPECT_EQ(d.SelectionStart(102), 0);
    EXPECT_EQ(d.SelectionEnd(102), 4);

    d.Type(102, "-12");
    d.PressEnter();
    EXPECT_FALSE(d.IsOpen());
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.m_count, -12);
  EXPECT_EQ(dlg.m_note, "changed");
  EXPECT_EQ(dlg.m_tick, TRUE);
  EXPECT_EQ(ui_.messageBoxes().size(), 1u);
}

TEST_F(FrameworkTest, MessageMapRoutesClicksAndEnterPressesTheFocusedButton) {
  CFormDlg dlg;
  ui_.PushModalScript([&](ui::HeadlessDialog& d) {
    EXPECT_TRUE(d.Click(104));
    EXPECT_TRUE(d.Click(106));  // nothing mapped: nothing happens
    EXPECT_FALSE(d.Click(999));
    EXPECT_FALSE(d.Type(104, "text"));  // not an edit box
    EXPECT_TRUE(d.PressEnter());        // the focus is on the last clicked button
    EXPECT_EQ(dlg.m_goClicks, 1);
    EXPECT_TRUE(d.IsOpen());
    d.Focus(104);
    d.PressEnter();
    EXPECT_EQ(dlg.m_goClicks, 2);
    d.CloseBox();
    EXPECT_FALSE(d.Click(104));  // the dialog has ended
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.m_goClicks, 2);
}

// What arrives while a command's handler runs (its work, its message): another program's
// clicks and keys, the window manager's close. Nothing starts; the close comes afterwards.
TEST_F(FrameworkTest, OneCommandAtATimeAndACloseWaitsForIt) {
  CFormDlg dlg;
  ui::HeadlessDialog* view = nullptr;
  bool openAfterMessage = false;
  dlg.onGo = [&] {
    EXPECT_TRUE(AfxRunBusy([&] {}));
    EXPECT_TRUE(view->Click(104));
    EXPECT_TRUE(view->CloseBox());
    EXPECT_TRUE(view->PressEscape());
    EXPECT_TRUE(view->CloseBox());
    AfxMessageBox("done");
    openAfterMessage = view->IsOpen();
  };
  ui_.PushModalScript([&](ui::HeadlessDialog& d) {
    view = &d;
    d.Click(104);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.m_goClicks, 1);
  EXPECT_TRUE(openAfterMessage);
  ASSERT_EQ(ui_.messageBoxes().size(), 1u);
}

TEST_F(FrameworkTest, BusyWorkRunsWithoutAThreadAndNeverThrowsOn) {
  const std::thread::id self = std::this_thread::get_id();
  std::thread::id ran = self;
  EXPECT_TRUE(AfxRunBusy([&] { ran = std::this_thread::get_id(); }));
  EXPECT_NE(ran, self);
  EXPECT_FALSE(AfxRunBusy([] { throw std::bad_alloc(); }));
  ui_.FailThreadStarts(true);
  EXPECT_TRUE(AfxRunBusy([&] { ran = std::this_thread::get_id(); }));
  EXPECT_EQ(ran, self);
  EXPECT_FALSE(AfxRunBusy([] { throw std::runtime_error("broken"); }));
  EXPECT_EQ(ui_.waitCursorBegins(), 4);
  EXPECT_EQ(ui_.waitCursorDepth(), 0);
}

TEST_F(FrameworkTest, ModalRunsNeedATemplateAndAScript) {
  CDialog missing(999);
  EXPECT_EQ(missing.DoModal(), -1);
  EXPECT_EQ(ui_.abandonedDialogs(), 0);

  CFormDlg dlg;
  EXPECT_EQ(dlg.DoModal(), -1);  // no script: the dialog cannot stay
  EXPECT_EQ(ui_.abandonedDialogs(), 1);
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  EXPECT_EQ(dlg.GetDlgItem(101), nullptr);
  EXPECT_FALSE(dlg.UpdateData(TRUE));
}

TEST_F(FrameworkTest, NestedDialogIsOwnedByTheOuterAndBlocksIt) {
  CFormDlg outer;
  CFormDlg inner;
  outer.onGo = [&] { EXPECT_EQ(inner.DoModal(), IDCANCEL); };
  ui::WindowHandle outerHandle = nullptr;
  ui::HeadlessDialog* outerView = nullptr;
  ui_.PushModalScript([&](ui::HeadlessDialog& d) {
    outerHandle = d.handle();
    outerView = &d;
    d.Click(104);
    EXPECT_TRUE(d.IsOpen());
    d.PressEscape();
  });
  ui_.PushModalScript([&](ui::HeadlessDialog& d) {
    EXPECT_EQ(AfxGetModalDialog(), &inner);
    AfxMessageBox("inner");
    EXPECT_EQ(ui_.messageBoxes().back().owner, d.handle());
    EXPECT_NE(d.handle(), outerHandle);
    EXPECT_FALSE(outerView->Click(104));  // the owner takes no input meanwhile
    EXPECT_FALSE(outerView->PressEscape());
    d.PressEscape();
  });
  EXPECT_EQ(outer.DoModal(), IDCANCEL);
  EXPECT_EQ(outer.m_goClicks, 1);
  EXPECT_EQ(AfxGetModalDialog(), nullptr);
}

TEST_F(FrameworkTest, FontsAreReleasedByTheirMakerOnly) {
  int before = ui_.liveFonts();
  {
    CFont font;
    LOGFONT lf;
    lf.lfHeight = 20;
    ASSERT_TRUE(font.CreateFontIndirect(&lf));
    EXPECT_FALSE(font.CreateFontIndirect(&lf));  // holds one already
    EXPECT_EQ(ui_.liveFonts(), before + 1);
    LOGFONT back;
    ASSERT_TRUE(font.GetLogFont(&back));
    EXPECT_EQ(back.lfHeight, 20);

    CFormDlg dlg;
    ui_.PushModalScript([&](ui::HeadlessDialog& d) {
      CFont* shown = dlg.GetDlgItem(101)->GetFont();
      ASSERT_NE(shown, nullptr);
      EXPECT_EQ(shown->GetSafeHandle(), d.FontOf(0));
      dlg.GetDlgItem(103)->SetFont(&font);
      EXPECT_EQ(d.FontOf(103), font.GetSafeHandle());
      d.PressEscape();
    });
    dlg.DoModal();
  }
  EXPECT_EQ(ui_.liveFonts(), before);
}

}  // namespace

TEST(PostTest, TasksFromWorkersRunOnTheWindowsThreadInTheirOrder) {
  std::vector<int> ran;
  std::thread::id windows = std::this_thread::get_id();
  bool elsewhere = false;
  std::thread a([&] {
    for (int i = 0; i < 500; ++i) {
      ui::GetBackend().Post([&, i] {
        ran.push_back(i);
        elsewhere |= std::this_thread::get_id() != windows;
      });
    }
  });
  // Drained while the worker still posts: nothing lost between two drains.
  int total = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (total < 500 && std::chrono::steady_clock::now() < end) {
    total += ui::GetBackend().RunPosted();
    std::this_thread::yield();
  }
  a.join();
  total += ui::GetBackend().RunPosted();
  EXPECT_EQ(total, 500);
  ASSERT_EQ(ran.size(), 500u);
  for (int i = 0; i < 500; ++i) ASSERT_EQ(ran[i], i);
  EXPECT_FALSE(elsewhere);
  EXPECT_EQ(ui::GetBackend().RunPosted(), 0);
}
