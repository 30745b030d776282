#include "ui/backends/fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Image.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Secret_Input.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace ui {
namespace fltk {
namespace {

void Nothing(void*) {}

int CellHeight(Fl_Font face, int size) {
  if (!fl_display) return size + size / 4;
  fl_font(face, size);
  return fl_height();
}

}  // namespace

int FaceOf(const LogFont& font) {
  Face f = ChooseFace(font);
  Fl_Font base = f.family == Family::kMono    ? FL_COURIER
                 : f.family == Family::kSerif ? FL_TIMES
                                              : FL_HELVETICA;
  return base + (f.bold ? FL_BOLD : 0) + (f.italic ? FL_ITALIC : 0);
}

int SizeOf(const LogFont& font) {
  const Fl_Font face = FaceOf(font);
  return FontSize(
      font.lfHeight, [face](int size) { return CellHeight(face, size); }, kDefaultSize);
}

// Bounded, because WakeLoop's timeout can be spent in the very pass that ran a late timer, and
// an unbounded wait would then sleep until the next X event.
void WaitTurn() {
  Fl::wait(0.1);
}

void WakeLoop() {
  Fl::add_timeout(0.001, &Nothing);
}

std::string FlLabel(const std::string& cp1252) {
  std::string out;
  for (char c : Cp1252ToUtf8(cp1252)) {
    out += c;
    if (c == '@') out += '@';
  }
  return out;
}

void Centre(Fl_Window& window, Fl_Window* owner) {
  int areaX, areaY, areaW, areaH;
  Fl::screen_work_area(areaX, areaY, areaW, areaH, 0);
  int centreX = areaX + areaW / 2, centreY = areaY + areaH / 2;
  if (owner && owner->shown()) {
    centreX = owner->x() + owner->w() / 2;
    centreY = owner->y() + owner->h() / 2;
  }
  window.position(std::max(areaX, centreX - window.w() / 2),
                  std::max(areaY, centreY - window.h() / 2));
}

}  // namespace fltk

namespace {

using namespace fltk;

// Static controls: text at the top, aligned as the style says, never a symbol.
class Label : public Fl_Widget {
 public:
  Label(int x, int y, int w, int h, Fl_Align align) : Fl_Widget(x, y, w, h), align_(align) {}
  void SetText(const std::string& cp1252) {
    text_ = StripMnemonics(Cp1252ToUtf8(cp1252));
    // No box of its own: the window repaints what lies beneath, the whole row, as a one-line
    // label may have reached past its ends.
    if (window()) {
      window()->damage(FL_DAMAGE_ALL, 0, y(), window()->w(), h());
    } else {
      redraw();
    }
  }
  int handle(int) override { return 0; }

 protected:
  void draw() override {
    fl_font(labelfont(), labelsize());
    fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
    Fl_Align align = align_ | FL_ALIGN_TOP | FL_ALIGN_INSIDE;
    // A label one line high keeps its words on that line even where this face runs wider than
    // the one the layout was made for; taller labels wrap and clip as the system's do.
    if (h() >= 2 * fl_height()) align |= FL_ALIGN_WRAP | FL_ALIGN_CLIP;
    fl_draw(text_.c_str(), x(), y(), w(), h(), align, nullptr, 0);
  }

 private:
  Fl_Align align_;
  std::string text_;
};

// A group box: an etched frame whose title sits on its top edge.
class GroupBox : public Fl_Widget {
 public:
  GroupBox(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}
  void SetText(const std::string& cp1252) {
    text_ = StripMnemonics(Cp1252ToUtf8(cp1252));
    redraw_label();  // no box of its own: the window repaints what lies beneath
  }
  int handle(int) override { return 0; }

 protected:
  void draw() override {
    fl_font(labelfont(), labelsize());
    int textHeight = fl_height();
    int top = y() + textHeight / 2 - 1;
    fl_draw_box(FL_ENGRAVED_FRAME, x(), top, w(), h() - (top - y()), color());
    if (text_.empty()) return;
    int textWidth = static_cast<int>(fl_width(text_.c_str()) + 0.5);
    textWidth = std::min(textWidth, w() - 16);
    fl_color(parent() ? parent()->color() : color());
    fl_rectf(x() + 6, y(), textWidth + 3, textHeight);
    fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
    fl_push_clip(x() + 7, y(), textWidth + 1, textHeight);
    fl_draw(text_.c_str(), x() + 7, y() + textHeight - fl_descent());
    fl_pop_clip();
  }

