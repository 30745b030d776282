// The main dialog without a camera: its resources, start-up, fonts, icon and closing. (The
// layout is checked on the real windows, under Xvfb and Wine.) Nothing
// here presses Query or Set, so nothing is sent anywhere.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "res/TiltwiseResources.h"
#include "tests/TiltwiseTestFixture.h"

namespace {

TEST(TiltwiseResourcesTest, ResourcesAreFoundById) {
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
    d.Minimize(false);
    d.Paint();
    EXPECT_EQ(ui_.iconPaints().size(), 1u);
  });
}

}  // namespace
