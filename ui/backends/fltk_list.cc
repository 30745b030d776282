// The FLTK backend's common controls: the list with tick boxes (a table drawing its ListModel,
// so a thousand rows cost only the visible ones), the progress bar, the status line and the
// drop-down list.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Table_Row.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/backends/fltk.h"

namespace ui {
namespace fltk {
namespace {

constexpr int kTickBox = 13;

class ListTable : public Fl_Table_Row {
 public:
  ListTable(int x, int y, int w, int h, ControlRecord& c) : Fl_Table_Row(x, y, w, h), c_(c) {
    end();  // a group: the dialog's later controls are not its children
    col_header(1);
    col_resize(1);
    type(SELECT_NONE);
    color(FL_BACKGROUND2_COLOR);
    c.list->changed = [this](int row) { Changed(row); };
    Sync();
  }
  ~ListTable() override { c_.list->changed = nullptr; }

  void Sync() {
    const ListModel& m = *c_.list;
    fl_font(labelfont(), labelsize());
    int n = static_cast<int>(m.columns().size());
    cols(n);
    for (int i = 0; i < n; ++i)
      col_width(i, DialogUnitsToPixelsX(m.columns()[i].width, c_.dialog->units.cx));
    col_header_height(fl_height() + 6);
    rows(m.RowCount());
    row_height_all(fl_height() + 4);
  }

  int handle(int event) override {
    ListModel& m = *c_.list;
    switch (event) {
      case FL_FOCUS:
      case FL_UNFOCUS:
        redraw();
        return 1;
      case FL_KEYBOARD: {
        int key = Fl::event_key();
        if (key == ' ') {
          m.PressSpace();
          return 1;
        }
        if (key == 'a' && Fl::event_state(FL_CTRL)) {
          m.PressSelectAll();
          return 1;
        }
        int r1, r2, c1, c2;
        visible_cells(r1, r2, c1, c2);
        int page = r2 > r1 ? r2 - r1 : 1;
        int at = m.focus() < 0 ? -1 : m.PositionOf(m.focus());
        int to = key == FL_Up          ? at - 1
                 : key == FL_Down      ? at + 1
                 : key == FL_Page_Up   ? at - page
                 : key == FL_Page_Down ? at + page
                 : key == FL_Home      ? 0
                 : key == FL_End       ? m.RowCount() - 1
                                       : -2;
        if (to == -2 || m.RowCount() == 0) break;
        to = to < 0 ? 0 : to >= m.RowCount() ? m.RowCount() - 1 : to;
        m.MoveFocus(m.RowAt(to));
        if (to < r1) top_row(to);
        if (to >= r2) top_row(to - page + 1);
        return 1;
      }
      case FL_PUSH: {
        int r, col;
        ResizeFlag resize;
        TableContext where = cursor2rowcol(r, col, resize);
        if (where == CONTEXT_CELL) {
          take_focus();
          int row = m.RowAt(r), X, Y, W, H;
          m.MoveFocus(row);
          find_cell(CONTEXT_CELL, r, col, X, Y, W, H);
          if (col == 0 && Fl::event_x() < X + kTickBox + 6) m.ClickTick(row);
          return 1;
        }
        if (where == CONTEXT_COL_HEADER && resize == RESIZE_NONE) {
          take_focus();
          m.ClickColumn(col);
          return 1;
        }
        break;
      }
      default:
        break;
    }
    return Fl_Table_Row::handle(event);
  }

 protected:
  void draw_cell(TableContext context, int r, int col, int x, int y, int w, int h) override {
    const ListModel& m = *c_.list;
    if (context == CONTEXT_STARTPAGE) {
      fl_font(labelfont(), labelsize());
      return;
    }
    if (context != CONTEXT_COL_HEADER && context != CONTEXT_CELL) return;
    fl_push_clip(x, y, w, h);
    Fl_Color ink = active_r() ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR);
    if (context == CONTEXT_COL_HEADER) {
      fl_draw_box(FL_THIN_UP_BOX, x, y, w, h, FL_BACKGROUND_COLOR);
      fl_color(ink);
      fl_draw(Cp1252ToUtf8(m.columns()[col].title).c_str(), x + 4, y, w - 8, h, FL_ALIGN_LEFT);
      if (col == m.sortColumn()) {
        int cx = x + w - 10, cy = y + h / 2;
        m.ascending() ? fl_polygon(cx - 4, cy + 2, cx + 4, cy + 2, cx, cy - 3)
                      : fl_polygon(cx - 4, cy - 2, cx + 4, cy - 2, cx, cy + 3);
      }
    } else {
      int row = m.RowAt(r);
      bool focused = row == m.focus();
      bool mine = Fl::focus() == this;
      Fl_Color back = focused ? (mine ? FL_SELECTION_COLOR : fl_rgb_color(200, 200, 200))
                              : FL_BACKGROUND2_COLOR;
      fl_color(back);
      fl_rectf(x, y, w, h);
      int left = x + 4;
      if (col == 0) {
        int top = y + (h - kTickBox) / 2;
        fl_draw_box(FL_DOWN_BOX, x + 3, top, kTickBox, kTickBox, FL_BACKGROUND2_COLOR);
        if (m.Ticked(row)) {
          fl_color(ink);
          fl_line_style(FL_SOLID, 2);
          fl_line(x + 6, top + 6, x + 8, top + 9, x + 12, top + 3);
          fl_line_style(0);
        }
        left = x + kTickBox + 7;
      }
      fl_color(focused && mine ? fl_contrast(ink, back) : ink);
      fl_draw(Cp1252ToUtf8(m.Cell(row, col)).c_str(), left, y, x + w - left - 2, h, FL_ALIGN_LEFT);
      if (focused && mine) {
        fl_color(FL_FOREGROUND_COLOR);
        fl_line_style(FL_DOT);
        fl_xyline(x, y, x + w - 1);
        fl_xyline(x, y + h - 1, x + w - 1);
        fl_line_style(0);
      }
    }
    fl_pop_clip();
  }

