// The one interface between the dialog framework and whatever shows its windows. Exactly one
// implementation is linked into each program, chosen by the build (ui/backends/*): the framework
// calls GetBackend() and never knows which one runs. No platform header is needed to include
// this file; handles are opaque pointers each backend casts to its own objects.
//
// Conventions every backend keeps:
//  - One thread: every call, and every DialogEvents callback, happens on the thread that called
//    RunModal. Callbacks run synchronously; a handler may open a message box or call EndModal.
//  - Ids, styles, check states, message-box styles and results carry the Windows values
//    (IDOK 1, IDCANCEL 2, MB_YESNO 4, ...).
//  - Window handles of a dialog and its controls stay valid from HandleInitDialog until
//    HandleDestroy returns; a call with a null handle does nothing and returns a neutral value.
#ifndef TILTWISE_UI_BACKEND_H_
#define TILTWISE_UI_BACKEND_H_

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "ui/DialogTemplate.h"

namespace ui {

class ListModel;

struct WindowObject;  // a dialog or one of its controls
struct FontObject;
struct IconObject;
struct PaintObject;  // a drawing context between StartPaint and FinishPaint
using WindowHandle = WindowObject*;
using FontHandle = FontObject*;
using IconHandle = IconObject*;
using PaintHandle = PaintObject*;

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// A font's description, field for field the system's LOGFONT. lfHeight in pixels: negative a
// character height, positive a cell height; lfWidth 0: from the height; lfWeight 0 default,
// 400 normal, 700 bold.
struct LogFont {
  std::int32_t lfHeight = 0, lfWidth = 0, lfEscapement = 0, lfOrientation = 0, lfWeight = 0;
  std::uint8_t lfItalic = 0, lfUnderline = 0, lfStrikeOut = 0, lfCharSet = 0;
  std::uint8_t lfOutPrecision = 0, lfClipPrecision = 0, lfQuality = 0, lfPitchAndFamily = 0;
  char lfFaceName[32] = {};
};

// A picture for an icon: `width` x `height` pixels, 4 bytes each (red, green, blue, alpha),
// rows from the top.
struct IconImage {
  int width;
  int height;
  const std::uint8_t* rgba;
};

// Windows' values for the answers and system metrics backends deal in, named so that they
// cannot clash with <windows.h>'s macros; ui/Types.h gives them the framework's names.
namespace win {
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
constexpr int kSmCxIcon = 11;
constexpr int kSmCyIcon = 12;
constexpr int kVkReturn = 0x0D;  // virtual-key codes; a letter's is its capital
constexpr int kVkF5 = 0x74;
}  // namespace win

// What a running dialog hears from its backend. CDialog implements it.
class DialogEvents {
 public:
  // The window and its controls exist, each control with the template's text and the dialog
  // font, the dialog not yet shown. Returning true asks for the default focus (the first
  // visible, enabled tab-stop control), which the backend gives only when the handler has not
  // put the focus on a control of this dialog itself.
  virtual bool HandleInitDialog(WindowHandle dialog) = 0;
  // A click on a button (its id; an automatic check box has already changed its tick), Enter
  // (the id of the focused push button, otherwise IDOK) and Escape (IDCANCEL). False when the
  // dialog refused it: a command of its own is still running (the backend then records nothing).
  virtual bool HandleCommand(int id) = 0;
  // The window manager asks the window to close (its close box, the taskbar): IDCANCEL, unless
  // the dialog puts it off until its running command has returned (false then).
  virtual bool HandleClose() { return HandleCommand(win::kIdCancel); }
  // The dialog needs drawing; the handler brackets its drawing with StartPaint/FinishPaint.
  virtual void HandlePaint() = 0;
  // The picture to show while the minimised dialog is dragged; null for the default.
  virtual IconHandle HandleQueryDragIcon() = 0;
  // The window is about to be destroyed; its handles are valid for the last time.
  virtual void HandleDestroy() = 0;
  // The user changed something in control `id` (a list: ui::ListNotify codes and their item).
  virtual void HandleNotify(int /*id*/, int /*code*/, int /*item*/) {}
  // F5, or a key with Ctrl, that the focused control did not take: true when the dialog ran a
  // command for it. `key` is the virtual-key code.
  virtual bool HandleAccelerator(int /*key*/, bool /*ctrl*/) { return false; }

 protected:
  ~DialogEvents() = default;
};

class Backend {
 public:
  virtual ~Backend();

  // Connects to the window system; AfxWinMain calls it before the application starts. False
  // when there is none (the backend has said why on stderr): the program then ends with 1.
  virtual bool Connect() { return true; }