 private:
  std::string text_;
};

// Edit boxes; a number-only box swallows other typed characters, as the system's does.
template <class Base>
class Edit : public Base {
 public:
  Edit(int x, int y, int w, int h, bool numberOnly) : Base(x, y, w, h), numberOnly_(numberOnly) {}
  int handle(int event) override {
    if (numberOnly_ && event == FL_KEYBOARD && Fl::event_length() > 0 &&
        !(Fl::event_state() & (FL_CTRL | FL_ALT | FL_META))) {
      char c = Fl::event_text()[0];
      if (c >= ' ' && (c < '0' || c > '9')) {
        fl_beep();
        return 1;
      }
    }
    return Base::handle(event);
  }

 private:
  bool numberOnly_;
};

class DialogWindow;

class FltkBackend final : public CoreBackend {
 public:
  bool Connect() override { return OpenDisplay(false); }
  bool IsMinimized(WindowHandle dialog) override;

  // From the windows. The screen shows the press (a tick, the button back up) before a
  // handler that may take a while.
  void UserCommand(DialogRecord& d, int id) {
    Fl::flush();
    Command(d, id);
  }
  void UserEnter(DialogRecord& d) {
    Fl::flush();
    PressEnter(d);
  }
  void UserClick(ControlRecord& c) {
    Fl::flush();
    Click(c);
  }
  void UserClose(DialogRecord& d) {
    Fl::flush();
    Close(d);
  }
  void Painted(DialogRecord& d);

 protected:
  bool Prepare() override { return OpenDisplay(false); }
  BaseUnits UnitsOf(const LogFont& font) override;
  void Create(DialogRecord& d) override;
  void Loop(DialogRecord& d) override;
  void Destroy(DialogRecord& d) override;
  void Ended(DialogRecord&) override { WakeLoop(); }
  void Changed(WindowRecord& w) override;
  void FocusChanged(ControlRecord& c) override;
  void FontChanged(WindowRecord& w, bool redraw) override;
  void IconsChanged(DialogRecord& d) override;
  bool CanDraw(DialogRecord& d) override;
  void EraseBackground(DialogRecord& d) override;
  void DrawIcon(DialogRecord& d, int x, int y, const IconInfo& icon) override;
  int Ask(DialogRecord* owner, const MessageBoxRecord& box) override;
  void ShowWaitCursor(bool on) override;
  void PumpUntil(const std::atomic<bool>& done) override;
  void Wake() override { Fl::awake(&FltkBackend::Awoken, nullptr); }

 private:
  static void Awoken(void*);
  bool OpenDisplay(bool quiet);
  Fl_RGB_Image* Image(const IconInfo& icon);
  void BuildControl(ControlRecord& c);

  std::map<const IconImage*, std::unique_ptr<Fl_RGB_Image>> images_;
};

FltkBackend& Instance() {
  static FltkBackend backend;
  return backend;
}

void FltkBackend::Awoken(void*) {
  Instance().RunPosted();
}

Fl_Widget* Widget(const ControlRecord& c) {
  return static_cast<Fl_Widget*>(c.native);
}

class DialogWindow : public Fl_Double_Window {
 public:
  DialogWindow(int w, int h, DialogRecord* dialog) : Fl_Double_Window(w, h), dialog_(dialog) {}

  bool inDraw = false;

  int handle(int event) override {
    if (event == FL_FOCUS && RestoreFocus()) return 1;
    int used = Handle(event);
    Fl_Widget* focus = Fl::focus();
    if (focus && focus != this && contains(focus)) {
      dialog_->focus = static_cast<ControlRecord*>(focus->user_data());
    }
    return used;
  }

  // Like the system's dialogs, the window gives the focus back to the control that had it when
  // the window lost it, rather than to its first control.
  bool RestoreFocus() {
    Fl_Widget* w = dialog_->focus ? Widget(*dialog_->focus) : nullptr;
    return w && w->visible() && w->active() && w->take_focus();
  }