 private:
  void Changed(int row) {
    if (row < 0 || cols() != static_cast<int>(c_.list->columns().size())) {
      Sync();
      redraw();
    } else if (cols() > 0) {
      int at = c_.list->PositionOf(row);
      redraw_range(at, at, 0, cols() - 1);
    }
  }

  ControlRecord& c_;
};

class Choice : public Fl_Choice {
 public:
  Choice(int x, int y, int w, int h, const char* lines) : Fl_Choice(x, y, w, h) {
    std::string all = lines ? lines : "";
    for (size_t at = 0;;) {
      size_t end = all.find('\n', at);
      choices.push_back(all.substr(at, end == std::string::npos ? end : end - at));
      // '/', '&', '_' and '\' mean something in a menu path.
      std::string label;
      for (char ch : Cp1252ToUtf8(choices.back()))
        label += (ch == '/' || ch == '&' || ch == '_' || ch == '\\') ? std::string("\\") + ch
                                                                     : std::string(1, ch);
      add(label.empty() ? " " : label.c_str());
      if (end == std::string::npos) break;
      at = end + 1;
    }
    value(0);
  }
  void draw() override {
    textfont(labelfont());
    textsize(labelsize());
    Fl_Choice::draw();
  }
  std::vector<std::string> choices;
};

void OnChoice(Fl_Widget* w, void* data) {
  auto* choice = static_cast<Choice*>(w);
  if (choice->value() >= 0)
    static_cast<ControlRecord*>(data)->text = choice->choices[choice->value()];
}

}  // namespace

Fl_Widget* BuildCommonControl(ControlRecord& c, int x, int y, int w, int h) {
  switch (c.kind) {
    case ControlKind::kList:
      return new ListTable(x, y, w, h, c);
    case ControlKind::kProgress: {
      auto* bar = new Fl_Progress(x, y, w, h);
      bar->selection_color(FL_SELECTION_COLOR);
      return bar;
    }
    case ControlKind::kChoice: {
      // The template's height is that of the list dropped down.
      h = std::min(h, DialogUnitsToPixelsY(14, c.dialog->units.cy));
      auto* choice = new Choice(x, y, w, h, c.t->text);
      choice->callback(&OnChoice, &c);
      return choice;
    }
    default: {
      auto* box = new Fl_Box(FL_THIN_DOWN_BOX, x, y, w, h, nullptr);
      box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
      return box;
    }
  }
}

void ShowCommonControl(ControlRecord& c) {
  Fl_Widget* widget = static_cast<Fl_Widget*>(c.native);
  if (c.kind == ControlKind::kProgress) {
    auto* bar = static_cast<Fl_Progress*>(widget);
    bar->minimum(static_cast<float>(c.lower));
    bar->maximum(static_cast<float>(c.upper));
    bar->value(static_cast<float>(c.position));
  } else if (c.kind == ControlKind::kChoice) {
    auto* choice = static_cast<Choice*>(widget);
    for (size_t i = 0; i < choice->choices.size(); ++i) {
      if (choice->choices[i] == c.text) choice->value(static_cast<int>(i));
    }
  } else if (c.kind == ControlKind::kStatus) {
    std::string label = " ";  // a little room from the frame
    for (char ch : FlLabel(c.text)) label += ch == '&' ? std::string("&&") : std::string(1, ch);
    widget->copy_label(label.c_str());
  }
  widget->redraw();
}

}  // namespace fltk
}  // namespace ui
