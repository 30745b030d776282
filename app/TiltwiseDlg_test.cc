// The main dialog without a camera: its template, start-up, fonts, icon and closing. Nothing
// here presses Query or Set, so nothing is sent anywhere.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "app/TiltwiseTestFixture.h"
#include "res/TiltwiseResources.h"
#include "res/version.h"

namespace {

using namespace ui::style;
using ui::ControlKind;

TEST(TiltwiseResourcesTest, DialogTemplateHasTheLayout) {
  const ui::DialogTemplate& t = kTiltwiseDialog;
  EXPECT_STREQ(t.caption, "Tiltwise");
  EXPECT_EQ(t.cx, 424);
  EXPECT_EQ(t.cy, 189);
  EXPECT_STREQ(t.fontName, "MS Sans Serif");
  EXPECT_EQ(t.fontPointSize, 10);
  EXPECT_EQ(t.style,
            kPopup | kVisible | kCaption | kSysMenu | kMinimizeBox | kDsModalFrame | kDsSetFont);
  EXPECT_EQ(t.exStyle, kExAppWindow);

  constexpr std::uint32_t kTab = kTabStop, kEditStyle = kBorder | kTabStop | kEsAutoHScroll;
  struct Expected {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;
    std::uint32_t flags;  // all style bits besides child and visible
  } expected[] = {
      {1010, ControlKind::kPushButton, "Set", 326, 129, 83, 18, kTab},
      {1000, ControlKind::kEdit, "", 158, 19, 143, 14, kEditStyle},
      {1001, ControlKind::kEdit, "", 158, 37, 143, 14, kEditStyle},
      {1002, ControlKind::kEdit, "", 158, 56, 143, 14, kEditStyle | kEsPassword},
      {1006, ControlKind::kPushButton, "Query", 359, 19, 50, 14, kTab},
      {2, ControlKind::kPushButton, "Close", 367, 168, 50, 14, kTab},
      {-1, ControlKind::kLabel, "Camera IP:", 113, 21, 37, 8, kSsRight | kGroup},
      {-1, ControlKind::kLabel, "User name:", 112, 40, 38, 8, kSsRight | kGroup},
      {-1, ControlKind::kLabel, "Password:", 116, 59, 34, 8, kSsRight | kGroup},
      {-1, ControlKind::kGroupBox, "Camera Info", 7, 7, 410, 97, kBsGroupBox},
      {-1, ControlKind::kGroupBox, "Camera PTZ Control", 7, 116, 410, 42, kBsGroupBox},
      {1017, ControlKind::kAutoCheckBox, "Flip", 118, 135, 27, 10, kTab | kBsAutoCheckBox},
      {1018, ControlKind::kAutoCheckBox, "Mirror", 174, 135, 34, 10, kTab | kBsAutoCheckBox},
      {-1, ControlKind::kLabel, "HTTP Port:", 86, 77, 64, 8, kSsRight | kGroup},
      {1003, ControlKind::kEdit, "", 158, 74, 143, 14, kEditStyle},
  };
  ASSERT_EQ(t.controlCount, 15);
  for (int i = 0; i < 15; ++i) {
    const ui::ControlTemplate& c = t.controls[i];
    const Expected& e = expected[i];
    SCOPED_TRACE(testing::Message() << "control #" << i + 1 << " \"" << e.text << '"');
    EXPECT_EQ(c.id, e.id);
    EXPECT_EQ(ui::KindOf(c), e.kind);
    EXPECT_STREQ(c.text, e.text);
    EXPECT_EQ(c.x, e.x);
    EXPECT_EQ(c.y, e.y);
    EXPECT_EQ(c.cx, e.cx);
    EXPECT_EQ(c.cy, e.cy);
    EXPECT_EQ(c.style, kChild | kVisible | e.flags);  // nothing more: no stray tab stops
    EXPECT_EQ(c.exStyle, 0u);
  }
}

TEST(TiltwiseResourcesTest, ResourcesAreFoundByIdAndVersionAgreesWithTheBuild) {
  const ui::ResourceModule* previous = ui::SetResourceModule(&TiltwiseResources());
  EXPECT_EQ(ui::FindDialogResource(IDD_TILTWISE_DIALOG), &kTiltwiseDialog);
  const ui::IconImage* icon = ui::FindIconResource(IDR_MAINFRAME);
  ASSERT_EQ(icon, &kTiltwiseIcon);
  ui::SetResourceModule(previous);
  ASSERT_EQ(icon->width, 32);
  ASSERT_EQ(icon->height, 32);
  int opaque = 0, clear = 0;
  for (int i = 0; i < 32 * 32; ++i) {
    opaque += icon->rgba[i * 4 + 3] == 255;
    clear += icon->rgba[i * 4 + 3] == 0;
  }
  EXPECT_GT(opaque, 200);  // a picture, on a transparent ground
  EXPECT_GT(clear, 200);
  EXPECT_STREQ(TILTWISE_VERSION_STR, TILTWISE_PROJECT_VERSION);
  EXPECT_STREQ(TILTWISE_PRODUCT_NAME, "Tiltwise");
}

TEST_F(TiltwiseDialogTest, StartUpShowsTheDefaults) {
  int fontsBefore = ui_.liveFonts();
  ui_.PushModalScript([&](ui::HeadlessDialog& d) {
    auto* dlg = dynamic_cast<CTiltwiseDlg*>(app_.m_pMainWnd);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->m_hWnd, d.handle());
    EXPECT_EQ(d.Caption(), "Tiltwise");
    EXPECT_EQ(d.Text(IDC_EDIT_USERNAME), "admin");
    EXPECT_EQ(d.Text(IDC_EDIT_PASSWORD), "quillpen");
    EXPECT_EQ(d.Shown(IDC_EDIT_PASSWORD), "********");
    EXPECT_EQ(d.Text(IDC_EDIT_HTTPPORT), "80");
    EXPECT_EQ(d.Check(IDC_CHECK_FLIP), 0);
    EXPECT_EQ(d.Check(IDC_CHECK_MIRROR), 0);
    // A private dotted quad: 10/8, 172.16/12 or 192.168/16.
    unsigned a = 0, b = 0, c = 0, e = 0;
    char rest = 0;
    std::string ip = d.Text(IDC_EDIT_CAMERAIP);
    ASSERT_EQ(std::sscanf(ip.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &e, &rest), 4) << ip;
    EXPECT_TRUE(a == 10 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168)) << ip;
    EXPECT_TRUE(b < 256 && c < 256 && e < 256) << ip;

    EXPECT_EQ(d.FocusedId(), IDC_EDIT_CAMERAIP);
    ui::IconHandle icon = d.Icon(true);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(d.Icon(false), icon);
    EXPECT_EQ(ui_.DescribeIcon(icon).resourceId, IDR_MAINFRAME);
    EXPECT_EQ(ui_.DescribeIcon(icon).width, 32);
    EXPECT_EQ(d.QueryDragIcon(), icon);
    ui_.QueueAnswer(IDYES);
    d.CloseBox();
  });
  EXPECT_EQ(app_.InitInstance(), FALSE);
  EXPECT_EQ(app_.m_pMainWnd, nullptr);
  EXPECT_EQ(app_.ExitInstance(), 0);
  EXPECT_EQ(ui_.liveFonts(), fontsBefore);  // the Set button's font went with the dialog
}