 protected:
  void draw() override {
    Fl_Double_Window::draw();
    Instance().Painted(*dialog_);
  }

 private:
  int Handle(int event) {
    if ((event == FL_KEYBOARD || event == FL_SHORTCUT) && (!Fl::modal() || Fl::modal() == this)) {
      // Handled here, before the window's own handling: FLTK would close the window on Escape
      // and move the focus on Enter.
      int key = Fl::event_key();
      const bool ctrl = Fl::event_state(FL_CTRL) != 0;
      const int vk = key == FL_F + 5                         ? win::kVkF5
                     : key == FL_Enter || key == FL_KP_Enter ? win::kVkReturn
                     : key >= 'a' && key <= 'z'              ? key - 'a' + 'A'
                                                             : 0;
      if (vk != 0 && (ctrl || vk == win::kVkF5) && dialog_->events->HandleAccelerator(vk, ctrl))
        return 1;
      if (key == FL_Escape) {
        Instance().UserCommand(*dialog_, win::kIdCancel);
        return 1;
      }
      if (key == FL_Enter || key == FL_KP_Enter) {
        Instance().UserEnter(*dialog_);
        return 1;
      }
      if (Fl::event_state(FL_ALT) && FocusByLabel(*dialog_, key)) return 1;
    }
    return Fl_Double_Window::handle(event);
  }

  DialogRecord* dialog_;
};

DialogWindow* Window(const DialogRecord& d) {
  return static_cast<DialogWindow*>(d.native);
}

void OnControl(Fl_Widget*, void* data) {
  Instance().UserClick(*static_cast<ControlRecord*>(data));
}

void OnEdit(Fl_Widget* w, void* data) {
  static_cast<ControlRecord*>(data)->text = Utf8ToCp1252(static_cast<Fl_Input*>(w)->value());
}

void OnDialogClose(Fl_Widget*, void* data) {
  Instance().UserClose(*static_cast<DialogRecord*>(data));
}

// While work runs: everything but the user's input reaches the windows (pointer crossings
// too, or an edit box would put up its own cursor over the wait cursor), the window manager's
// close among them (FL_CLOSE lies between the key events).
int DropInput(int event, Fl_Window* window) {
  const bool input = (event >= FL_PUSH && event <= FL_DRAG) || event == FL_KEYDOWN ||
                     event == FL_KEYUP || event == FL_MOVE || event == FL_SHORTCUT ||
                     event == FL_PASTE || (event >= FL_MOUSEWHEEL && event <= FL_DND_RELEASE);
  return input ? 1 : Fl::handle_(event, window);
}

bool FltkBackend::OpenDisplay(bool quiet) {
  if (fl_display) return true;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    if (!quiet) {
      const char* name = std::getenv("DISPLAY");
      if (name && *name) {
        std::fprintf(stderr, "%s: no display (cannot open \"%s\")\n", program_invocation_short_name,
                     name);
      } else {
        std::fprintf(stderr, "%s: no display (set DISPLAY)\n", program_invocation_short_name);
      }
    }
    return false;
  }
  fl_open_display(display);
  Fl::lock();          // lets workers wake the loop (Fl::awake); this thread keeps the lock
  Fl::scheme("gtk+");  // at home on a current desktop
  return true;
}

bool FltkBackend::IsMinimized(WindowHandle dialog) {
  DialogRecord* d = Dialog(dialog);
  return d && Window(*d)->shown() && !Window(*d)->visible();
}

BaseUnits FltkBackend::UnitsOf(const LogFont& font) {
  fl_font(FaceOf(font), SizeOf(font));
  return BaseUnitsFromMetrics(static_cast<int>(fl_width(kAverageWidthSample) + 0.5), fl_height());
}

