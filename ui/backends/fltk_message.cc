// Message boxes drawn as the system draws them: the icon, the text, the buttons of the style.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ui/backends/fltk.h"

namespace ui {
namespace fltk {
namespace {

// Message boxes use the system's message font, 9 point.
constexpr int kMessagePoints = 9;

class MessageIconBox : public Fl_Widget {
 public:
  MessageIconBox(int x, int y, MessageIcon icon)
      : Fl_Widget(x, y, kIconSize, kIconSize), icon_(icon) {}
  int handle(int) override { return 0; }

 protected:
  void draw() override {
    const int X = x(), Y = y(), S = kIconSize;
    if (icon_ == MessageIcon::kStop) {
      fl_color(fl_rgb_color(200, 30, 30));
      fl_pie(X, Y, S, S, 0, 360);
      fl_color(FL_WHITE);
      fl_line_style(FL_SOLID | FL_CAP_ROUND, 4);
      fl_line(X + 10, Y + 10, X + S - 11, Y + S - 11);
      fl_line(X + S - 11, Y + 10, X + 10, Y + S - 11);
      fl_line_style(0);
    } else if (icon_ == MessageIcon::kExclamation) {
      fl_color(fl_rgb_color(250, 200, 20));
      fl_polygon(X + S / 2, Y + 1, X + S - 1, Y + S - 2, X, Y + S - 2);
      fl_color(FL_BLACK);
      fl_loop(X + S / 2, Y + 1, X + S - 1, Y + S - 2, X, Y + S - 2);
      fl_font(FL_HELVETICA_BOLD, 22);
      fl_draw("!", X, Y + 3, S, S, FL_ALIGN_CENTER, nullptr, 0);
    }
  }

 private:
  MessageIcon icon_;
};

// The text as the system draws it: at the box's left edge, with no inset of its own (a label
// inside a box loses a few pixels at each side, and its words then wrap).
class MessageText : public Fl_Widget {
 public:
  MessageText(int x, int y, int w, int h, std::string utf8, int size, bool wrap)
      : Fl_Widget(x, y, w, h), text_(std::move(utf8)), size_(size), wrap_(wrap) {}
  int handle(int) override { return 0; }

 protected:
  void draw() override {
    fl_font(FL_HELVETICA, size_);
    fl_color(FL_FOREGROUND_COLOR);
    fl_draw(text_.c_str(), x(), y(), w(), h(),
            FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | (wrap_ ? FL_ALIGN_WRAP : 0), nullptr,
            0);
  }

 private:
  std::string text_;
  int size_;
  bool wrap_;
};

class MessageWindow : public Fl_Double_Window {
 public:
  MessageWindow(int w, int h, unsigned style, std::function<void()> shown)
      : Fl_Double_Window(w, h), style_(style), shown_(std::move(shown)) {
    callback(&MessageWindow::OnClose, this);
  }

  std::vector<Fl_Button*> buttons;
  int answer = 0;

  void Answer(int id) {
    if (answer != 0 || id == 0) return;
    answer = id;
    WakeLoop();
  }

  int handle(int event) override {
    if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
      int key = Fl::event_key();
      if (key == FL_Escape) {
        Answer(MessageBoxEscapeAnswer(style_));
        return 1;
      }
      if (key == FL_Enter || key == FL_KP_Enter) {
        std::vector<MessageButton> ids = MessageBoxButtons(style_);
        int id = ids[0].id;
        for (size_t i = 0; i < buttons.size(); ++i) {
          if (Fl::focus() == buttons[i]) id = ids[i].id;
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
    if (shown_) std::exchange(shown_, nullptr)();
  }

 private:
  static void OnClose(Fl_Widget*, void* self) {
    auto* w = static_cast<MessageWindow*>(self);
    w->Answer(MessageBoxEscapeAnswer(w->style_));
  }
  unsigned style_;
  std::function<void()> shown_;
};

void OnMessageButton(Fl_Widget* w, void* id) {
  static_cast<MessageWindow*>(w->window())
      ->Answer(static_cast<int>(reinterpret_cast<std::intptr_t>(id)));
}

}  // namespace

int RunMessageBox(const MessageBoxRecord& box, Fl_Window* owner,
                  const std::function<void()>& shown) {
  // Sizes as the system's boxes have them at this font: 75 x 23 buttons, margins of 12.
  const int margin = 12, gap = 6, buttonW = 75, buttonH = 23, maxTextW = 420;
  const MessageIcon icon = MessageBoxIconOf(box.style);
  const std::vector<MessageButton> ids = MessageBoxButtons(box.style);
  const std::string utf8 = Cp1252ToUtf8(box.text);
  LogFont font;
  font.lfHeight = PointSizeToLogicalHeight(kMessagePoints, 96);
  const int fontSize = SizeOf(font);
  fl_font(FL_HELVETICA, fontSize);
  // One line per line of the text, as wide as it needs; only a longer one wraps.
  int textW = 0, textH = 0;
  fl_measure(utf8.c_str(), textW, textH, 0);
  const bool wrap = textW > maxTextW;
  if (wrap) {
    textW = maxTextW;
    fl_measure(utf8.c_str(), textW, textH, 0);
  }
  textW = std::max(textW, 1) + 2;  // what rounding of the glyph widths may add
  const int iconW = icon == MessageIcon::kNone ? 0 : kIconSize + margin;
  const int bodyH = std::max(icon == MessageIcon::kNone ? 0 : kIconSize, textH);
  const int count = static_cast<int>(ids.size());
  const int buttonsW = count * buttonW + (count - 1) * gap;
  const int W = std::max({iconW + textW, buttonsW, 160}) + 2 * margin;
  const int H = margin + bodyH + margin + buttonH + margin;

  MessageWindow win(W, H, box.style, shown);
  win.copy_label(Cp1252ToUtf8(box.caption).c_str());
  win.xclass(program_invocation_short_name);
  win.size_range(W, H, W, H);
  win.set_modal();
  win.begin();
  if (icon != MessageIcon::kNone) new MessageIconBox(margin, margin, icon);
  new MessageText(margin + iconW, margin + (bodyH - textH) / 2, textW, textH, utf8, fontSize, wrap);
  int bx = (W - buttonsW) / 2;
  for (const MessageButton& b : ids) {
    auto* button = new Fl_Button(bx, H - margin - buttonH, buttonW, buttonH);
    button->copy_label(b.label);
    button->labelsize(fontSize);
    button->callback(&OnMessageButton, reinterpret_cast<void*>(static_cast<std::intptr_t>(b.id)));
    win.buttons.push_back(button);
    bx += buttonW + gap;
  }
  win.end();
  Centre(win, owner);

  Fl_Widget* previousFocus = Fl::focus();
  win.show();
  win.buttons[0]->take_focus();
  while (win.answer == 0) WaitTurn();
  win.hide();
  // Back to where the user was, as the system does when a box closes.
  if (previousFocus && previousFocus->window() && previousFocus->window()->shown()) {
    previousFocus->take_focus();
  }
  Fl::flush();
  return win.answer;
}

}  // namespace fltk
}  // namespace ui
