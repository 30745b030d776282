// The headless backend: dialogs that exist only in memory, for tests and the text demo.
// Deterministic and without I/O. A test scripts the user (type, click, Enter, Escape, the close
// box) and the answers to message boxes, and reads back everything a user would see, plus a
// record of message boxes, wait cursors, icons and fonts.
//
//   ui::HeadlessBackend& ui = ui::Headless();
//   ui.QueueAnswer(IDYES);                    // the next message box's button
//   ui.PushModalScript([](ui::HeadlessDialog& d) {
//     d.Type(1000, "127.0.0.1");
//     d.Click(1006);
//     d.CloseBox();
//   });
//   dlg.DoModal();                            // runs the script inside its modal loop
//
// Fixed metrics: 96 dots per inch, 32 x 32 icons, and for a font of character height h pixels
// an average character width of (h + 1) / 2 and a cell height of h + h / 4.
#ifndef TILTWISE_UI_BACKENDS_HEADLESS_H_
#define TILTWISE_UI_BACKENDS_HEADLESS_H_

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ui/Backend.h"

namespace ui {

struct MessageBoxRecord {
  WindowHandle owner;
  std::string text;
  std::string caption;
  unsigned style;
  int answer;
  int waitCursorDepth;  // wait cursors showing when the box appeared
};

struct IconPaintRecord {
  WindowHandle window;
  int x;
  int y;
  IconHandle icon;
  bool backgroundErased;  // the icon background was erased earlier in the same paint
};

struct IconInfo {
  int resourceId = 0;
  int width = 0;
  int height = 0;
  const IconImage* image = nullptr;
};

class HeadlessBackend;
struct HeadlessWindow;
struct HeadlessDialogWindow;
struct HeadlessControl;

// A running dialog as a modal script sees it. Actions return false and do nothing when the
// dialog no longer runs (EndModal was called), another dialog runs on top of it, or the action
// cannot reach the control (no such id, disabled, hidden, or the wrong kind of control).
class HeadlessDialog {
 public:
  bool IsOpen() const;
  WindowHandle handle() const;
  const DialogTemplate& dialogTemplate() const;

  // Focuses an edit box and replaces its whole text, as select-all and typing would.
  bool Type(int id, const std::string& text);
  // A mouse click on a push button or check box: it takes the focus, an automatic check box
  // changes its tick, and the dialog gets the command.
  bool Click(int id);
  // Moves the focus to a control (mouse or Tab) without clicking it.
  bool Focus(int id);
  // Enter: the focused push button's command, else the default push button's, else IDOK.
  bool PressEnter();
  bool PressEscape();  // IDCANCEL
  bool CloseBox();     // IDCANCEL; only when the dialog has a system menu
  bool Minimize();     // only when the dialog has a minimise box
  bool Restore();
  bool Paint();
  IconHandle QueryDragIcon();  // null when the dialog no longer runs

  // What the user sees; neutral values for an unknown id.
  std::string Text(int id) const;
  std::string Shown(int id) const;  // as drawn: one '*' per character in a password box
  int Check(int id) const;
  bool Enabled(int id) const;
  int FocusedId() const;  // 0 when no control has the focus
  // The description of a control's font; id 0 gives the dialog's own font.
  LogFont Font(int id) const;
  FontHandle FontOf(int id) const;
  IconHandle Icon(bool big) const;
  std::string Caption() const;
  bool Minimized() const;
  Rect Client() const;
  int SelectionStart(int id) const;
  int SelectionEnd(int id) const;

 private:
  friend class HeadlessBackend;
  HeadlessDialog(HeadlessBackend* backend, HeadlessDialogWindow* dialog)
      : backend_(backend), dialog_(dialog) {}
  HeadlessControl* Reach(int id) const;  // usable for input right now, or null
  HeadlessControl* Find(int id) const;
  bool Active() const;

  HeadlessBackend* backend_;
  HeadlessDialogWindow* dialog_;
};

class HeadlessBackend final : public Backend {
 public:
  using ModalScript = std::function<void(HeadlessDialog&)>;

  HeadlessBackend();
  ~HeadlessBackend() override;

  // Scripts, one per RunModal in the order pushed, run once the dialog is initialised. When a
  // script returns with its dialog still open, or RunModal finds no script, the dialog is
  // destroyed and RunModal returns -1; abandonedDialogs() counts these.
  void PushModalScript(ModalScript script);
  size_t pendingScripts() const { return scripts_.size(); }
  // Answers for the next message boxes in order; without one a box is answered with its first
  // button (OK, or Yes), as pressing Enter would.
  void QueueAnswer(int answer);
  size_t pendingAnswers() const { return answers_.size(); }