void FltkBackend::BuildControl(ControlRecord& c) {
  const ControlTemplate& t = *c.t;
  Rect r = ControlPixels(t, c.dialog->units);
  int x = r.left, y = r.top, w = r.Width(), h = r.Height();
  Fl_Widget* widget = nullptr;
  switch (c.kind) {
    case ControlKind::kEdit: {
      bool number = (t.style & style::kEsNumber) != 0;
      Fl_Input* input = IsPassword(t)
                            ? static_cast<Fl_Input*>(new Edit<Fl_Secret_Input>(x, y, w, h, number))
                            : new Edit<Fl_Input>(x, y, w, h, number);
      input->box((t.style & style::kBorder) ? FL_DOWN_BOX : FL_FLAT_BOX);
      input->color(FL_BACKGROUND2_COLOR);
      input->when(FL_WHEN_CHANGED);
      input->callback(&OnEdit, &c);
      widget = input;
      break;
    }
    case ControlKind::kPushButton:
    case ControlKind::kDefPushButton:
      widget = new Fl_Button(x, y, w, h);
      widget->callback(&OnControl, &c);
      break;
    case ControlKind::kCheckBox:
    case ControlKind::kAutoCheckBox:
      widget = new Fl_Check_Button(x, y, w, h);
      widget->callback(&OnControl, &c);
      break;
    case ControlKind::kGroupBox:
      widget = new GroupBox(x, y, w, h);
      break;
    case ControlKind::kChoice:
    case ControlKind::kList:
    case ControlKind::kProgress:
    case ControlKind::kStatus:
      widget = BuildCommonControl(c, x, y, w, h);
      break;
    case ControlKind::kLabel:
    case ControlKind::kOther: {
      unsigned align = t.style & style::kSsAlignMask;
      widget = new Label(x, y, w, h,
                         align == style::kSsRight    ? FL_ALIGN_RIGHT
                         : align == style::kSsCenter ? FL_ALIGN_CENTER
                                                     : FL_ALIGN_LEFT);
      break;
    }
  }
  widget->user_data(&c);
  c.native = widget;
  // Without a tab stop a control is left out of Tab but still takes the focus when clicked.
  if (!(t.style & style::kTabStop)) widget->clear_visible_focus();
  if (!(t.style & style::kVisible)) widget->hide();
  Changed(c);
  FontChanged(c, false);
}

void FltkBackend::Create(DialogRecord& d) {
  Rect client = ClientPixels(*d.t, d.units);
  auto* win = new DialogWindow(client.Width(), client.Height(), &d);
  d.native = win;
  win->copy_label(Cp1252ToUtf8(d.caption).c_str());
  win->xclass(program_invocation_short_name);
  win->callback(&OnDialogClose, &d);
  win->size_range(client.Width(), client.Height(), client.Width(), client.Height());
  win->set_modal();
  Centre(*win, Top() ? Window(*Top()) : nullptr);
  win->begin();
  for (auto& c : d.controls) BuildControl(*c);
  win->end();
}

void FltkBackend::Loop(DialogRecord& d) {
  DialogWindow* win = Window(d);
  if (waitCursorDepth() > 0) win->cursor(FL_CURSOR_WAIT);
  win->show();
  win->RestoreFocus();
  while (!d.ended) {
    WaitTurn();
    RunPosted();  // should a wake have been lost (a full wake queue)
  }
}

void FltkBackend::Destroy(DialogRecord& d) {
  DialogWindow* win = Window(d);
  win->hide();
  delete win;
  d.native = nullptr;
  Fl::flush();
}

void FltkBackend::Painted(DialogRecord& d) {
  if (!d.shown) {
    d.shown = true;
    Dump("shown");
  }
  DialogWindow* win = Window(d);
  if (d.ended || win->inDraw) return;
  win->inDraw = true;
  d.events->HandlePaint();
  win->inDraw = false;
}

