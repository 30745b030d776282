#include "ui/backends/win32.h"

// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "ui/LayoutDump.h"
#include "ui/backends/win32_list.h"

namespace ui {
namespace {

// Posted from WM_INITDIALOG: it arrives once the dialog manager has shown the dialog and given
// the focus, inside the modal loop.
constexpr UINT kMsgShown = WM_APP + 0x54;
constexpr UINT kMsgPosted = WM_APP + 0x55;  // Backend::Post has tasks waiting

// Keys and clicks (the frame's too, and clicks another program posts); moves still set the
// cursor. The close box and Alt+F4 still ask to close: the dialog answers that after its wait.
bool IsInput(const MSG& msg) {
  const UINT message = msg.message;
  if ((message == WM_NCLBUTTONDOWN || message == WM_NCLBUTTONUP) && msg.wParam == HTCLOSE) {
    return false;
  }
  if (message == WM_SYSKEYDOWN && msg.wParam == VK_F4) return false;
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message > WM_MOUSEMOVE && message <= WM_MOUSELAST) ||
         (message >= WM_NCLBUTTONDOWN && message <= WM_NCXBUTTONDBLCLK) || message == BM_CLICK;
}

HWND Hwnd(WindowHandle window) {
  return reinterpret_cast<HWND>(window);
}

WindowHandle Handle(HWND hwnd) {
  return reinterpret_cast<WindowHandle>(hwnd);
}

HFONT Hfont(FontHandle font) {
  return reinterpret_cast<HFONT>(font);
}

// A live window of ours or of anyone; null for a null or destroyed handle.
HWND Live(WindowHandle window) {
  HWND hwnd = Hwnd(window);
  return hwnd && IsWindow(hwnd) ? hwnd : nullptr;
}

bool IsFont(FontHandle font) {
  return font && GetObjectType(Hfont(font)) == OBJ_FONT;
}

std::string WindowText(HWND hwnd) {
  int length = GetWindowTextLengthA(hwnd);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int copied = GetWindowTextA(hwnd, &text[0], length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

ControlKind KindOfWindow(HWND hwnd) {
  char name[64] = {};
  GetClassNameA(hwnd, name, sizeof name);
  const char* base = std::strrchr(name, '!');  // comctl32 version 6: "<version>!Button"
  base = base ? base + 1 : name;
  ControlTemplate t = {};
  t.style = static_cast<std::uint32_t>(GetWindowLongPtrA(hwnd, GWL_STYLE));
  if (lstrcmpiA(base, "Edit") == 0) {
    t.cls = ControlClass::kEdit;
  } else if (lstrcmpiA(base, "Static") == 0) {
    t.cls = ControlClass::kStatic;
  } else if (lstrcmpiA(base, "Button") == 0) {
    t.cls = ControlClass::kButton;
  } else {
    return ControlKind::kOther;
  }
  return KindOf(t);
}

class TemplateWriter {
 public:
  void Word(std::uint16_t w) { words_.push_back(w); }
  void Dword(std::uint32_t d) {
    Word(static_cast<std::uint16_t>(d & 0xFFFF));
    Word(static_cast<std::uint16_t>(d >> 16));
  }
  void Short(int v) { Word(static_cast<std::uint16_t>(static_cast<std::int16_t>(v))); }
  void Align32() {
    if (words_.size() % 2) Word(0);
  }
  void Text(const char* text) {
    if (text && *text) {
      int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
      if (n > 0) {
        std::wstring wide(static_cast<size_t>(n), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
        for (int i = 0; i < n - 1; ++i) Word(static_cast<std::uint16_t>(wide[i]));
      }
    }
    Word(0);
  }
  std::vector<std::uint16_t> Take() { return std::move(words_); }

 private:
  std::vector<std::uint16_t> words_;
};

struct RunningDialog {
  DialogEvents* events = nullptr;
  const DialogTemplate* t = nullptr;
  HWND hwnd = nullptr;
  bool initialised = false;
  bool ended = false;
  bool destroyed = false;
  int result = -1;
};

class Win32Backend final : public Backend {
 public:
  Win32Backend() {
    // Loads comctl32 so the manifest's version 6 controls (and their visual style) are used.
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    SetWindowsHookExA(WH_MSGFILTER, &Win32Backend::Filter, nullptr, GetCurrentThreadId());
  }

  // Windows always has a desktop; Wine has none without an X display, and every dialog would
  // then fail without a word.
  bool Connect() override {
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    if (!probe) {
      char path[MAX_PATH] = {};
      GetModuleFileNameA(nullptr, path, sizeof path - 1);
      const char* name = std::strrchr(path, '\\');
      std::fprintf(stderr, "%s: no window can be made (no display?)\n", name ? name + 1 : path);
      return false;
    }
    DestroyWindow(probe);
    return true;
  }

  int RunModal(const DialogTemplate& dialog, WindowHandle owner, DialogEvents& events) override {
    HWND ownerHwnd = Hwnd(owner);
    if (owner && !IsWindow(ownerHwnd)) return -1;
    std::vector<std::uint16_t> words = win32::BuildDialogTemplate(dialog);
    RunningDialog run;
    run.events = &events;
    run.t = &dialog;
    dialogs_.push_back(&run);
    DialogBoxIndirectParamA(GetModuleHandleA(nullptr),
                            reinterpret_cast<LPCDLGTEMPLATEA>(words.data()), ownerHwnd,
                            &Win32Backend::DialogProc, reinterpret_cast<LPARAM>(&run));
    dialogs_.pop_back();
    return run.initialised && run.ended ? run.result : -1;
  }

  void EndModal(WindowHandle dialog, int result) override {
    RunningDialog* run = Find(Hwnd(dialog));
    if (!run || run->ended || run->destroyed) return;
    run->ended = true;
    run->result = result;
    EndDialog(run->hwnd, result);
  }

  WindowHandle FindControl(WindowHandle dialog, int id) override {
    HWND hwnd = Live(dialog);
    return hwnd ? Handle(GetDlgItem(hwnd, id)) : nullptr;
  }

  void SetText(WindowHandle window, const char* text) override {
    HWND hwnd = Live(window);
    if (hwnd && !win32::SelectChoice(hwnd, text)) SetWindowTextA(hwnd, text ? text : "");
  }

  std::string GetText(WindowHandle window) override {
    HWND hwnd = Live(window);
    return hwnd ? WindowText(hwnd) : std::string();
  }

  int GetCheck(WindowHandle button) override {
    HWND hwnd = Live(button);
    return hwnd && IsCheckBox(hwnd) ? static_cast<int>(SendMessageA(hwnd, BM_GETCHECK, 0, 0)) : 0;
  }

  void SetCheck(WindowHandle button, int state) override {
    HWND hwnd = Live(button);
    if (hwnd && IsCheckBox(hwnd)) SendMessageA(hwnd, BM_SETCHECK, static_cast<WPARAM>(state), 0);
  }

  void Focus(WindowHandle control) override {
    if (HWND hwnd = Live(control)) SetFocus(hwnd);
  }

  void SelectText(WindowHandle edit, int start, int end) override {
    HWND hwnd = Live(edit);
    if (!hwnd || KindOfWindow(hwnd) != ControlKind::kEdit) return;
    // -1 as the end means "to the end" here; the edit control gives -1 no such meaning
    // unless the start is 0.
    if (end < 0) end = GetWindowTextLengthA(hwnd);
    SendMessageA(hwnd, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
  }

  ListModel* List(WindowHandle list) override { return win32::ListOf(Live(list)); }
  void SetProgress(WindowHandle bar, int lower, int upper, int position) override {
    win32::SetProgress(Live(bar), lower, upper, position);
  }

  bool IsMinimized(WindowHandle dialog) override {
    HWND hwnd = Live(dialog);
    return hwnd && IsIconic(hwnd);
  }

  Rect ClientRect(WindowHandle window) override {
    HWND hwnd = Live(window);
    RECT r = {};
    if (!hwnd || !GetClientRect(hwnd, &r)) return Rect();
    return Rect{r.left, r.top, r.right, r.bottom};
  }

  // LogFont is LOGFONTA field for field: copied whole.
  static_assert(sizeof(LOGFONTA) == sizeof(LogFont) &&
                    offsetof(LOGFONTA, lfFaceName) == offsetof(LogFont, lfFaceName),
                "LogFont must match LOGFONTA");

  FontHandle MakeFont(const LogFont& d) override {
    LOGFONTA lf;
    std::memcpy(&lf, &d, sizeof lf);
    lf.lfFaceName[sizeof lf.lfFaceName - 1] = '\0';
    return reinterpret_cast<FontHandle>(CreateFontIndirectA(&lf));
  }

  void ReleaseFont(FontHandle font) override {
    if (IsFont(font)) DeleteObject(Hfont(font));
  }

  bool DescribeFont(FontHandle font, LogFont* d) override {
    LOGFONTA lf = {};
    if (!d || !IsFont(font) || GetObjectA(Hfont(font), sizeof lf, &lf) == 0) return false;
    std::memcpy(static_cast<void*>(d), &lf, sizeof lf);  // trivially copyable, see above
    return true;
  }

  FontHandle WindowFont(WindowHandle window) override {
    HWND hwnd = Live(window);
    return hwnd ? reinterpret_cast<FontHandle>(SendMessageA(hwnd, WM_GETFONT, 0, 0)) : nullptr;
  }

  void SetWindowFont(WindowHandle window, FontHandle font, bool redraw) override {
    HWND hwnd = Live(window);
    if (!hwnd || (font && !IsFont(font))) return;
    SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Hfont(font)), redraw ? TRUE : FALSE);
  }

  // From the program's own resources; the picture is for backends without them.
  IconHandle LoadIconResource(int resourceId, const IconImage* /*image*/) override {
    auto it = icons_.find(resourceId);
    if (it != icons_.end()) return reinterpret_cast<IconHandle>(it->second);
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(resourceId));
    if (!icon) return nullptr;
    icons_[resourceId] = icon;
    return reinterpret_cast<IconHandle>(icon);
  }

  IconHandle SetWindowIcon(WindowHandle dialog, IconHandle icon, bool big) override {
    HWND hwnd = Live(dialog);
    if (!hwnd) return nullptr;
    return reinterpret_cast<IconHandle>(
        SendMessageA(hwnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                     reinterpret_cast<LPARAM>(reinterpret_cast<HICON>(icon))));
  }

  int SystemMetric(int index) override { return GetSystemMetrics(index); }

  PaintHandle StartPaint(WindowHandle window) override {
    HWND hwnd = Live(window);
    if (!hwnd) return nullptr;
    auto* paint = new Paint;
    paint->hwnd = hwnd;
    if (!BeginPaint(hwnd, &paint->ps)) {
      delete paint;
      return nullptr;
    }
    return reinterpret_cast<PaintHandle>(paint);
  }

  void FinishPaint(WindowHandle /*window*/, PaintHandle dc) override {
    if (!dc) return;
    auto* paint = reinterpret_cast<Paint*>(dc);
    EndPaint(paint->hwnd, &paint->ps);
    delete paint;
  }

  void EraseIconBackground(WindowHandle window, PaintHandle dc) override {
    HWND hwnd = Live(window);
    if (!hwnd || !dc) return;
    SendMessageA(hwnd, WM_ICONERASEBKGND,
                 reinterpret_cast<WPARAM>(reinterpret_cast<Paint*>(dc)->ps.hdc), 0);
  }

  void PaintIcon(PaintHandle dc, int x, int y, IconHandle icon) override {
    if (dc && icon)
      DrawIcon(reinterpret_cast<Paint*>(dc)->ps.hdc, x, y, reinterpret_cast<HICON>(icon));
  }

  int ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                     unsigned style) override {
    messages_.push_back(LayoutMessage{caption ? caption : "", text ? text : "", style});
    Dump("message");
    int answer = MessageBoxA(Live(owner), text ? text : "", caption ? caption : "", style);
    messages_.pop_back();
    return answer;
  }

  void BeginWaitCursor() override {
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    if (waitDepth_++ == 0) restoreCursor_ = previous;
  }

  void EndWaitCursor() override {
    if (waitDepth_ == 0) return;
    // No cursor at all before would leave none on the screen: the arrow then.
    if (--waitDepth_ == 0) {
      SetCursor(restoreCursor_ ? restoreCursor_ : LoadCursor(nullptr, IDC_ARROW));
    }
  }

 protected:
  void Wake() override {
    if (HWND target = wakeTarget_.load()) PostMessageA(target, kMsgPosted, 0, 0);
  }
  void PumpUntil(const std::atomic<bool>& done) override {
    bool quit = false;
    WPARAM exitCode = 0;
    while (!done) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          quit = true;
          exitCode = msg.wParam;
        } else if (!IsInput(msg)) {
          TranslateMessage(&msg);
          DispatchMessageA(&msg);
        }
      }
    }
    // For the loop that waits for it, once the work is done.
    if (quit) PostQuitMessage(static_cast<int>(exitCode));
  }

 private:
  struct Paint {
    HWND hwnd = nullptr;
    PAINTSTRUCT ps = {};
  };

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  // Accelerators: the dialog manager's loop has none, its message filter sees the keys.
  static LRESULT CALLBACK Filter(int code, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(RunningDialog& run, UINT message, WPARAM wParam, LPARAM lParam);

  RunningDialog* Find(HWND hwnd) {
    if (!hwnd) return nullptr;
    for (RunningDialog* run : dialogs_) {
      if (run->hwnd == hwnd) return run;
    }
    return nullptr;
  }

  static bool IsCheckBox(HWND hwnd) {
    ControlKind kind = KindOfWindow(hwnd);
    return kind == ControlKind::kCheckBox || kind == ControlKind::kAutoCheckBox;
  }

  LayoutDialog Describe(const RunningDialog& run) {
    LayoutDialog d;
    HWND hwnd = run.hwnd;
    d.caption = WindowText(hwnd);
    d.client = ClientRect(Handle(hwnd));
    RECT units = {0, 0, 4, 8};
    MapDialogRect(hwnd, &units);
    d.unitsX = units.right;
    d.unitsY = units.bottom;
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd, focus)) d.focusId = GetDlgCtrlID(focus);
    // Children are in creation order, which is the template's.
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      LayoutControl c;
      c.id = GetDlgCtrlID(child);
      c.kind = KindOfWindow(child);
      c.text = WindowText(child);
      c.password =
          c.kind == ControlKind::kEdit && (GetWindowLongPtrA(child, GWL_STYLE) & ES_PASSWORD);
      RECT r = {};
      GetWindowRect(child, &r);
      MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
      c.rect = Rect{r.left, r.top, r.right, r.bottom};
      c.check = IsCheckBox(child) ? static_cast<int>(SendMessageA(child, BM_GETCHECK, 0, 0)) : 0;
      c.enabled = IsWindowEnabled(child) != FALSE;
      LogFont font;
      if (DescribeFont(WindowFont(Handle(child)), &font)) c.fontHeight = font.lfHeight;
      d.controls.push_back(std::move(c));
    }
    return d;
  }

  // After a command the dialog took.
  void DumpCommand(const RunningDialog& run, int id) {
    if (run.ended || run.destroyed) return;
    std::string event = "command " + std::to_string(id);
    Dump(event.c_str());
  }

  void Dump(const char* event) {
    if (LayoutDumpPath().empty()) return;
    LayoutState state;
    for (RunningDialog* run : dialogs_) {
      if (run->hwnd && !run->destroyed) state.dialogs.push_back(Describe(*run));
    }
    state.messages = messages_;
    DumpLayout(state, event);
  }

  std::vector<RunningDialog*> dialogs_;    // running, innermost last
  std::atomic<HWND> wakeTarget_{nullptr};  // the outermost dialog: workers post to it
  std::map<int, HICON> icons_;             // shared for the life of the process, by resource id
  std::vector<LayoutMessage> messages_;    // message boxes up, innermost last
  int waitDepth_ = 0;
  HCURSOR restoreCursor_ = nullptr;
};