TEST_F(TiltwiseDialogTest, OnlyTheSetButtonGetsTheLargerFont) {
  int fontsBefore = ui_.liveFonts();
  {
    CTiltwiseDlg dlg;
    auto check = [&](ui::HeadlessDialog& d) {
      ui::LogFont dialogFont = d.Font(0);
      ui::LogFont setFont = d.Font(IDC_BUTTON_SET);
      EXPECT_LT(dialogFont.lfHeight, 0);  // a character height, as the template gives it
      EXPECT_EQ(setFont.lfHeight, std::abs(dialogFont.lfHeight) + 15);
      EXPECT_STREQ(setFont.lfFaceName, "MS Sans Serif");
      EXPECT_EQ(setFont.lfWeight, dialogFont.lfWeight);
      for (int i = 0; i < kTiltwiseDialog.controlCount; ++i) {
        int id = kTiltwiseDialog.controls[i].id;
        if (id == IDC_BUTTON_SET || id == -1) continue;
        EXPECT_EQ(d.FontOf(id), d.FontOf(0)) << "control " << id;
      }
      EXPECT_EQ(ui_.liveFonts(), fontsBefore + 1);
    };
    RunDialog(dlg, check);
    EXPECT_EQ(ui_.liveFonts(), fontsBefore + 1);  // the window is gone, the object holds it
    RunDialog(dlg, check);                        // a second run makes no second font
  }
  EXPECT_EQ(ui_.liveFonts(), fontsBefore);
}