  const std::vector<MessageBoxRecord>& messageBoxes() const { return messageBoxes_; }
  const std::vector<IconPaintRecord>& iconPaints() const { return iconPaints_; }
  int waitCursorDepth() const { return waitDepth_; }
  int waitCursorBegins() const { return waitBegins_; }
  int unbalancedWaitCursorEnds() const { return waitUnbalancedEnds_; }
  int liveFonts() const;  // made by MakeFont and not released
  int fontsReleasedWhileInUse() const { return fontsReleasedInUse_; }
  int staleHandleUses() const { return staleHandleUses_; }
  int unbalancedPaints() const { return unbalancedPaints_; }
  int abandonedDialogs() const { return abandoned_; }
  int openDialogs() const { return static_cast<int>(dialogs_.size()); }
  IconInfo DescribeIcon(IconHandle icon) const;
  // The client area of a minimised dialog (36 x 36 unless changed).
  void SetMinimizedClientSize(int width, int height);

  // Forgets scripts, answers, records and counters between tests; fonts and icons stay.
  // False (and nothing forgotten) while a dialog runs.
  bool Reset();

  // Backend
  const char* Name() const override { return "headless"; }
  int RunModal(const DialogTemplate& dialog, WindowHandle owner, DialogEvents& events) override;
  void EndModal(WindowHandle dialog, int result) override;
  WindowHandle FindControl(WindowHandle dialog, int id) override;
  int ControlId(WindowHandle control) override;
  void SetText(WindowHandle window, const char* text) override;
  std::string GetText(WindowHandle window) override;
  int GetCheck(WindowHandle button) override;
  void SetCheck(WindowHandle button, int state) override;
  void Enable(WindowHandle window, bool enable) override;
  bool IsEnabled(WindowHandle window) override;
  void Focus(WindowHandle control) override;
  WindowHandle FocusedWindow() override;
  void SelectText(WindowHandle edit, int start, int end) override;
  bool IsMinimized(WindowHandle dialog) override;
  Rect ClientRect(WindowHandle window) override;
  FontHandle MakeFont(const LogFont& description) override;
  void ReleaseFont(FontHandle font) override;
  bool DescribeFont(FontHandle font, LogFont* description) override;
  FontHandle WindowFont(WindowHandle window) override;
  void SetWindowFont(WindowHandle window, FontHandle font, bool redraw) override;
  IconHandle LoadIconResource(int resourceId, const IconImage* image) override;
  IconHandle SetWindowIcon(WindowHandle dialog, IconHandle icon, bool big) override;
  int SystemMetric(int index) override;
  PaintHandle StartPaint(WindowHandle window) override;
  void FinishPaint(WindowHandle window, PaintHandle dc) override;
  void EraseIconBackground(WindowHandle window, PaintHandle dc) override;
  void PaintIcon(PaintHandle dc, int x, int y, IconHandle icon) override;
  int ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                     unsigned style) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;

 protected:
  // Scripts act only between commands: there is nothing to pump while work runs.
  void PumpUntil(const std::atomic<bool>&) override {}

 private:
  friend class HeadlessDialog;
  struct Font;
  struct Icon;
  struct Paint;

  HeadlessWindow* Window(WindowHandle handle);  // null (and counted) when not a live window
  HeadlessControl* Control(WindowHandle handle);
  HeadlessDialogWindow* Dialog(WindowHandle handle);
  Font* FontData(FontHandle handle);
  Paint* PaintData(PaintHandle handle);
  bool FontInUse(FontHandle font) const;
  Rect PixelSize(const HeadlessDialogWindow& dialog, int cx, int cy) const;

  std::deque<ModalScript> scripts_;
  std::deque<int> answers_;
  std::vector<MessageBoxRecord> messageBoxes_;
  std::vector<IconPaintRecord> iconPaints_;
  std::vector<HeadlessDialogWindow*> dialogs_;  // running, innermost last
  std::set<const HeadlessWindow*> liveWindows_;
  std::map<const FontObject*, std::unique_ptr<Font>> fonts_;
  std::map<int, std::unique_ptr<Icon>> icons_;  // by resource id, shared as the system does
  std::map<const PaintObject*, std::unique_ptr<Paint>> paints_;
  int waitDepth_ = 0;
  int waitBegins_ = 0;
  int waitUnbalancedEnds_ = 0;
  int fontsReleasedInUse_ = 0;
  int staleHandleUses_ = 0;
  int unbalancedPaints_ = 0;
  int abandoned_ = 0;
  int minimizedWidth_ = 36;
  int minimizedHeight_ = 36;
};

// The backend of a program linked with the headless backend (the same object as GetBackend()).
HeadlessBackend& Headless();

}  // namespace ui

#endif  // TILTWISE_UI_BACKENDS_HEADLESS_H_