Win32Backend& Instance() {
  static Win32Backend backend;
  return backend;
}

LRESULT CALLBACK Win32Backend::Filter(int code, WPARAM wParam, LPARAM lParam) {
  const MSG* m = reinterpret_cast<const MSG*>(lParam);
  RunningDialog* top = Instance().dialogs_.empty() ? nullptr : Instance().dialogs_.back();
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  const bool key = code == MSGF_DIALOGBOX && m->message == WM_KEYDOWN && top && !top->ended &&
                   (m->hwnd == top->hwnd || IsChild(top->hwnd, m->hwnd)) &&
                   (ctrl || m->wParam == VK_F5);
  if (key && top->events->HandleAccelerator(static_cast<int>(m->wParam), ctrl)) return 1;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CALLBACK Win32Backend::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  RunningDialog* run = nullptr;
  if (message == WM_INITDIALOG) {
    run = reinterpret_cast<RunningDialog*>(lParam);
    run->hwnd = hwnd;
    SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(run));
  } else {
    run = reinterpret_cast<RunningDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  }
  // Messages before WM_INITDIALOG (WM_SETFONT, ...) are the dialog manager's alone.
  return run ? Instance().OnMessage(*run, message, wParam, lParam) : FALSE;
}

INT_PTR Win32Backend::OnMessage(RunningDialog& run, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      win32::SetUpCommonControls(run.hwnd, *run.t, [&run](int id, int code, int item) {
        if (!run.ended) run.events->HandleNotify(id, code, item);
      });
      bool defaultFocus = run.events->HandleInitDialog(Handle(run.hwnd));
      run.initialised = true;
      if (dialogs_.size() == 1) wakeTarget_ = run.hwnd;
      if (run.ended) return FALSE;
      PostMessageA(run.hwnd, kMsgShown, 0, 0);
      // TRUE has the dialog manager focus the first tab stop (here the Set button, where a
      // stray Enter would restart the camera): only when the handler placed no focus itself.
      HWND focus = GetFocus();
      bool focusPlaced = focus && IsChild(run.hwnd, focus);
      return defaultFocus && !focusPlaced ? TRUE : FALSE;
    }
    case kMsgShown:
      Dump("shown");
      return TRUE;
    case kMsgPosted:
      RunPosted();
      return TRUE;
    case WM_COMMAND: {
      // Clicks, and Enter / Escape / the close box as IDOK / IDCANCEL from the dialog manager;
      // edit boxes' notifications (other codes) are not commands of the framework.
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (run.ended) return TRUE;
      HWND from = reinterpret_cast<HWND>(lParam);
      int id = from ? GetDlgCtrlID(from) : static_cast<int>(LOWORD(wParam));
      // Enter sends IDOK from no control when the dialog has no default button; with a push
      // button focused it is that button's command (Wine's dialog manager sends IDOK).
      if (id == IDOK && !from) {
        HWND focus = GetFocus();
        if (focus && IsChild(run.hwnd, focus) && IsWindowEnabled(focus)) {
          ControlKind kind = KindOfWindow(focus);
          if (kind == ControlKind::kPushButton || kind == ControlKind::kDefPushButton) {
            id = GetDlgCtrlID(focus);
          }
        }
      }
      if (run.events->HandleCommand(id)) DumpCommand(run, id);
      return TRUE;
    }
    case WM_CLOSE:  // the close box, the taskbar's "Close window", SC_CLOSE from anyone
      if (!run.ended && run.events->HandleClose()) DumpCommand(run, IDCANCEL);
      return TRUE;
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (!win32::OnCommonNotify(lParam, &result)) return FALSE;
      SetWindowLongPtrA(run.hwnd, DWLP_MSGRESULT, result);
      return TRUE;
    }
    case WM_PAINT:
      run.events->HandlePaint();
      return FALSE;  // whatever the handler left unpainted, the default validates
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(run.events->HandleQueryDragIcon());
    case WM_SETCURSOR:
      if (waitDepth_ > 0) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        SetWindowLongPtrA(run.hwnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      if (wakeTarget_ == run.hwnd) wakeTarget_ = nullptr;
      run.events->HandleDestroy();
      win32::ForgetCommonControls(run.hwnd);
      run.destroyed = true;
      Dump("destroy");
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

Backend& GetBackend() {
  return Instance();
}

namespace win32 {

std::vector<std::uint16_t> BuildDialogTemplate(const DialogTemplate& dialog) {
  TemplateWriter w;
  w.Word(1);       // dlgVer
  w.Word(0xFFFF);  // signature: the extended form
  w.Dword(0);      // helpID
  w.Dword(dialog.exStyle);
  w.Dword(dialog.style | DS_CENTER);  // in the middle of the work area, as the framework puts it
  w.Word(static_cast<std::uint16_t>(dialog.controlCount));
  w.Short(dialog.x);
  w.Short(dialog.y);
  w.Short(dialog.cx);
  w.Short(dialog.cy);
  w.Word(0);  // no menu
  w.Word(0);  // the dialog class
  w.Text(dialog.caption);
  if (dialog.style & DS_SETFONT) {
    w.Short(dialog.fontPointSize);
    w.Short(dialog.fontWeight);
    w.Word(static_cast<std::uint16_t>((dialog.fontItalic ? 1 : 0) | (DEFAULT_CHARSET << 8)));
    w.Text(dialog.fontName);
  }
  for (int i = 0; i < dialog.controlCount; ++i) {
    const ControlTemplate& c = dialog.controls[i];
    w.Align32();
    w.Dword(0);  // helpID
    w.Dword(c.exStyle);
    w.Dword(c.style);
    w.Short(c.x);
    w.Short(c.y);
    w.Short(c.cx);
    w.Short(c.cy);
    w.Dword(static_cast<std::uint32_t>(c.id));
    if (const char* name = CommonClassName(c.cls)) {
      w.Text(name);
    } else {
      w.Word(0xFFFF);  // a predefined class by atom
      w.Word(static_cast<std::uint16_t>(c.cls));
    }
    w.Text(c.text);
    w.Word(0);  // no creation data
  }
  return w.Take();
}

}  // namespace win32
}  // namespace ui
