// The record keeping every backend without native dialogs shares: the dialogs and controls
// that run, fonts, icons, paints, message boxes and the wait cursor, kept in memory with the
// system's rules (ui/DialogRules.h), and the layout dump made from them. A complete backend on
// its own except for the hooks through which a toolkit shows it: the headless backend adds a
// scripted user, the FLTK backend real windows. The Win32 backend needs none of it: the system
// keeps its records.
#ifndef TILTWISE_UI_BACKENDS_CORE_H_
#define TILTWISE_UI_BACKENDS_CORE_H_

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ui/Backend.h"
#include "ui/DialogRules.h"
#include "ui/ListModel.h"

namespace ui {

struct DialogRecord;

struct WindowRecord {
  explicit WindowRecord(bool dialog) : isDialog(dialog) {}
  bool isDialog;
  bool enabled = true;
  FontHandle font = nullptr;
  void* native = nullptr;  // the toolkit's widget or window
};

struct ControlRecord : WindowRecord {
  ControlRecord() : WindowRecord(false) {}
  const ControlTemplate* t = nullptr;
  ControlKind kind = ControlKind::kOther;
  DialogRecord* dialog = nullptr;
  std::string text;  // single-byte, as the user sees it
  int check = 0;
  int selStart = 0;
  int selEnd = 0;
  std::unique_ptr<ListModel> list;           // a list's rows
  int lower = 0, upper = 100, position = 0;  // a progress bar's
};

struct DialogRecord : WindowRecord {
  DialogRecord() : WindowRecord(true) {}
  const DialogTemplate* t = nullptr;
  DialogEvents* events = nullptr;
  std::vector<std::unique_ptr<ControlRecord>> controls;
  std::string caption;
  BaseUnits units{1, 1};
  bool ended = false;
  int result = -1;
  bool shown = false;  // the layout dump lists it from then on
  bool minimized = false;
  FontHandle ownFont = nullptr;  // made from the template, released with the window
  IconHandle bigIcon = nullptr;
  IconHandle smallIcon = nullptr;
  ControlRecord* focus = nullptr;
  ControlRecord* Find(int id) const;
};

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

class CoreBackend : public Backend {
 public:
  // What went on, for tests.
  const std::vector<MessageBoxRecord>& messageBoxes() const { return messageBoxes_; }
  const std::vector<IconPaintRecord>& iconPaints() const { return iconPaints_; }
  int waitCursorDepth() const { return waitDepth_; }
  int waitCursorBegins() const { return waitBegins_; }
  int unbalancedWaitCursorEnds() const { return waitUnbalancedEnds_; }
  int liveFonts() const {  // made by MakeFont and not released
    int n = 0;
    for (const auto& f : fonts_) n += f.second->backendOwned ? 0 : 1;
    return n;
  }
  int fontsReleasedWhileInUse() const { return fontsReleasedInUse_; }
  int staleHandleUses() const { return staleHandleUses_; }
  int unbalancedPaints() const { return unbalancedPaints_; }
  int openDialogs() const { return static_cast<int>(dialogs_.size()); }
  IconInfo DescribeIcon(IconHandle icon) const;

  // Backend
  int RunModal(const DialogTemplate& dialog, WindowHandle owner, DialogEvents& events) override;
  void EndModal(WindowHandle dialog, int result) override;
  WindowHandle FindControl(WindowHandle dialog, int id) override;
  void SetText(WindowHandle window, const char* text) override;
  std::string GetText(WindowHandle window) override;
  int GetCheck(WindowHandle button) override;
  void SetCheck(WindowHandle button, int state) override;
  void Focus(WindowHandle control) override;
  void SelectText(WindowHandle edit, int start, int end) override;
  bool IsMinimized(WindowHandle dialog) override {
    DialogRecord* d = Dialog(dialog);
    return d && d->minimized;
  }
  Rect ClientRect(WindowHandle window) override;
  ListModel* List(WindowHandle list) override;
  void SetProgress(WindowHandle bar, int lower, int upper, int position) override;
  FontHandle MakeFont(const LogFont& description) override;
  void ReleaseFont(FontHandle font) override;
  bool DescribeFont(FontHandle font, LogFont* description) override;
  FontHandle WindowFont(WindowHandle window) override;
  void SetWindowFont(WindowHandle window, FontHandle font, bool redraw) override;
  IconHandle LoadIconResource(int resourceId, const IconImage* image) override;
  IconHandle SetWindowIcon(WindowHandle dialog, IconHandle icon, bool big) override;
  int SystemMetric(int index) override;
  PaintHandle StartPaint(WindowHandle window) override;
  void FinishPaint(WindowHandle, PaintHandle dc) override { paints_.erase(dc); }
  void EraseIconBackground(WindowHandle window, PaintHandle dc) override;
  void PaintIcon(PaintHandle dc, int x, int y, IconHandle icon) override;
  int ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                     unsigned style) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;

