#include "ui/backends/fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Image.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Secret_Input.H>
#include <FL/Fl_Widget.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "ui/LayoutDump.h"

namespace ui {

namespace fltk {

const char kAverageWidthSample[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

namespace {

using namespace win;

constexpr int kMaxFontSize = 512;

// Windows-1252 bytes 0x80..0x9F; the five the code page leaves open map to the same code point.
constexpr unsigned kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char ToCp1252(unsigned cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

std::string Lower(const char* s) {
  std::string out;
  for (; *s; ++s) out += static_cast<char>(*s >= 'A' && *s <= 'Z' ? *s - 'A' + 'a' : *s);
  return out;
}

}  // namespace

BaseUnits BaseUnitsFromMetrics(int sampleWidth, int cellHeight) {
  BaseUnits units;
  units.cx = std::max(1, (sampleWidth / 26 + 1) / 2);
  units.cy = std::max(1, cellHeight);
  return units;
}

Rect ControlPixels(const ControlTemplate& control, BaseUnits units) {
  Rect r;
  r.left = DialogUnitsToPixelsX(control.x, units.cx);
  r.top = DialogUnitsToPixelsY(control.y, units.cy);
  r.right = r.left + DialogUnitsToPixelsX(control.cx, units.cx);
  r.bottom = r.top + DialogUnitsToPixelsY(control.cy, units.cy);
  return r;
}

Rect ClientPixels(const DialogTemplate& dialog, BaseUnits units) {
  Rect r;
  r.right = DialogUnitsToPixelsX(dialog.cx, units.cx);
  r.bottom = DialogUnitsToPixelsY(dialog.cy, units.cy);
  return r;
}

Face ChooseFace(const LogFont& font) {
  char name[sizeof font.lfFaceName + 1] = {};
  std::memcpy(name, font.lfFaceName, sizeof font.lfFaceName);
  std::string face = Lower(name);
  auto has = [&face](const char* part) { return face.find(part) != std::string::npos; };
  Face f{Family::kSans, font.lfWeight >= 600, font.lfItalic != 0};
  if (has("courier") || has("mono") || has("console") || has("fixed") || has("terminal")) {
    f.family = Family::kMono;
  } else if (has("times") || has("roman") || has("georgia") || (has("serif") && !has("sans"))) {
    f.family = Family::kSerif;
  } else if (face.empty()) {
    // No name: the pitch and family bits decide, as the font mapper lets them.
    int family = font.lfPitchAndFamily & 0xF0;
    if ((font.lfPitchAndFamily & 0x3) == 1 || family == 0x30) {
      f.family = Family::kMono;
    } else if (family == 0x10) {
      f.family = Family::kSerif;
    }
  }
  return f;
}

int FontSize(int lfHeight, const std::function<int(int)>& cellHeightOf, int defaultSize) {
  if (lfHeight == 0) return std::max(1, defaultSize);
  if (lfHeight < 0) {
    // A character height: the cell the system gives it has a quarter more for accents. Faces
    // differ in how much of their size is leading, so the cell is what has to match.
    int character = lfHeight < -kMaxFontSize ? kMaxFontSize : -lfHeight;
    lfHeight = character + character / 4;
  }
  // The largest size whose cell fits; cells grow with the size.
  int lo = 1;
  int hi = std::min(lfHeight, kMaxFontSize);
  if (cellHeightOf(lo) > lfHeight) return 1;
  while (lo < hi) {
    int mid = lo + (hi - lo + 1) / 2;
    if (cellHeightOf(mid) <= lfHeight) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  return lo;
}

std::vector<MessageButton> MessageBoxButtons(unsigned style) {
  switch (style & 0xF) {
    case 1:
      return {{kIdOk, "OK"}, {kIdCancel, "Cancel"}};
    case 2:
      return {{kIdAbort, "&Abort"}, {kIdRetry, "&Retry"}, {kIdIgnore, "&Ignore"}};
    case 3:
      return {{kIdYes, "&Yes"}, {kIdNo, "&No"}, {kIdCancel, "Cancel"}};
    case 4:
      return {{kIdYes, "&Yes"}, {kIdNo, "&No"}};
    case 5:
      return {{kIdRetry, "&Retry"}, {kIdCancel, "Cancel"}};
    case 6:
      return {{kIdCancel, "Cancel"}, {kIdTryAgain, "&Try Again"}, {kIdContinue, "&Continue"}};
    default:
      return {{kIdOk, "OK"}};
  }
}

int MessageBoxDefaultButton(unsigned style) {
  int index = static_cast<int>((style >> 8) & 0xF);
  return index < static_cast<int>(MessageBoxButtons(style).size()) ? index : 0;
}

int MessageBoxEscapeAnswer(unsigned style) {
  std::vector<MessageButton> buttons = MessageBoxButtons(style);
  for (const MessageButton& b : buttons) {
    if (b.id == kIdCancel) return kIdCancel;
  }
  return buttons.size() == 1 && buttons[0].id == kIdOk ? kIdOk : 0;
}

MessageIcon MessageBoxIconOf(unsigned style) {
  switch (style & 0xF0) {
    case 0x10:
      return MessageIcon::kStop;
    case 0x20:
      return MessageIcon::kQuestion;
    case 0x30:
      return MessageIcon::kExclamation;
    case 0x40:
      return MessageIcon::kInformation;
    default:
      return MessageIcon::kNone;
  }
}

std::string Cp1252ToUtf8(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c);
  }
  return out;
}

std::string Utf8ToCp1252(const std::string& text) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c < 0x80             ? 0
                : (c & 0xE0) == 0xC0 ? 1
                : (c & 0xF0) == 0xE0 ? 2
                : (c & 0xF8) == 0xF0 ? 3
                                     : -1;
    if (extra < 0) {  // a follower without a lead
      out += '?';
      ++i;
      continue;
    }
    unsigned cp = extra == 0 ? c : c & (0x3F >> extra);
    int n = 0;
    while (n < extra && i + 1 + n < text.size() &&
           (static_cast<unsigned char>(text[i + 1 + n]) & 0xC0) == 0x80) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + 1 + n]) & 0x3F);
      ++n;
    }
    // A sequence cut short counts as one character that cannot be shown.
    out += n == extra ? ToCp1252(cp) : '?';
    i += 1 + n;
  }
  return out;
}

