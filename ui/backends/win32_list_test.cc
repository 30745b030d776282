// The site window's template under the real window manager (Wine in CI): every control made,
// the virtual list asking the model for what it shows, and the header, mouse and keys reaching
// the model once each. Input arrives as posted messages, checked a timer tick later.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "res/SiteResources.h"
#include "ui/Backend.h"
#include "ui/ListModel.h"

namespace {

ui::Backend& B() {
  return ui::GetBackend();
}

std::string ItemText(HWND list, int position, int column) {
  char text[64] = {};
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(position),
               reinterpret_cast<LPARAM>(&item));
  return text;
}

void PostClick(HWND to, const RECT& r, int x) {
  LPARAM at = MAKELPARAM(x, (r.top + r.bottom) / 2);
  PostMessageA(to, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(to, WM_LBUTTONUP, 0, at);
}

void PostKey(HWND to, WPARAM key) {
  PostMessageA(to, WM_KEYDOWN, key, 1);
  PostMessageA(to, WM_KEYUP, key, 0xC0000001);
}

void SetControlKey(bool down) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = down ? 0x80 : 0;
  SetKeyboardState(keys);
}

struct Site : ui::DialogEvents {
  ui::WindowHandle dialog = nullptr;
  HWND list = nullptr;
  ui::ListModel* m = nullptr;
  std::vector<std::vector<int>> heard;
  int step = 0;
  bool HandleInitDialog(ui::WindowHandle d) override;
  bool HandleCommand(int) override { return true; }
  void HandlePaint() override {}
  ui::IconHandle HandleQueryDragIcon() override { return nullptr; }
  void HandleDestroy() override {}
  void HandleNotify(int id, int code, int item) override { heard.push_back({id, code, item}); }
} g_site;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  Site& s = g_site;
  switch (s.step++) {
    case 0: {
      EXPECT_EQ(s.m->sortColumn(), kSiteAddress);
      EXPECT_EQ(ItemText(s.list, 0, kSiteName), "cam-999") << "highest address first";
      EXPECT_EQ(s.m->focus(), 998) << "Home, then Down";
      EXPECT_TRUE(s.m->Ticked(998)) << "Space";
      RECT r = {};
      ListView_GetItemRect(s.list, 3, &r, LVIR_BOUNDS);
      PostClick(s.list, r, r.left + 8);  // the tick box
      break;
    }
    case 1:
      EXPECT_TRUE(s.m->Ticked(s.m->RowAt(3)));
      EXPECT_EQ(ListView_GetItemState(s.list, 3, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
      EXPECT_EQ(s.m->TickedCount(), 2);
      SetControlKey(true);
      PostKey(s.list, 'A');
      PostMessageA(s.list, WM_SYSCHAR, 'p', 1 << 29);  // Alt+P: the password box's label
      break;
    default:
      SetControlKey(false);
      EXPECT_EQ(s.m->TickedCount(), 1000);
      EXPECT_EQ(GetFocus(), reinterpret_cast<HWND>(B().FindControl(s.dialog, IDC_SITE_PASSWORD)));
      B().EndModal(s.dialog, 9);
      break;
  }
}

bool Site::HandleInitDialog(ui::WindowHandle d) {
  dialog = d;
  for (int id = IDC_SITE_OPEN; id <= IDC_SITE_STATUS; ++id) {
    EXPECT_NE(B().FindControl(d, id), nullptr) << id;
  }
  list = reinterpret_cast<HWND>(B().FindControl(d, IDC_SITE_LIST));
  m = B().List(B().FindControl(d, IDC_SITE_LIST));
  if (!m) {
    ADD_FAILURE() << "no list";
    B().EndModal(d, -1);
    return false;
  }
  EXPECT_EQ(Header_GetItemCount(ListView_GetHeader(list)), kSiteColumns);
  m->SetRowCount(1000);
  for (int r = 0; r < 1000; ++r) {
    m->SetRow(r, {"cam-" + std::to_string(r), "", "10.0." + std::to_string(r) + ".1:80"});
  }
  EXPECT_EQ(ListView_GetItemCount(list), 1000);
  EXPECT_EQ(ItemText(list, 5, kSiteAddress), "10.0.5.1:80");
  EXPECT_EQ(ListView_GetItemState(list, 5, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));

  ui::WindowHandle bar = B().FindControl(d, IDC_SITE_PROGRESS);
  B().SetProgress(bar, 0, 40, 12);
  EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(bar), PBM_GETPOS, 0, 0), 12);
  B().SetText(B().FindControl(d, IDC_SITE_STATUS), "12/40 done");
  EXPECT_EQ(B().GetText(B().FindControl(d, IDC_SITE_STATUS)), "12/40 done");
  ui::WindowHandle flip = B().FindControl(d, IDC_SITE_FLIP);
  EXPECT_EQ(B().GetText(flip), "");
  B().SetText(flip, "keep");
  B().SetText(flip, "maybe");
  EXPECT_EQ(B().GetText(flip), "keep");

  B().Focus(B().FindControl(d, IDC_SITE_LIST));
  RECT column = {};
  HWND header = ListView_GetHeader(list);
  Header_GetItemRect(header, kSiteAddress, &column);
  PostClick(header, column, (column.left + column.right) / 2);
  PostClick(header, column, (column.left + column.right) / 2);  // again: descending
  PostKey(list, VK_HOME);
  PostKey(list, VK_DOWN);
  PostKey(list, VK_SPACE);
  SetTimer(reinterpret_cast<HWND>(d), 1, 300, &Tick);
  return false;
}

TEST(Win32ListTest, SiteWindowListTicksSortsAndSpeaks) {
  HWND probe =
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!probe) {
    if (std::getenv("TILTWISE_REQUIRE_DISPLAY")) FAIL() << "no window can be made (no display)";
    GTEST_SKIP() << "no window can be made: no display";
  }
  DestroyWindow(probe);
  EXPECT_EQ(B().RunModal(kTiltwiseSite, nullptr, g_site), 9);
  EXPECT_EQ(g_site.step, 3);
  ASSERT_FALSE(g_site.heard.empty());
  EXPECT_EQ(g_site.heard.front(), (std::vector<int>{IDC_SITE_LIST, ui::kListColumnClick, 2}));
  EXPECT_EQ(g_site.heard.back(),
            (std::vector<int>{IDC_SITE_LIST, ui::kListTickChanged, ui::kAllRows}));
  EXPECT_EQ(B().List(reinterpret_cast<ui::WindowHandle>(g_site.list)), nullptr);
}

}  // namespace