void FltkBackend::Changed(WindowRecord& w) {
  if (w.isDialog) {
    auto& d = static_cast<DialogRecord&>(w);
    if (!Window(d)) return;
    Window(d)->copy_label(Cp1252ToUtf8(d.caption).c_str());
    if (d.enabled) {
      Window(d)->activate();
    } else {
      Window(d)->deactivate();
    }
    return;
  }
  auto& c = static_cast<ControlRecord&>(w);
  Fl_Widget* widget = Widget(c);
  switch (c.kind) {
    case ControlKind::kEdit: {
      auto* input = static_cast<Fl_Input*>(widget);
      if (Utf8ToCp1252(input->value()) != c.text) input->value(Cp1252ToUtf8(c.text).c_str());
      input->position(Utf8Offset(input->value(), c.selEnd), Utf8Offset(input->value(), c.selStart));
      break;
    }
    case ControlKind::kGroupBox:
      static_cast<GroupBox*>(widget)->SetText(c.text);
      break;
    case ControlKind::kLabel:
    case ControlKind::kOther:
      static_cast<Label*>(widget)->SetText(c.text);
      break;
    case ControlKind::kCheckBox:
    case ControlKind::kAutoCheckBox:
      static_cast<Fl_Check_Button*>(widget)->value(c.check);
      [[fallthrough]];
    case ControlKind::kPushButton:
    case ControlKind::kDefPushButton:
      widget->copy_label(FlLabel(c.text).c_str());
      widget->redraw();
      break;
    case ControlKind::kChoice:
    case ControlKind::kList:
    case ControlKind::kProgress:
    case ControlKind::kStatus:
      ShowCommonControl(c);
      break;
  }
  if (c.enabled) {
    widget->activate();
  } else {
    widget->deactivate();
  }
}

void FltkBackend::FocusChanged(ControlRecord& c) {
  Widget(c)->take_focus();
}

void FltkBackend::FontChanged(WindowRecord& w, bool redraw) {
  const LogFont* font = FontOf(w.font);
  if (w.isDialog || !font) return;
  auto& c = static_cast<ControlRecord&>(w);
  Fl_Widget* widget = Widget(c);
  const int face = FaceOf(*font), size = SizeOf(*font);
  widget->labelfont(face);
  widget->labelsize(size);
  if (c.kind == ControlKind::kEdit) {
    static_cast<Fl_Input_*>(widget)->textfont(face);
    static_cast<Fl_Input_*>(widget)->textsize(size);
  }
  if (redraw) widget->redraw();
}

Fl_RGB_Image* FltkBackend::Image(const IconInfo& icon) {
  std::unique_ptr<Fl_RGB_Image>& image = images_[icon.image];
  if (!image) image = std::make_unique<Fl_RGB_Image>(icon.image->rgba, icon.width, icon.height, 4);
  return image.get();
}

void FltkBackend::IconsChanged(DialogRecord& d) {
  // The window manager picks the size it needs from the pictures given.
  const Fl_RGB_Image* images[2];
  int count = 0;
  for (IconHandle h : {d.bigIcon, d.smallIcon}) {
    const IconInfo* icon = IconOf(h);
    if (icon && (count == 0 || images[0] != Image(*icon))) images[count++] = Image(*icon);
  }
  Window(d)->icons(images, count);
}

bool FltkBackend::CanDraw(DialogRecord& d) {
  DialogWindow* win = Window(d);
  if (win->inDraw) return true;
  if (!win->shown() || !win->visible()) return false;
  // Outside a paint the system would draw straight onto the window: so do we.
  win->make_current();
  return true;
}

void FltkBackend::EraseBackground(DialogRecord& d) {
  fl_rectf(0, 0, Window(d)->w(), Window(d)->h(), Window(d)->color());
}

void FltkBackend::DrawIcon(DialogRecord&, int x, int y, const IconInfo& icon) {
  Image(icon)->draw(x, y);
}

int FltkBackend::Ask(DialogRecord* owner, const MessageBoxRecord& box) {
  if (!OpenDisplay(true)) {
    // Nobody can see a box: the text is not lost.
    std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
    return 0;
  }
  return RunMessageBox(box, owner ? Window(*owner) : nullptr, [this] { Dump("message"); });
}

void FltkBackend::ShowWaitCursor(bool on) {
  for (DialogRecord* d : dialogs()) {
    if (Window(*d) && Window(*d)->shown())
      Window(*d)->cursor(on ? FL_CURSOR_WAIT : FL_CURSOR_DEFAULT);
  }
  // What follows may take a while: the cursor must reach the screen now.
  Fl::flush();
}

void FltkBackend::PumpUntil(const std::atomic<bool>& done) {
  Fl_Event_Dispatch previous = Fl::event_dispatch();
  Fl::event_dispatch(&DropInput);
  while (!done) Fl::wait(0.05);
  Fl::event_dispatch(previous);
}

}  // namespace

Backend& GetBackend() {
  return Instance();
}

}  // namespace ui
