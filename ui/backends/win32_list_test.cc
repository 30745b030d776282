// The Win32 backend's list with tick boxes, progress bar, status line and drop-down list under
// the real window manager (Wine in CI): the virtual list asks the model for what it shows, and
// the header, mouse and keys reach the model once each. Input arrives as posted messages.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "res/SiteResources.h"
#include "ui/Backend.h"
#include "ui/ListModel.h"

namespace {

using ui::ControlClass;
using namespace ui::style;

constexpr int kList = 401, kBar = 402, kStatus = 403, kChoice = 404;
const ui::ControlTemplate kControls[] = {
    {kList, ControlClass::kListView, "name\t50\naddress\t60",
     kChild | kVisible | kTabStop | kLvsList, 0, 5, 5, 200, 100},
    {kBar, ControlClass::kProgress, "", kChild | kVisible, 0, 5, 110, 200, 8},
    {kChoice, ControlClass::kComboBox, "\non\noff\nkeep",
     kChild | kVisible | kTabStop | kCbsDropDownList, 0, 5, 122, 50, 60},
    {kStatus, ControlClass::kStatusBar, "", kChild | kVisible | kCcsStay, 0, 0, 140, 210, 12},
};
const ui::DialogTemplate kDialog = {
    "List test",
    kDsSetFont | kDsModalFrame | kPopup | kVisible | kCaption | kSysMenu,
    0,
    0,
    0,
    210,
    152,
    "MS Sans Serif",
    10,
    0,
    false,
    kControls,
    4};

HWND Native(ui::WindowHandle w) {
  return reinterpret_cast<HWND>(w);
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

void PostClick(HWND to, POINT p) {
  LPARAM at = MAKELPARAM(p.x, p.y);
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

class Events : public ui::DialogEvents {
 public:
  ui::WindowHandle dialog = nullptr;
  std::vector<std::vector<int>> heard;
  int step = 0;
  bool HandleInitDialog(ui::WindowHandle d) override;
  void HandleCommand(int) override {}
  void HandlePaint() override {}
  ui::IconHandle HandleQueryDragIcon() override { return nullptr; }
  void HandleDestroy() override {}
  void HandleNotify(int id, int code, int item) override { heard.push_back({id, code, item}); }
  ui::ListModel* Model() {
    return ui::GetBackend().List(ui::GetBackend().FindControl(dialog, kList));
  }
  HWND List() { return Native(ui::GetBackend().FindControl(dialog, kList)); }
};

Events* g_events = nullptr;

// One check per tick, after the posted input before it has been handled.
void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  Events& e = *g_events;
  ui::ListModel& m = *e.Model();
  HWND list = e.List();
  ui::Backend& b = ui::GetBackend();
  switch (e.step++) {
    case 0: {
      // Sorted by address, the highest row first; the list asks the model again.
      EXPECT_EQ(m.sortColumn(), 1);
      EXPECT_EQ(ItemText(list, 0, 0), "cam-199");
      EXPECT_EQ(m.focus(), 198) << "Home, then Down";
      EXPECT_TRUE(m.Ticked(198)) << "Space";
      RECT r = {};
      ListView_GetItemRect(list, 3, &r, LVIR_BOUNDS);
      PostClick(list, POINT{r.left + 8, (r.top + r.bottom) / 2});  // the tick box
      break;
    }
    case 1:
      EXPECT_TRUE(m.Ticked(m.RowAt(3)));
      EXPECT_EQ(ListView_GetItemState(list, 3, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(2));
      EXPECT_EQ(m.TickedCount(), 2);
      SetControlKey(true);
      PostKey(list, 'A');
      break;
    default:
      SetControlKey(false);
      EXPECT_EQ(m.TickedCount(), 200);
      b.EndModal(e.dialog, 9);
      break;
  }
}

bool Events::HandleInitDialog(ui::WindowHandle d) {
  dialog = d;
  ui::Backend& b = ui::GetBackend();
  ui::ListModel* m = Model();
  EXPECT_EQ(b.List(b.FindControl(d, kBar)), nullptr);
  m->SetRowCount(200);
  for (int r = 0; r < 200; ++r) {
    m->SetRow(r, {"cam-" + std::to_string(r), "10.0.0." + std::to_string(200 - r) + ":80"});
  }
  HWND list = List();
  EXPECT_EQ(ListView_GetItemCount(list), 200);
  EXPECT_EQ(ItemText(list, 5, 1), "10.0.0.195:80");
  EXPECT_EQ(ListView_GetItemState(list, 5, LVIS_STATEIMAGEMASK), INDEXTOSTATEIMAGEMASK(1));
  EXPECT_EQ(Header_GetItemCount(ListView_GetHeader(list)), 2);

  b.SetProgress(b.FindControl(d, kBar), 0, 40, 12);
  EXPECT_EQ(SendMessageA(Native(b.FindControl(d, kBar)), PBM_GETPOS, 0, 0), 12);
  b.SetText(b.FindControl(d, kStatus), "12/40 done");
  EXPECT_EQ(b.GetText(b.FindControl(d, kStatus)), "12/40 done");
  ui::WindowHandle choice = b.FindControl(d, kChoice);
  EXPECT_EQ(b.GetText(choice), "");
  b.SetText(choice, "keep");
  b.SetText(choice, "maybe");
  EXPECT_EQ(b.GetText(choice), "keep");

  b.Focus(b.FindControl(d, kList));
  RECT column = {};
  HWND header = ListView_GetHeader(list);
  Header_GetItemRect(header, 1, &column);
  PostClick(header, POINT{(column.left + column.right) / 2, (column.top + column.bottom) / 2});
  PostKey(list, VK_HOME);
  PostKey(list, VK_DOWN);
  PostKey(list, VK_SPACE);
  SetTimer(Native(d), 1, 300, &Tick);
  return false;
}

TEST(Win32ListTest, VirtualListTicksSortsAndSpeaks) {
  HWND probe =
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!probe) {
    if (std::getenv("TILTWISE_REQUIRE_DISPLAY")) FAIL() << "no window can be made (no display)";
    GTEST_SKIP() << "no window can be made: no display";
  }
  DestroyWindow(probe);
  Events e;
  g_events = &e;
  EXPECT_EQ(ui::GetBackend().RunModal(kDialog, nullptr, e), 9);
  EXPECT_EQ(e.step, 3);
  ASSERT_FALSE(e.heard.empty());
  EXPECT_EQ(e.heard.front(), (std::vector<int>{kList, ui::kListColumnClick, 1}));
  EXPECT_EQ(e.heard.back(), (std::vector<int>{kList, ui::kListTickChanged, ui::kAllRows}));
  // The models go with their dialog.
  EXPECT_EQ(ui::GetBackend().List(e.dialog), nullptr);
}

}  // namespace

namespace {

// Saves the window's client area as a 24-bit BMP.
void Screenshot(HWND hwnd, const char* path) {
  RECT r = {};
  GetClientRect(hwnd, &r);
  HDC window = GetDC(hwnd);
  HDC memory = CreateCompatibleDC(window);
  HBITMAP bitmap = CreateCompatibleBitmap(window, r.right, r.bottom);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, r.right, r.bottom, window, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info = {sizeof info, r.right, r.bottom, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  DWORD stride = (static_cast<DWORD>(r.right) * 3 + 3) & ~3u;
  std::vector<char> pixels(stride * static_cast<DWORD>(r.bottom));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(r.bottom), pixels.data(),
            reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof file + sizeof info + pixels.size()), 0,
                           0, static_cast<DWORD>(sizeof file + sizeof info)};
  if (FILE* f = std::fopen(path, "wb")) {
    std::fwrite(&file, sizeof file, 1, f);
    std::fwrite(&info, sizeof info, 1, f);
    std::fwrite(pixels.data(), 1, pixels.size(), f);
    std::fclose(f);
  }
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(hwnd, window);
}

class SiteEvents : public ui::DialogEvents {
 public:
  ui::WindowHandle dialog = nullptr;
  bool HandleInitDialog(ui::WindowHandle d) override {
    dialog = d;
    ui::Backend& b = ui::GetBackend();
    for (int id = IDC_SITE_OPEN; id <= IDC_SITE_STATUS; ++id) {
      EXPECT_NE(b.FindControl(d, id), nullptr) << id;
    }
    ui::ListModel* m = b.List(b.FindControl(d, IDC_SITE_LIST));
    EXPECT_NE(m, nullptr);
    if (!m) return true;
    EXPECT_EQ(m->columns().size(), static_cast<size_t>(kSiteColumns));
    m->SetRowCount(1000);
    for (int r = 0; r < 1000; ++r) {
      m->SetRow(r, {"cam-" + std::to_string(r), r % 2 ? "hall" : "gate",
                    "127.0.0." + std::to_string(1 + r % 250) + ":80", "admin", "ok", "T31",
                    r % 3 ? "on" : "off", "off", "on"});
    }
    m->SetTick(2, true);
    b.SetProgress(b.FindControl(d, IDC_SITE_PROGRESS), 0, 40, 12);
    b.SetText(b.FindControl(d, IDC_SITE_STATUS), "12/40 done, 1 failed, 5 restarting");
    SetTimer(Native(d), 1, 1500, &SiteEvents::Done);
    return true;
  }
  void HandleCommand(int) override {}
  void HandlePaint() override {}
  ui::IconHandle HandleQueryDragIcon() override { return nullptr; }
  void HandleDestroy() override {}

 private:
  static void CALLBACK Done(HWND hwnd, UINT, UINT_PTR id, DWORD) {
    KillTimer(hwnd, id);
    if (const char* shot = std::getenv("TILTWISE_SCREENSHOT")) Screenshot(hwnd, shot);
    ui::GetBackend().EndModal(reinterpret_cast<ui::WindowHandle>(hwnd), 3);
  }
};

// The site window's template makes every control, the list with its columns. With
// TILTWISE_SCREENSHOT naming a file, the window is saved there as a BMP picture.
TEST(Win32ListTest, SiteTemplateMakesEveryControl) {
  HWND probe =
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!probe) GTEST_SKIP() << "no window can be made: no display";
  DestroyWindow(probe);
  SiteEvents e;
  EXPECT_EQ(ui::GetBackend().RunModal(kTiltwiseSite, nullptr, e), 3);
}

}  // namespace