TEST_F(TiltwiseDialogTest, EveryWayOfClosingAsksAndNoKeepsEverything) {
  using Close = bool (ui::HeadlessDialog::*)();
  const std::pair<const char*, Close> ways[] = {
      {"Escape", &ui::HeadlessDialog::PressEscape},
      {"close box", &ui::HeadlessDialog::CloseBox},
      {"Close button", nullptr},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.first);
    ASSERT_TRUE(ui_.Reset());
    CTiltwiseDlg dlg;
    auto close = [&](ui::HeadlessDialog& d) {
      return way.second ? (d.*way.second)() : d.Click(IDCANCEL);
    };
    ui_.PushModalScript([&](ui::HeadlessDialog& d) {
      d.Type(IDC_EDIT_USERNAME, "someone");
      d.Type(IDC_EDIT_HTTPPORT, "8081");
      d.Click(IDC_CHECK_MIRROR);
      Snapshot before = Snap(d);
      ui_.QueueAnswer(IDNO);
      ASSERT_TRUE(close(d));
      ASSERT_EQ(ui_.messageBoxes().size(), 1u);
      const ui::MessageBoxRecord& box = ui_.messageBoxes()[0];
      EXPECT_EQ(box.text, "Are you sure to quit?");
      EXPECT_EQ(box.caption, "Confirm");
      EXPECT_EQ(box.style, MB_YESNO);
      EXPECT_EQ(box.owner, d.handle());
      EXPECT_TRUE(d.IsOpen());
      EXPECT_TRUE(Snap(d) == before);
      EXPECT_EQ(dlg.m_strUserName, "admin");  // asking read nothing from the boxes
      EXPECT_EQ(dlg.m_nHttpPort, 80);

      ui_.QueueAnswer(IDYES);
      ASSERT_TRUE(close(d));
      EXPECT_FALSE(d.IsOpen());
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(ui_.messageBoxes().size(), 2u);
  }
}

TEST_F(TiltwiseDialogTest, MinimisedDialogDrawsItsIconCentred) {
  CTiltwiseDlg dlg;
  RunDialog(dlg, [&](ui::HeadlessDialog& d) {
    EXPECT_TRUE(d.Paint());
    EXPECT_TRUE(ui_.iconPaints().empty());  // not minimised: the base draws
    ASSERT_TRUE(d.Minimize());
    ui_.SetMinimizedClientSize(37, 41);  // odd sizes: the +1 rounds up
    EXPECT_TRUE(d.Paint());
    ASSERT_EQ(ui_.iconPaints().size(), 1u);
    const ui::IconPaintRecord& paint = ui_.iconPaints()[0];
    EXPECT_EQ(paint.x, 3);
    EXPECT_EQ(paint.y, 5);
    EXPECT_EQ(paint.icon, d.Icon(true));
    EXPECT_TRUE(paint.backgroundErased);
    d.Restore();
    d.Paint();
    EXPECT_EQ(ui_.iconPaints().size(), 1u);
  });
}

}  // namespace
