// The headless backend: dialogs that exist only in memory, for tests and the text demo.
// Deterministic and without I/O. A test scripts the user and the answers to message boxes
// (ui.PushModalScript([](ui::HeadlessDialog& d) { d.Type(...); d.Click(...); });
// ui.QueueAnswer(IDYES); dlg.DoModal();) and reads back everything a user would see, plus the
// record of message boxes, wait cursors, icons and fonts the core keeps (ui/backends/core.h).
//
// Fixed metrics: 96 dots per inch, 32 x 32 icons, and for a font of character height h pixels
// an average character width of (h + 1) / 2 and a cell height of h + h / 4.
#ifndef TILTWISE_UI_BACKENDS_HEADLESS_H_
#define TILTWISE_UI_BACKENDS_HEADLESS_H_

#include <deque>
#include <functional>
#include <string>
#include <utility>

#include "ui/backends/core.h"

namespace ui {

class HeadlessBackend;

// A running dialog as a modal script sees it. Actions return false and do nothing when the
// dialog no longer runs (EndModal was called), another dialog runs on top of it, or the action
// cannot reach the control (no such id, disabled, hidden, or the wrong kind of control).
class HeadlessDialog {
 public:
  bool IsOpen() const { return !dialog_->ended; }
  WindowHandle handle() const { return reinterpret_cast<WindowHandle>(dialog_); }

  // Focuses an edit box and replaces its whole text, as select-all and typing would.
  bool Type(int id, const std::string& text);
  // A mouse click on a push button or check box: it takes the focus, an automatic check box
  // changes its tick, and the dialog gets the command.
  bool Click(int id);
  // Picks one of a drop-down list's choices.
  bool Choose(int id, const std::string& choice);
  // Moves the focus to a control (mouse or Tab) without clicking it.
  bool Focus(int id);
  // Enter: the focused push button's command, else the default push button's, else IDOK.
  bool PressEnter();
  bool PressEscape();                   // IDCANCEL
  bool PressKey(int key, bool ctrl);    // an accelerator: F5, Ctrl+O (virtual-key codes)
  bool CloseBox();                      // the window's close; only with a system menu
  bool Minimize(bool minimize = true);  // false restores; only with a minimise box
  bool Paint();
  // A list the user works in: it takes the focus; null when out of reach. Its click and key
  // methods (ClickTick, PressSpace, ...) are what the user does there.
  ListModel* List(int id);
  IconHandle QueryDragIcon();  // null when the dialog no longer runs

  // What the user sees; neutral values for an unknown id.
  std::string Text(int id) const { return Get(id).text; }
  std::string Shown(int id) const;  // as drawn: one '*' per character in a password box
  int Check(int id) const { return Get(id).check; }
  int FocusedId() const { return dialog_->focus ? dialog_->focus->t->id : 0; }
  int SelectionStart(int id) const { return Get(id).selStart; }
  int SelectionEnd(int id) const { return Get(id).selEnd; }
  // A control's font; id 0 gives the dialog's own.
  FontHandle FontOf(int id) const { return id == 0 ? dialog_->font : Get(id).font; }
  LogFont Font(int id) const;
  IconHandle Icon(bool big) const { return big ? dialog_->bigIcon : dialog_->smallIcon; }
  std::string Caption() const { return dialog_->caption; }
  int ProgressPosition(int id) const { return Get(id).position; }

 private:
  friend class HeadlessBackend;
  HeadlessDialog(HeadlessBackend* backend, DialogRecord* dialog)
      : backend_(backend), dialog_(dialog) {}
  const ControlRecord& Get(int id) const;

  HeadlessBackend* backend_;
  DialogRecord* dialog_;
};

class HeadlessBackend final : public CoreBackend {
 public:
  using ModalScript = std::function<void(HeadlessDialog&)>;

  // Scripts, one per RunModal in the order pushed, run once the dialog is initialised. When a
  // script returns with its dialog still open, or RunModal finds no script, the dialog is
  // destroyed and RunModal returns -1; abandonedDialogs() counts these.
  void PushModalScript(ModalScript script) { scripts_.push_back(std::move(script)); }
  size_t pendingScripts() const { return scripts_.size(); }
  // Answers for the next message boxes in order; without one a box is answered with its first
  // button (OK, or Yes), as pressing Enter would.
  void QueueAnswer(int answer) { answers_.push_back(answer); }
  size_t pendingAnswers() const { return answers_.size(); }
  int abandonedDialogs() const { return abandoned_; }
  // The client area of a minimised dialog (36 x 36 unless changed).
  void SetMinimizedClientSize(int width, int height) {
    minimizedWidth_ = width;
    minimizedHeight_ = height;
  }

  // Work of RunBusy finds no thread to run on, as when the system has none left.
  void FailThreadStarts(bool fail) { failThreadStarts_ = fail; }

  // Forgets scripts, answers, records and counters between tests; fonts and icons stay.
  // False (and nothing forgotten) while a dialog runs.
  bool Reset();

 protected:
  BaseUnits UnitsOf(const LogFont& font) override;
  void Loop(DialogRecord& dialog) override;
  int Ask(DialogRecord* owner, const MessageBoxRecord& box) override;
  // Scripts act only between commands: there is nothing to pump while work runs.
  void PumpUntil(const std::atomic<bool>&) override {}
  bool StartThread(std::thread* thread, std::function<void()> run) override {
    return !failThreadStarts_ && Backend::StartThread(thread, std::move(run));
  }

 private:
  friend class HeadlessDialog;

  std::deque<ModalScript> scripts_;
  std::deque<int> answers_;
  int abandoned_ = 0;
  bool failThreadStarts_ = false;
};

// The backend of a program linked with the headless backend (the same object as GetBackend()).
HeadlessBackend& Headless();

}  // namespace ui

#endif  // TILTWISE_UI_BACKENDS_HEADLESS_H_
