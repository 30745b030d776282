// The main dialog on the Win32 backend (Wine under CI) while a Query waits on a camera that
// trickles its reply: another program posts the window's close, the taskbar's "Close window", a
// click on Set and WM_COMMANDs of both buttons. One procedure runs, its message comes first and
// the quit question after it. Without a display the case is skipped, unless
// TILTWISE_REQUIRE_DISPLAY is set.
// clang-format off
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/TiltwiseDlg_win32_run.h"
#include "res/resource.h"
#include "tests/ScriptedPeer.h"

namespace {

using tiltwise_test::ScriptedPeer;

// The top-level windows of `thread` with this caption (the dialog, a message box).
HWND WindowOf(DWORD thread, const char* caption) {
  struct Search {
    const char* caption;
    HWND found;
  } search = {caption, nullptr};
  EnumThreadWindows(
      thread,
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        char text[64] = {};
        GetWindowTextA(hwnd, text, sizeof text);
        if (IsWindowVisible(hwnd) && std::string(text) == s->caption) s->found = hwnd;
        return s->found ? FALSE : TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The text of a message box: its one static control with text.
std::string BoxText(HWND box) {
  std::string text;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM data) -> BOOL {
        char cls[16] = {}, buffer[256] = {};
        GetClassNameA(child, cls, sizeof cls);
        GetWindowTextA(child, buffer, sizeof buffer);
        if (lstrcmpiA(cls, "Static") == 0 && buffer[0])
          *reinterpret_cast<std::string*>(data) = buffer;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&text));
  return text;
}

TEST(TiltwiseDlgWin32, WhatArrivesDuringAQueryStartsNothingAndTheCloseComesAfterItsMessage) {
  HWND probe =
      CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (!probe) {
    if (std::getenv("TILTWISE_REQUIRE_DISPLAY")) FAIL() << "no window can be made (no display)";
    GTEST_SKIP() << "no window can be made: no display (set DISPLAY, e.g. under Xvfb)";
  }
  DestroyWindow(probe);
  ScriptedPeer camera(ScriptedPeer::InPieces(std::vector<std::string>(15, "x"), 100));
  const DWORD ui = GetCurrentThreadId();
  std::vector<std::string> boxes;
  bool postedDuringQuery = false;
  // Another program: bounded in time, it stops by itself whatever the dialog does.
  std::thread other([&] {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); };
    HWND dialog = nullptr;
    while (!(dialog = WindowOf(ui, "Tiltwise")) && std::chrono::steady_clock::now() < end) pause();
    if (!dialog) return;
    PostMessageA(GetDlgItem(dialog, IDC_BUTTON_QUERY), BM_CLICK, 0, 0);
    while (camera.Targets().empty() && std::chrono::steady_clock::now() < end) pause();
    postedDuringQuery = camera.Connections() == 0;
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageA(GetDlgItem(dialog, IDC_BUTTON_SET), BM_CLICK, 0, 0);
    for (int id : {IDC_BUTTON_SET, IDC_BUTTON_QUERY, IDCANCEL}) {
      PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }
    // Answers each box as it comes: OK to the outcome, Yes to the quit question.
    while (IsWindow(dialog) && std::chrono::steady_clock::now() < end) {
      for (const char* caption : {"Error", "Confirm"}) {
        HWND box = WindowOf(ui, caption);
        if (!box) continue;
        boxes.push_back(BoxText(box));
        PostMessageA(box, WM_COMMAND, caption[0] == 'E' ? IDOK : IDYES, 0);
        while (IsWindow(box) && std::chrono::steady_clock::now() < end) pause();
      }
      pause();
    }
  });
  const int result = RunMainDialogAt(camera.port());
  other.join();
  EXPECT_TRUE(postedDuringQuery) << "the Query had ended before anything was posted";
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(boxes,
            (std::vector<std::string>{"Failed to query camera info", "Are you sure to quit?"}));
  EXPECT_EQ(camera.Targets(),
            (std::vector<std::string>{"/qx.html", "/param.cgi?cmd=getmotorrange"}));
}

}  // namespace