std::string StripMnemonics(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '&') {
      out += '&';
      ++i;
    }
  }
  return out;
}

}  // namespace fltk

// ---- The backend

namespace {

using namespace fltk;

constexpr int kDpi = 96;
constexpr int kIconSize = 32;
constexpr int kSmallIconSize = 16;
// The FLTK size for a font that names no height.
constexpr int kDefaultSize = 12;
// Message boxes use the system's message font, 9 point.
constexpr int kMessagePoints = 9;

Fl_Font FlFace(Face f) {
  Fl_Font base = f.family == Family::kMono    ? FL_COURIER
                 : f.family == Family::kSerif ? FL_TIMES
                                              : FL_HELVETICA;
  return base + (f.bold ? FL_BOLD : 0) + (f.italic ? FL_ITALIC : 0);
}

bool HaveDisplay() {
  return fl_display != nullptr;
}

int CellHeight(Fl_Font face, int size) {
  if (!HaveDisplay()) return size + size / 4;
  fl_font(face, size);
  return fl_height();
}

// A label for a widget FLTK draws itself: '@' starts a symbol there.
std::string FlLabel(const std::string& cp1252) {
  std::string utf8 = Cp1252ToUtf8(cp1252);
  std::string out;
  for (char c : utf8) {
    out += c;
    if (c == '@') out += '@';
  }
  return out;
}

// Byte offset in UTF-8 text of character `n` (the end when n is past it or negative).
int Utf8Offset(const char* text, int n) {
  int len = static_cast<int>(std::strlen(text));
  if (n < 0) return len;
  int i = 0;
  for (int k = 0; k < n && i < len; ++k) {
    ++i;
    while (i < len && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return i;
}

bool IsPushButton(ControlKind k) {
  return k == ControlKind::kPushButton || k == ControlKind::kDefPushButton;
}

bool IsCheckBox(ControlKind k) {
  return k == ControlKind::kCheckBox || k == ControlKind::kAutoCheckBox;
}

class FltkBackend;
struct DialogRecord;

void Nothing(void*) {}

// Ends a modal loop's current wait: a loop ended from a timer (not from an event) would
// otherwise sleep until the next event arrives.
void WakeLoop() {
  Fl::add_timeout(0.001, &Nothing);
}

// One turn of a modal loop. Bounded, because WakeLoop's timeout can be spent in the very pass
// that ran a late timer, and an unbounded wait would then sleep until the next X event.
void WaitTurn() {
  Fl::wait(0.1);
}

struct WindowRecord {
  explicit WindowRecord(bool dialog) : isDialog(dialog) {}
  bool isDialog;
  FontHandle font = nullptr;
};

struct ControlRecord : WindowRecord {
  ControlRecord() : WindowRecord(false) {}
  const ControlTemplate* t = nullptr;
  ControlKind kind = ControlKind::kOther;
  DialogRecord* dialog = nullptr;
  Fl_Widget* widget = nullptr;  // owned by the dialog's window
  std::string text;             // single-byte, as set (edit boxes keep theirs in the widget)
  bool indeterminate = false;
};

class DialogWindow;

struct DialogRecord : WindowRecord {
  DialogRecord() : WindowRecord(true) {}
  const DialogTemplate* t = nullptr;
  DialogEvents* events = nullptr;
  std::unique_ptr<DialogWindow> window;
  std::vector<std::unique_ptr<ControlRecord>> controls;
  std::string caption;
  BaseUnits units{1, 1};
  bool ended = false;
  int result = -1;
  bool drawn = false;
  bool inDraw = false;
  FontHandle ownFont = nullptr;
  IconHandle bigIcon = nullptr;
  IconHandle smallIcon = nullptr;
  Fl_Widget* savedFocus = nullptr;  // the control to focus when the window gets the focus back
};

struct FontRecord {
  LogFont description;
  Fl_Font face = FL_HELVETICA;
  int size = kDefaultSize;
  bool backendOwned = false;
};

struct IconRecord {
  std::unique_ptr<Fl_RGB_Image> image;
};

struct PaintRecord {
  DialogRecord* dialog = nullptr;
  bool canDraw = false;
};

struct MessageRecord;

WindowHandle ToHandle(WindowRecord* w) {
  return reinterpret_cast<WindowHandle>(w);
}

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

class FltkBackend final : public Backend {
 public:
  FltkBackend();
  ~FltkBackend() override;

  const char* Name() const override { return "fltk"; }
  bool Connect() override;
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

  // From the windows.
  void Command(DialogRecord* dialog, int id);
  void EnterPressed(DialogRecord* dialog);
  void Painted(DialogRecord* dialog);
  void MessageShown();

 protected:
  void PumpUntil(const std::atomic<bool>& done) override;

 private:
  bool OpenDisplay(bool quiet);
  WindowRecord* Record(WindowHandle handle);
  ControlRecord* Control(WindowHandle handle);
  DialogRecord* Dialog(WindowHandle handle);
  FontRecord* FontData(FontHandle handle);
  void ApplyFont(ControlRecord* c, const FontRecord& f, bool redraw);
  void BuildControl(DialogRecord* d, const ControlTemplate& t);
  void ApplyCursor();
  // Writes a block to the layout file (TILTWISE_DUMP_LAYOUT) when one is named.
  void Dump(const std::string& event);

  std::vector<DialogRecord*> dialogs_;  // running, innermost last
  std::vector<MessageRecord*> messages_;
  std::set<const WindowRecord*> live_;
  std::map<const FontObject*, std::unique_ptr<FontRecord>> fonts_;
  std::map<int, std::unique_ptr<IconRecord>> icons_;
  std::map<const PaintObject*, std::unique_ptr<PaintRecord>> paints_;
  int waitDepth_ = 0;
};

FltkBackend& Instance() {
  static FltkBackend backend;
  return backend;
}

class DialogWindow : public Fl_Double_Window {
 public:
  DialogWindow(int w, int h, DialogRecord* dialog) : Fl_Double_Window(w, h), dialog_(dialog) {}

  int handle(int event) override {
    if (event == FL_FOCUS && RestoreFocus()) return 1;
    int used = Handle(event);
    if (Fl::focus() && Fl::focus() != this && contains(Fl::focus()))
      dialog_->savedFocus = Fl::focus();
    return used;
  }

  // Like the system's dialogs, the window gives the focus back to the control that had it when
  // the window lost it, rather than to its first control.
  bool RestoreFocus() {
    Fl_Widget* w = dialog_->savedFocus;
    return w && w->visible() && w->active() && w->take_focus();
  }

 protected:
  void draw() override {
    Fl_Double_Window::draw();
    Instance().Painted(dialog_);
  }

 private:
  int Handle(int event) {
    if ((event == FL_KEYBOARD || event == FL_SHORTCUT) && (!Fl::modal() || Fl::modal() == this)) {
      // Handled here, before the window's own handling: FLTK would close the window on Escape
      // and move the focus on Enter.
      int key = Fl::event_key();
      if (key == FL_Escape) {
        Instance().Command(dialog_, kIdCancel);
        return 1;
      }
      if (key == FL_Enter || key == FL_KP_Enter) {
        Instance().EnterPressed(dialog_);
        return 1;
      }
    }
    return Fl_Double_Window::handle(event);
  }

  DialogRecord* dialog_;
};

// ---- Message boxes

struct MessageRecord {
  std::string caption;
  std::string text;
  unsigned style = 0;
  std::vector<MessageButton> buttons;
  std::vector<Fl_Button*> widgets;
  int answer = 0;
  bool drawn = false;
};

class MessageIconBox : public Fl_Widget {
 public:
  MessageIconBox(int x, int y, MessageIcon icon)
      : Fl_Widget(x, y, kIconSize, kIconSize), icon_(icon) {}
  int handle(int) override { return 0; }

 protected:
  void draw() override {
    const int X = x(), Y = y(), S = kIconSize;
    const char* glyph = nullptr;
    Fl_Color glyphColor = FL_WHITE;
    switch (icon_) {
      case MessageIcon::kStop:
        fl_color(fl_rgb_color(200, 30, 30));
        fl_pie(X, Y, S, S, 0, 360);
        fl_color(FL_WHITE);
        fl_line_style(FL_SOLID | FL_CAP_ROUND, 4);
        fl_line(X + 10, Y + 10, X + S - 11, Y + S - 11);
        fl_line(X + S - 11, Y + 10, X + 10, Y + S - 11);
        fl_line_style(0);
        return;
      case MessageIcon::kQuestion:
        fl_color(fl_rgb_color(30, 90, 200));
        fl_pie(X, Y, S, S, 0, 360);
        glyph = "?";
        break;
      case MessageIcon::kInformation:
        fl_color(fl_rgb_color(30, 90, 200));
        fl_pie(X, Y, S, S, 0, 360);
        glyph = "i";
        break;
      case MessageIcon::kExclamation:
        fl_color(fl_rgb_color(250, 200, 20));
        fl_polygon(X + S / 2, Y + 1, X + S - 1, Y + S - 2, X, Y + S - 2);
        fl_color(FL_BLACK);
        fl_loop(X + S / 2, Y + 1, X + S - 1, Y + S - 2, X, Y + S - 2);
        glyph = "!";
        glyphColor = FL_BLACK;
        break;
      case MessageIcon::kNone:
        return;
    }
    fl_font(FL_HELVETICA_BOLD, 22);
    fl_color(glyphColor);
    fl_draw(glyph, X, Y + 3, S, S, FL_ALIGN_CENTER, nullptr, 0);
  }

 private:
  MessageIcon icon_;
};

class MessageText : public Fl_Widget {
 public:
  MessageText(int x, int y, int w, int h, const std::string& utf8)
      : Fl_Widget(x, y, w, h), text_(utf8) {}
  int handle(int) override { return 0; }

 protected:
  void draw() override {
    fl_font(labelfont(), labelsize());
    fl_color(FL_FOREGROUND_COLOR);
    fl_draw(text_.c_str(), x(), y(), w(), h(),
            FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP, nullptr, 0);
  }

 private:
  std::string text_;
};

class MessageWindow : public Fl_Double_Window {
 public:
  MessageWindow(int w, int h, MessageRecord* box) : Fl_Double_Window(w, h), box_(box) {
    callback(&MessageWindow::OnClose, this);
  }

  void Answer(int id) {
    if (box_->answer != 0 || id == 0) return;
    box_->answer = id;
    WakeLoop();
  }

  int handle(int event) override {
    if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
      int key = Fl::event_key();
      if (key == FL_Escape) {
        Answer(MessageBoxEscapeAnswer(box_->style));
        return 1;
      }
      if (key == FL_Enter || key == FL_KP_Enter) {
        int id = box_->buttons[MessageBoxDefaultButton(box_->style)].id;
        for (size_t i = 0; i < box_->widgets.size(); ++i) {
          if (Fl::focus() == box_->widgets[i]) id = box_->buttons[i].id;
        }
        Answer(id);
        return 1;
      }
    }
    return Fl_Double_Window::handle(event);
  }

 protected:
  void draw() override {
    Fl_Double_Window::draw();
    if (!box_->drawn) {
      box_->drawn = true;
      Instance().MessageShown();
    }
  }

 private:
  static void OnClose(Fl_Widget*, void* self) {
    auto* w = static_cast<MessageWindow*>(self);
    w->Answer(MessageBoxEscapeAnswer(w->box_->style));
  }
  MessageRecord* box_;
};

void OnMessageButton(Fl_Widget* w, void* id) {
  auto* window = static_cast<MessageWindow*>(w->window());
  window->Answer(static_cast<int>(reinterpret_cast<std::intptr_t>(id)));
}

void OnControl(Fl_Widget*, void* data) {
  auto* c = static_cast<ControlRecord*>(data);
  if (c->kind == ControlKind::kCheckBox) {
    // Ticked by the program only: undo the toggle FLTK has made.
    auto* box = static_cast<Fl_Check_Button*>(c->widget);
    box->value(!box->value());
  }
  c->indeterminate = false;
  Instance().Command(c->dialog, c->t->id);
}

void OnDialogClose(Fl_Widget*, void* data) {
  Instance().Command(static_cast<DialogRecord*>(data), kIdCancel);
}

// ---- FltkBackend

FltkBackend::FltkBackend() = default;

FltkBackend::~FltkBackend() = default;

bool FltkBackend::OpenDisplay(bool quiet) {
  if (HaveDisplay()) return true;
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
  return true;
}

bool FltkBackend::Connect() {
  return OpenDisplay(false);
}

WindowRecord* FltkBackend::Record(WindowHandle handle) {
  if (!handle) return nullptr;
  auto* w = reinterpret_cast<WindowRecord*>(handle);
  return live_.count(w) ? w : nullptr;
}

ControlRecord* FltkBackend::Control(WindowHandle handle) {
  WindowRecord* w = Record(handle);
  return w && !w->isDialog ? static_cast<ControlRecord*>(w) : nullptr;
}

DialogRecord* FltkBackend::Dialog(WindowHandle handle) {
  WindowRecord* w = Record(handle);
  return w && w->isDialog ? static_cast<DialogRecord*>(w) : nullptr;
}

FontRecord* FltkBackend::FontData(FontHandle handle) {
  auto it = fonts_.find(handle);
  return it == fonts_.end() ? nullptr : it->second.get();
}

void FltkBackend::ApplyFont(ControlRecord* c, const FontRecord& f, bool redraw) {
  Fl_Widget* w = c->widget;
  w->labelfont(f.face);
  w->labelsize(f.size);
  if (c->kind == ControlKind::kEdit) {
    auto* input = static_cast<Fl_Input_*>(w);
    input->textfont(f.face);
    input->textsize(f.size);
  }
  if (redraw) w->redraw();
}

void FltkBackend::BuildControl(DialogRecord* d, const ControlTemplate& t) {
  auto c = std::make_unique<ControlRecord>();
  c->t = &t;
  c->dialog = d;
  c->kind = KindOf(t);
  c->text = t.text ? t.text : "";
  Rect r = ControlPixels(t, d->units);
  int x = r.left, y = r.top, w = r.Width(), h = r.Height();
  switch (c->kind) {
    case ControlKind::kEdit: {
      bool number = (t.style & style::kEsNumber) != 0;
      Fl_Input* input = IsPassword(t)
                            ? static_cast<Fl_Input*>(new Edit<Fl_Secret_Input>(x, y, w, h, number))
                            : new Edit<Fl_Input>(x, y, w, h, number);
      input->box((t.style & style::kBorder) ? FL_DOWN_BOX : FL_FLAT_BOX);
      input->color(FL_BACKGROUND2_COLOR);
      input->when(FL_WHEN_NEVER);
      input->value(Cp1252ToUtf8(c->text).c_str());
      c->text.clear();
      c->widget = input;
      break;
    }
    case ControlKind::kPushButton:
    case ControlKind::kDefPushButton: {
      auto* button = new Fl_Button(x, y, w, h);
      button->copy_label(FlLabel(c->text).c_str());
      button->callback(&OnControl, c.get());
      c->widget = button;
      break;
    }
    case ControlKind::kCheckBox:
    case ControlKind::kAutoCheckBox: {
      auto* box = new Fl_Check_Button(x, y, w, h);
      box->copy_label(FlLabel(c->text).c_str());
      box->callback(&OnControl, c.get());
      c->widget = box;
      break;
    }
    case ControlKind::kGroupBox: {
      auto* group = new GroupBox(x, y, w, h);
      group->SetText(c->text);
      c->widget = group;
      break;
    }
    case ControlKind::kLabel:
    case ControlKind::kOther: {
      unsigned align = t.style & style::kSsAlignMask;
      auto* label = new Label(x, y, w, h,
                              align == style::kSsRight    ? FL_ALIGN_RIGHT
                              : align == style::kSsCenter ? FL_ALIGN_CENTER
                                                          : FL_ALIGN_LEFT);
      label->SetText(c->text);
      c->widget = label;
      break;
    }
  }
  // Without a tab stop a control is left out of Tab but still takes the focus when clicked.
  if (!(t.style & style::kTabStop)) c->widget->clear_visible_focus();
  if (!(t.style & style::kVisible)) c->widget->hide();
  if (t.style & style::kDisabled) c->widget->deactivate();
  c->font = d->ownFont;
  ApplyFont(c.get(), *FontData(d->ownFont), false);
  live_.insert(c.get());
  d->controls.push_back(std::move(c));
}

int FltkBackend::RunModal(const DialogTemplate& dialog, WindowHandle owner, DialogEvents& events) {
  DialogRecord* ownerDialog = owner ? Dialog(owner) : nullptr;
  if ((owner && !ownerDialog) || !OpenDisplay(false)) return -1;

  auto d = std::make_unique<DialogRecord>();
  d->t = &dialog;
  d->events = &events;
  d->caption = dialog.caption ? dialog.caption : "";
  LogFont f;
  f.lfHeight = PointSizeToLogicalHeight(dialog.fontPointSize > 0 ? dialog.fontPointSize : 8, kDpi);
  f.lfWeight = dialog.fontWeight > 0 ? dialog.fontWeight : 400;
  f.lfItalic = dialog.fontItalic ? 1 : 0;
  std::strncpy(f.lfFaceName, dialog.fontName ? dialog.fontName : "", sizeof f.lfFaceName - 1);
  d->ownFont = MakeFont(f);
  FontRecord* font = FontData(d->ownFont);
  font->backendOwned = true;
  d->font = d->ownFont;
  fl_font(font->face, font->size);
  d->units =
      BaseUnitsFromMetrics(static_cast<int>(fl_width(kAverageWidthSample) + 0.5), fl_height());

  Rect client = ClientPixels(dialog, d->units);
  d->window = std::make_unique<DialogWindow>(client.Width(), client.Height(), d.get());
  DialogWindow* win = d->window.get();
  win->copy_label(Cp1252ToUtf8(d->caption).c_str());
  win->xclass(program_invocation_short_name);
  win->callback(&OnDialogClose, d.get());
  win->size_range(client.Width(), client.Height(), client.Width(), client.Height());
  win->set_modal();
  int areaX, areaY, areaW, areaH;
  Fl::screen_work_area(areaX, areaY, areaW, areaH, 0);
  int centreX = areaX + areaW / 2, centreY = areaY + areaH / 2;
  if (ownerDialog && ownerDialog->window->shown()) {
    centreX = ownerDialog->window->x() + ownerDialog->window->w() / 2;
    centreY = ownerDialog->window->y() + ownerDialog->window->h() / 2;
  }
  win->position(std::max(areaX, centreX - client.Width() / 2),
                std::max(areaY, centreY - client.Height() / 2));
  live_.insert(d.get());
  win->begin();
  for (int i = 0; i < dialog.controlCount; ++i) BuildControl(d.get(), dialog.controls[i]);
  win->end();
  if (ownerDialog) ownerDialog->window->deactivate();
  dialogs_.push_back(d.get());

  bool defaultFocus = events.HandleInitDialog(ToHandle(d.get()));
  if (!d->ended && !d->savedFocus && defaultFocus) {
    for (auto& c : d->controls) {
      if ((c->t->style & style::kTabStop) && c->widget->visible() && c->widget->active()) {
        d->savedFocus = c->widget;
        // The system selects the whole text of an edit box it gives the focus to.
        if (c->kind == ControlKind::kEdit) {
          auto* input = static_cast<Fl_Input*>(c->widget);
          input->position(input->size(), 0);
        }
        break;
      }
    }
  }
  if (!d->ended) {
    if (waitDepth_ > 0) win->cursor(FL_CURSOR_WAIT);
    win->show();
    win->RestoreFocus();
    while (!d->ended) WaitTurn();
  }

  events.HandleDestroy();
  dialogs_.pop_back();
  Dump("destroy");
  if (ownerDialog) ownerDialog->window->activate();
  for (auto& c : d->controls) live_.erase(c.get());
  live_.erase(d.get());
  for (auto it = paints_.begin(); it != paints_.end();) {
    it = it->second->dialog == d.get() ? paints_.erase(it) : std::next(it);
  }
  win->hide();
  d->window.reset();
  fonts_.erase(d->ownFont);
  Fl::flush();
  return d->result;
}

void FltkBackend::EndModal(WindowHandle dialog, int result) {
  DialogRecord* d = Dialog(dialog);
  if (!d || d->ended) return;
  d->ended = true;
  d->result = result;
  WakeLoop();
}

void FltkBackend::Command(DialogRecord* dialog, int id) {
  if (dialog->ended || dialogs_.empty() || dialogs_.back() != dialog) return;
  // Let the screen show the press (a tick, the button back up) before a handler that may block.
  Fl::flush();
  dialog->events->HandleCommand(id);
  if (!dialog->ended) Dump("command " + std::to_string(id));
}

void FltkBackend::EnterPressed(DialogRecord* dialog) {
  int id = kIdOk;
  int defaultId = 0;
  for (auto& c : dialog->controls) {
    if (c->widget == Fl::focus() && IsPushButton(c->kind)) {
      Command(dialog, c->t->id);
      return;
    }
    if (!defaultId && c->kind == ControlKind::kDefPushButton && c->widget->active())
      defaultId = c->t->id;
  }
  Command(dialog, defaultId ? defaultId : id);
}

void FltkBackend::Painted(DialogRecord* dialog) {
  if (!dialog->drawn) {
    dialog->drawn = true;
    Dump("shown");
  }
  if (dialog->ended || dialog->inDraw) return;
  dialog->inDraw = true;
  dialog->events->HandlePaint();
  dialog->inDraw = false;
}

WindowHandle FltkBackend::FindControl(WindowHandle dialog, int id) {
  DialogRecord* d = Dialog(dialog);
  if (!d) return nullptr;
  for (auto& c : d->controls) {
    if (c->t->id == id) return ToHandle(c.get());
  }
  return nullptr;
}

int FltkBackend::ControlId(WindowHandle control) {
  ControlRecord* c = Control(control);
  return c ? c->t->id : 0;
}

void FltkBackend::SetText(WindowHandle window, const char* text) {
  WindowRecord* w = Record(window);
  if (!w) return;
  std::string s = text ? text : "";
  if (w->isDialog) {
    auto* d = static_cast<DialogRecord*>(w);
    d->caption = s;
    d->window->copy_label(Cp1252ToUtf8(s).c_str());
    return;
  }
  auto* c = static_cast<ControlRecord*>(w);
  switch (c->kind) {
    case ControlKind::kEdit:
      static_cast<Fl_Input*>(c->widget)->value(Cp1252ToUtf8(s).c_str());
      static_cast<Fl_Input*>(c->widget)->position(0);
      return;
    case ControlKind::kGroupBox:
      static_cast<GroupBox*>(c->widget)->SetText(s);
      break;
    case ControlKind::kLabel:
    case ControlKind::kOther:
      static_cast<Label*>(c->widget)->SetText(s);
      break;
    default:
      c->widget->copy_label(FlLabel(s).c_str());
      c->widget->redraw();
      break;
  }
  c->text = s;
}

std::string FltkBackend::GetText(WindowHandle window) {
  WindowRecord* w = Record(window);
  if (!w) return std::string();
  if (w->isDialog) return static_cast<DialogRecord*>(w)->caption;
  auto* c = static_cast<ControlRecord*>(w);
  if (c->kind == ControlKind::kEdit)
    return Utf8ToCp1252(static_cast<Fl_Input*>(c->widget)->value());
  return c->text;
}

int FltkBackend::GetCheck(WindowHandle button) {
  ControlRecord* c = Control(button);
  if (!c || !IsCheckBox(c->kind)) return 0;
  if (c->indeterminate) return 2;
  return static_cast<Fl_Check_Button*>(c->widget)->value() ? 1 : 0;
}

void FltkBackend::SetCheck(WindowHandle button, int state) {
  ControlRecord* c = Control(button);
  if (!c || !IsCheckBox(c->kind)) return;
  c->indeterminate = state == 2;
  static_cast<Fl_Check_Button*>(c->widget)->value(state != 0);
}

void FltkBackend::Enable(WindowHandle window, bool enable) {
  WindowRecord* w = Record(window);
  if (!w) return;
  Fl_Widget* widget = w->isDialog
                          ? static_cast<Fl_Widget*>(static_cast<DialogRecord*>(w)->window.get())
                          : static_cast<ControlRecord*>(w)->widget;
  if (enable) {
    widget->activate();
  } else {
    widget->deactivate();
  }
}

bool FltkBackend::IsEnabled(WindowHandle window) {
  WindowRecord* w = Record(window);
  if (!w) return false;
  if (w->isDialog) return static_cast<DialogRecord*>(w)->window->active();
  return static_cast<ControlRecord*>(w)->widget->active();
}

void FltkBackend::Focus(WindowHandle control) {
  ControlRecord* c = Control(control);
  if (!c || !c->widget->active()) return;
  if (c->widget->take_focus() || c->widget->visible_focus()) c->dialog->savedFocus = c->widget;
}

WindowHandle FltkBackend::FocusedWindow() {
  Fl_Widget* focus = Fl::focus();
  if (!focus) return nullptr;
  for (DialogRecord* d : dialogs_) {
    for (auto& c : d->controls) {
      if (c->widget == focus) return ToHandle(c.get());
    }
  }
  return nullptr;
}

void FltkBackend::SelectText(WindowHandle edit, int start, int end) {
  ControlRecord* c = Control(edit);
  if (!c || c->kind != ControlKind::kEdit) return;
  auto* input = static_cast<Fl_Input*>(c->widget);
  int to = Utf8Offset(input->value(), end);
  int from = std::min(Utf8Offset(input->value(), std::max(start, 0)), to);
  input->position(to, from);
}

bool FltkBackend::IsMinimized(WindowHandle dialog) {
  DialogRecord* d = Dialog(dialog);
  return d && d->window->shown() && !d->window->visible();
}

Rect FltkBackend::ClientRect(WindowHandle window) {
  WindowRecord* w = Record(window);
  if (!w) return Rect();
  Fl_Widget* widget = w->isDialog
                          ? static_cast<Fl_Widget*>(static_cast<DialogRecord*>(w)->window.get())
                          : static_cast<ControlRecord*>(w)->widget;
  return Rect{0, 0, widget->w(), widget->h()};
}

FontHandle FltkBackend::MakeFont(const LogFont& description) {
  auto f = std::make_unique<FontRecord>();
  f->description = description;
  f->description.lfFaceName[sizeof f->description.lfFaceName - 1] = '\0';
  f->face = FlFace(ChooseFace(f->description));
  Fl_Font face = f->face;
  f->size = FontSize(
      description.lfHeight, [face](int size) { return CellHeight(face, size); }, kDefaultSize);
  FontHandle handle = reinterpret_cast<FontHandle>(f.get());
  fonts_[handle] = std::move(f);
  return handle;
}

void FltkBackend::ReleaseFont(FontHandle font) {
  auto it = fonts_.find(font);
  if (it == fonts_.end() || it->second->backendOwned) return;
  fonts_.erase(it);
}

bool FltkBackend::DescribeFont(FontHandle font, LogFont* description) {
  FontRecord* f = FontData(font);
  if (!f || !description) return false;
  *description = f->description;
  return true;
}

FontHandle FltkBackend::WindowFont(WindowHandle window) {
  WindowRecord* w = Record(window);
  return w ? w->font : nullptr;
}

void FltkBackend::SetWindowFont(WindowHandle window, FontHandle font, bool redraw) {
  WindowRecord* w = Record(window);
  FontRecord* f = FontData(font);
  if (!w || !f) return;
  w->font = font;
  if (!w->isDialog) ApplyFont(static_cast<ControlRecord*>(w), *f, redraw);
}

IconHandle FltkBackend::LoadIconResource(int resourceId, const IconImage* image) {
  auto it = icons_.find(resourceId);
  if (it != icons_.end()) return reinterpret_cast<IconHandle>(it->second.get());
  if (!image || !image->rgba || image->width <= 0 || image->height <= 0) return nullptr;
  auto icon = std::make_unique<IconRecord>();
  icon->image = std::make_unique<Fl_RGB_Image>(image->rgba, image->width, image->height, 4);
  IconHandle handle = reinterpret_cast<IconHandle>(icon.get());
  icons_[resourceId] = std::move(icon);
  return handle;
}

IconHandle FltkBackend::SetWindowIcon(WindowHandle dialog, IconHandle icon, bool big) {
  DialogRecord* d = Dialog(dialog);
  if (!d) return nullptr;
  IconHandle& slot = big ? d->bigIcon : d->smallIcon;
  IconHandle previous = slot;
  slot = icon;
  // The window manager picks the size it needs from the pictures given.
  const Fl_RGB_Image* images[2];
  int count = 0;
  for (IconHandle h : {d->bigIcon, d->smallIcon}) {
    auto* rec = reinterpret_cast<IconRecord*>(h);
    if (h && (count == 0 || images[0] != rec->image.get())) images[count++] = rec->image.get();
  }
  d->window->icons(images, count);
  return previous;
}

int FltkBackend::SystemMetric(int index) {
  switch (index) {
    case kSmCxIcon:
    case kSmCyIcon:
      return kIconSize;
    case kSmCxSmIcon:
    case kSmCySmIcon:
      return kSmallIconSize;
    case kSmCxScreen:
      return HaveDisplay() ? Fl::w() : 0;
    case kSmCyScreen:
      return HaveDisplay() ? Fl::h() : 0;
    default:
      return 0;
  }
}

PaintHandle FltkBackend::StartPaint(WindowHandle window) {
  DialogRecord* d = Dialog(window);
  if (!d) return nullptr;
  auto p = std::make_unique<PaintRecord>();
  p->dialog = d;
  if (d->inDraw) {
    p->canDraw = true;
  } else if (d->window->shown() && d->window->visible()) {
    // Outside a paint the system would draw straight onto the window: so do we.
    d->window->make_current();
    p->canDraw = true;
  }
  PaintHandle handle = reinterpret_cast<PaintHandle>(p.get());
  paints_[handle] = std::move(p);
  return handle;
}

void FltkBackend::FinishPaint(WindowHandle /*window*/, PaintHandle dc) {
  paints_.erase(dc);
}

void FltkBackend::EraseIconBackground(WindowHandle /*window*/, PaintHandle dc) {
  auto it = paints_.find(dc);
  if (it == paints_.end() || !it->second->canDraw) return;
  DialogWindow* win = it->second->dialog->window.get();
  fl_rectf(0, 0, win->w(), win->h(), win->color());
}

void FltkBackend::PaintIcon(PaintHandle dc, int x, int y, IconHandle icon) {
  auto it = paints_.find(dc);
  if (it == paints_.end() || !it->second->canDraw || !icon) return;
  for (auto& i : icons_) {
    if (reinterpret_cast<IconHandle>(i.second.get()) == icon) i.second->image->draw(x, y);
  }
}

int FltkBackend::ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                                unsigned style) {
  std::string message = text ? text : "";
  std::string title = caption ? caption : "";
  if (!OpenDisplay(true)) {
    // Nobody can see a box: the text is not lost.
    std::fprintf(stderr, "%s: %s\n", title.c_str(), message.c_str());
    return 0;
  }
  DialogRecord* ownerDialog = Dialog(owner);

  MessageRecord box;
  box.caption = title;
  box.text = message;
  box.style = style;
  box.buttons = MessageBoxButtons(style);

  // Sizes as the system's boxes have them at this font: 75 x 23 buttons, margins of 12.
  const int margin = 12, gap = 6, buttonW = 75, buttonH = 23, maxTextW = 420;
  MessageIcon icon = MessageBoxIconOf(style);
  std::string utf8 = Cp1252ToUtf8(message);
  const int fontSize = FontSize(
      PointSizeToLogicalHeight(kMessagePoints, kDpi),
      [](int size) { return CellHeight(FL_HELVETICA, size); }, kDefaultSize);
  fl_font(FL_HELVETICA, fontSize);
  int textW = maxTextW, textH = 0;
  fl_measure(utf8.c_str(), textW, textH, 0);
  textW = std::max(textW, 1);
  const int iconW = icon == MessageIcon::kNone ? 0 : kIconSize + margin;
  const int bodyH = std::max(icon == MessageIcon::kNone ? 0 : kIconSize, textH);
  const int count = static_cast<int>(box.buttons.size());
  const int buttonsW = count * buttonW + (count - 1) * gap;
  const int W = std::max({iconW + textW, buttonsW, 160}) + 2 * margin;
  const int H = margin + bodyH + margin + buttonH + margin;

  MessageWindow win(W, H, &box);
  win.copy_label(Cp1252ToUtf8(title).c_str());
  win.xclass(program_invocation_short_name);
  win.size_range(W, H, W, H);
  win.set_modal();
  win.begin();
  if (icon != MessageIcon::kNone) new MessageIconBox(margin, margin, icon);
  auto* label =
      new MessageText(margin + iconW, margin + (bodyH - textH) / 2, textW + 1, textH, utf8);
  label->labelsize(fontSize);
  int bx = (W - buttonsW) / 2;
  for (const MessageButton& b : box.buttons) {
    auto* button = new Fl_Button(bx, H - margin - buttonH, buttonW, buttonH);
    button->copy_label(b.label);
    button->labelsize(fontSize);
    button->callback(&OnMessageButton, reinterpret_cast<void*>(static_cast<std::intptr_t>(b.id)));
    box.widgets.push_back(button);
    bx += buttonW + gap;
  }
  win.end();
  int areaX, areaY, areaW, areaH;
  Fl::screen_work_area(areaX, areaY, areaW, areaH, 0);
  int centreX = areaX + areaW / 2, centreY = areaY + areaH / 2;
  if (ownerDialog && ownerDialog->window->shown()) {
    centreX = ownerDialog->window->x() + ownerDialog->window->w() / 2;
    centreY = ownerDialog->window->y() + ownerDialog->window->h() / 2;
  }
  win.position(std::max(areaX, centreX - W / 2), std::max(areaY, centreY - H / 2));

  Fl_Widget* previousFocus = Fl::focus();
  messages_.push_back(&box);
  win.show();
  box.widgets[MessageBoxDefaultButton(style)]->take_focus();
  while (box.answer == 0) WaitTurn();
  win.hide();
  messages_.pop_back();
  // Back to where the user was, as the system does when a box closes.
  if (previousFocus) {
    for (DialogRecord* d : dialogs_) {
      for (auto& c : d->controls) {
        if (c->widget == previousFocus) previousFocus->take_focus();
      }
    }
  }
  Fl::flush();
  return box.answer;
}

void FltkBackend::ApplyCursor() {
  Fl_Cursor cursor = waitDepth_ > 0 ? FL_CURSOR_WAIT : FL_CURSOR_DEFAULT;
  for (DialogRecord* d : dialogs_) {
    if (d->window->shown()) d->window->cursor(cursor);
  }
  // The procedure that follows blocks: the cursor must reach the screen now.
  Fl::flush();
}

void FltkBackend::BeginWaitCursor() {
  if (++waitDepth_ == 1) ApplyCursor();
}

void FltkBackend::EndWaitCursor() {
  if (waitDepth_ == 0) return;
  if (--waitDepth_ == 0) ApplyCursor();
}

// While work runs: everything but the user's input reaches the windows (pointer crossings
// too, or an edit box would put up its own cursor over the wait cursor).
int DropInput(int event, Fl_Window* window) {
  switch (event) {
    case FL_PUSH:
    case FL_RELEASE:
    case FL_DRAG:
    case FL_MOVE:
    case FL_ENTER:
    case FL_LEAVE:
    case FL_MOUSEWHEEL:
    case FL_KEYDOWN:
    case FL_KEYUP:
    case FL_SHORTCUT:
    case FL_PASTE:
    case FL_CLOSE:
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_LEAVE:
    case FL_DND_RELEASE:
      return 1;
    default:
      return Fl::handle_(event, window);
  }
}

void FltkBackend::PumpUntil(const std::atomic<bool>& done) {
  Fl_Event_Dispatch previous = Fl::event_dispatch();
  Fl::event_dispatch(&DropInput);
  while (!done) Fl::wait(0.05);
  Fl::event_dispatch(previous);
}

void FltkBackend::MessageShown() {
  Dump("message");
}

void FltkBackend::Dump(const std::string& event) {
  if (LayoutDumpPath().empty()) return;
  LayoutState state;
  for (const DialogRecord* d : dialogs_) {
    if (!d->drawn) continue;
    LayoutDialog dialog;
    dialog.caption = d->caption;
    dialog.client = Rect{0, 0, d->window->w(), d->window->h()};
    dialog.unitsX = d->units.cx;
    dialog.unitsY = d->units.cy;
    for (const auto& c : d->controls) {
      Fl_Widget* w = c->widget;
      if (w == Fl::focus()) dialog.focusId = c->t->id;
      LayoutControl control;
      control.id = c->t->id;
      control.kind = c->kind;
      control.text = c->text;
      if (c->kind == ControlKind::kEdit) {
        control.text = Utf8ToCp1252(static_cast<Fl_Input*>(w)->value());
        control.password = IsPassword(*c->t);
      }
      control.rect = Rect{w->x(), w->y(), w->x() + w->w(), w->y() + w->h()};
      if (IsCheckBox(c->kind)) control.check = static_cast<Fl_Check_Button*>(w)->value() ? 1 : 0;
      control.enabled = w->active() != 0;
      auto font = fonts_.find(c->font);
      if (font != fonts_.end()) control.fontHeight = font->second->description.lfHeight;
      dialog.controls.push_back(std::move(control));
    }
    state.dialogs.push_back(std::move(dialog));
  }
  for (const MessageRecord* m : messages_) {
    state.messages.push_back(LayoutMessage{m->caption, m->text, m->style});
  }
  DumpLayout(state, event);
}

}  // namespace

Backend& GetBackend() {
  return Instance();
}

}  // namespace ui