 protected:
  static WindowHandle ToHandle(WindowRecord* w) { return reinterpret_cast<WindowHandle>(w); }
  WindowRecord* Record(WindowHandle handle);  // null (and counted) when not a live window
  ControlRecord* Control(WindowHandle handle);
  DialogRecord* Dialog(WindowHandle handle);
  const LogFont* FontOf(FontHandle font) const;
  const IconInfo* IconOf(IconHandle icon) const;
  DialogRecord* Top() const { return dialogs_.empty() ? nullptr : dialogs_.back(); }
  const std::vector<DialogRecord*>& dialogs() const { return dialogs_; }

  // Input as a user gives it, under the system's rules. Each is ignored unless `dialog` is the
  // innermost running one, and the control is there, visible and enabled.
  bool Active(const DialogRecord& dialog) const;
  ControlRecord* Reach(DialogRecord& dialog, int id);
  void Command(DialogRecord& dialog, int id);  // then the layout dump
  void Close(DialogRecord& dialog);            // the window manager's close
  void Click(ControlRecord& control);          // takes the focus, ticks, commands
  void PressEnter(DialogRecord& dialog);       // the focused push button, else the default one

  // Writes a layout block (ui/LayoutDump.h) when the test hook is on.
  void Dump(const std::string& event);

  // The toolkit's part. Only Loop is required: the rest do nothing where nothing is shown.
  virtual bool Prepare() { return true; }  // before a dialog is made; false: RunModal fails
  virtual BaseUnits UnitsOf(const LogFont& font) = 0;
  virtual void Create(DialogRecord&) {}  // the records are complete
  // Shows the dialog and handles its events until it has ended.
  virtual void Loop(DialogRecord& dialog) = 0;
  virtual void Destroy(DialogRecord&) {}  // HandleDestroy has run
  virtual void Ended(DialogRecord&) {}
  virtual void Changed(WindowRecord&) {}  // text, check, selection or enabled state
  virtual void FocusChanged(ControlRecord&) {}
  virtual void FontChanged(WindowRecord&, bool /*redraw*/) {}
  virtual void IconsChanged(DialogRecord&) {}
  virtual bool CanDraw(DialogRecord&) { return false; }
  virtual void EraseBackground(DialogRecord&) {}
  virtual void DrawIcon(DialogRecord&, int /*x*/, int /*y*/, const IconInfo&) {}
  // The answer of the user; 0 when no box could be shown.
  virtual int Ask(DialogRecord* owner, const MessageBoxRecord& box) = 0;
  virtual void ShowWaitCursor(bool) {}

  int minimizedWidth_ = 36;  // the client area of a minimised dialog
  int minimizedHeight_ = 36;
  int staleHandleUses_ = 0;
  std::vector<MessageBoxRecord> messageBoxes_;
  std::vector<IconPaintRecord> iconPaints_;
  std::vector<const MessageBoxRecord*> messagesUp_;  // innermost last
  int waitBegins_ = 0;
  int waitUnbalancedEnds_ = 0;
  int fontsReleasedInUse_ = 0;
  int unbalancedPaints_ = 0;

 private:
  struct Font {
    LogFont description;
    bool backendOwned = false;
  };
  struct Paint {
    DialogRecord* dialog = nullptr;
    bool erased = false;
    bool canDraw = false;
  };
  bool FontInUse(FontHandle font) const;

  std::vector<DialogRecord*> dialogs_;  // running, innermost last
  std::set<const WindowRecord*> live_;
  std::map<const FontObject*, std::unique_ptr<Font>> fonts_;
  std::map<int, std::unique_ptr<IconInfo>> icons_;  // by resource id, shared as the system does
  std::map<const PaintObject*, std::unique_ptr<Paint>> paints_;
  int waitDepth_ = 0;
};

}  // namespace ui

#endif  // TILTWISE_UI_BACKENDS_CORE_H_