  // Creates the dialog from `dialog` (owned by `owner` when not null; the owner takes no input
  // meanwhile), calls HandleInitDialog, shows it and dispatches events until EndModal is called
  // for it; then HandleDestroy, destroys the window and returns the result given to EndModal.
  // Returns -1 when the window cannot be created (no events are sent then).
  virtual int RunModal(const DialogTemplate& dialog, WindowHandle owner, DialogEvents& events) = 0;
  // Ends the modal loop of `dialog` once the running handler returns; the first result wins.
  virtual void EndModal(WindowHandle dialog, int result) = 0;

  // Controls. FindControl gives null when the dialog has no control with that id.
  virtual WindowHandle FindControl(WindowHandle dialog, int id) = 0;
  // Text of a control or the dialog's caption; single-byte text, as typed.
  virtual void SetText(WindowHandle window, const char* text) = 0;
  virtual std::string GetText(WindowHandle window) = 0;
  // Tick state of a check box: 0 clear, 1 ticked.
  virtual int GetCheck(WindowHandle button) = 0;
  virtual void SetCheck(WindowHandle button, int state) = 0;
  virtual void Focus(WindowHandle control) = 0;
  // Selects characters [start, end) of an edit box; end -1 means to the end of the text.
  virtual void SelectText(WindowHandle edit, int start, int end) = 0;
  virtual bool IsMinimized(WindowHandle dialog) = 0;
  virtual Rect ClientRect(WindowHandle window) = 0;  // pixels, left and top 0
  // The rows a list control shows, owned by the backend while the dialog runs; null for any
  // other window. Changes to it show at once.
  virtual ListModel* List(WindowHandle list) = 0;
  virtual void SetProgress(WindowHandle bar, int lower, int upper, int position) = 0;

  // Fonts. A made font belongs to the caller until ReleaseFont; a window only refers to it.
  // WindowFont of the dialog is the template's font, owned by the backend.
  virtual FontHandle MakeFont(const LogFont& description) = 0;  // null on failure
  virtual void ReleaseFont(FontHandle font) = 0;
  virtual bool DescribeFont(FontHandle font, LogFont* description) = 0;
  virtual FontHandle WindowFont(WindowHandle window) = 0;
  virtual void SetWindowFont(WindowHandle window, FontHandle font, bool redraw) = 0;

  // Icons live until the process ends. `image` may be null where the backend loads icons from
  // the program's own resources by id (Win32); null result when neither gives a picture.
  virtual IconHandle LoadIconResource(int resourceId, const IconImage* image) = 0;
  // Sets the big (title bar, task switcher) or small icon; returns the previous one.
  virtual IconHandle SetWindowIcon(WindowHandle dialog, IconHandle icon, bool big) = 0;
  // The system's metric by its Windows index: SM_CXICON (11) and SM_CYICON (12).
  virtual int SystemMetric(int index) = 0;

  // Painting, from HandlePaint only.
  virtual PaintHandle StartPaint(WindowHandle window) = 0;
  virtual void FinishPaint(WindowHandle window, PaintHandle dc) = 0;
  virtual void EraseIconBackground(WindowHandle window, PaintHandle dc) = 0;
  virtual void PaintIcon(PaintHandle dc, int x, int y, IconHandle icon) = 0;

  // A modal message box: `style` is the Windows MB_* value (MB_OK or MB_YESNO, with
  // MB_ICONERROR, MB_ICONEXCLAMATION or no icon); returns IDOK, IDYES or IDNO, or 0 when no box
  // could be shown. A null owner shows it without an owner.
  virtual int ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                             unsigned style) = 0;
  // Nested: the wait cursor shows from the first Begin until the matching last End.
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;

  // Runs `work` on a thread of its own and returns once it has returned. Meanwhile the dialogs
  // keep painting and show the wait cursor, and take no input: nothing can be pressed. Where no
  // thread can be started, `work` runs on this one, the windows waiting. False when `work` ended
  // by an exception, which goes no further.
  bool RunBusy(const std::function<void()>& work);

  // From any thread: `task` runs on the windows' thread soon, between events (message boxes'
  // too), in the order posted. Workers tell the windows what they did this way.
  void Post(std::function<void()> task);
  // On the windows' thread: runs the tasks posted so far; how many ran. Backends call it when
  // woken; a window about to go calls it to run what its workers posted last.
  int RunPosted();

 protected:
  // A task waits: have the windows' thread call RunPosted soon. From any thread.
  virtual void Wake() {}
  // Starts `run` on a thread of its own; false when none can be started.
  virtual bool StartThread(std::thread* thread, std::function<void()> run);
  // Handles the windows' events, all input dropped, until `done` is set.
  virtual void PumpUntil(const std::atomic<bool>& done) = 0;

 private:
  std::mutex postMu_;
  std::deque<std::function<void()>> posted_;
  std::atomic<bool> wakePending_{false};
};

// The backend this program was linked with; defined once, in the backend's own source.
Backend& GetBackend();

}  // namespace ui

#endif  // TILTWISE_UI_BACKEND_H_
