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
#include <cctype>
#include <cstring>
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
    Changed(-1);
  }
  ~ListTable() override { c_.list->changed = nullptr; }

  int handle(int event) override {
    ListModel& m = *c_.list;
    int r = 0, col = 0, r1 = 0, r2 = 0, c1 = 0, c2 = 0;
    if (event == FL_FOCUS || event == FL_UNFOCUS) {
      redraw();  // the focused row's colour
      return 1;
    }
    if (event == FL_KEYBOARD) {
      const int key = Fl::event_key();
      if (key == ' ' || (key == 'a' && Fl::event_state(FL_CTRL))) {
        key == ' ' ? m.PressSpace() : m.PressSelectAll();
        return 1;
      }
      visible_cells(r1, r2, c1, c2);
      const int page = std::max(1, r2 - r1), at = m.PositionOf(m.focus()), last = m.RowCount() - 1;
      int to = key == FL_Up          ? at - 1
               : key == FL_Down      ? at + 1
               : key == FL_Page_Up   ? at - page
               : key == FL_Page_Down ? at + page
               : key == FL_Home      ? 0
               : key == FL_End       ? last
                                     : -2;
      if (to == -2 || last < 0) return Fl_Table_Row::handle(event);
      to = std::min(std::max(to, 0), last);
      m.MoveFocus(m.RowAt(to));
      if (to < r1 || to >= r2) row_position(to < r1 ? to : to - page + 1);
      return 1;
    }
    ResizeFlag resize;
    TableContext where = event == FL_PUSH ? cursor2rowcol(r, col, resize) : CONTEXT_NONE;
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
    return Fl_Table_Row::handle(event);
  }

 protected:
  void draw_cell(TableContext context, int r, int col, int x, int y, int w, int h) override {
    const ListModel& m = *c_.list;
    if (context == CONTEXT_STARTPAGE) fl_font(labelfont(), labelsize());
    if (context != CONTEXT_COL_HEADER && context != CONTEXT_CELL) return;
    fl_push_clip(x, y, w, h);
    Fl_Color ink = active_r() ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR);
    int left = x + 4;
    std::string text;
    if (context == CONTEXT_COL_HEADER) {
      fl_draw_box(FL_THIN_UP_BOX, x, y, w, h, FL_BACKGROUND_COLOR);
      fl_color(ink);
      text = m.columns()[col].title;
      if (col == m.sortColumn()) {
        int cx = x + w - 10, cy = y + h / 2, d = m.ascending() ? 1 : -1;
        fl_polygon(cx - 4, cy + 2 * d, cx + 4, cy + 2 * d, cx, cy - 3 * d);
      }
    } else {
      int row = m.RowAt(r);
      bool focused = row == m.focus(), mine = Fl::focus() == this;
      Fl_Color back = !focused ? FL_BACKGROUND2_COLOR
                      : mine   ? FL_SELECTION_COLOR
                               : fl_rgb_color(200, 200, 200);
      fl_color(back);
      fl_rectf(x, y, w, h);
      if (col == 0) {
        int top = y + (h - kTickBox) / 2;
        fl_draw_box(FL_DOWN_BOX, x + 3, top, kTickBox, kTickBox, FL_BACKGROUND2_COLOR);
        fl_color(ink);
        fl_line_style(FL_SOLID, 2);
        if (m.Ticked(row)) fl_line(x + 6, top + 6, x + 8, top + 9, x + 12, top + 3);
        fl_line_style(0);
        left += kTickBox + 3;
      }
      fl_color(fl_contrast(ink, back));
      text = m.Cell(row, col);
    }
    fl_draw(Cp1252ToUtf8(text).c_str(), left, y, x + w - left - 12, h, FL_ALIGN_LEFT);
    fl_pop_clip();
  }

 private:
  void Changed(int row) {
    const ListModel& m = *c_.list;
    if (row >= 0) {
      redraw_range(m.PositionOf(row), m.PositionOf(row), 0, cols() - 1);
      return;
    }
    fl_font(labelfont(), labelsize());  // the row height's
    cols(static_cast<int>(m.columns().size()));
    for (int i = 0; i < cols(); ++i) {
      col_width(i, DialogUnitsToPixelsX(m.columns()[i].width, c_.dialog->units.cx));
    }
    col_header_height(fl_height() + 6);
    rows(m.RowCount());
    row_height_all(fl_height() + 4);
    redraw();
  }

  ControlRecord& c_;
};

class Choice : public Fl_Choice {
 public:
  Choice(int x, int y, int w, int h, ControlRecord& c)
      : Fl_Choice(x, y, w, h), choices(TextLines(c.t->text)) {
    for (const std::string& choice : choices) {
      std::string label;  // these mean something in a menu path
      for (char ch : Cp1252ToUtf8(choice))
        label += std::strchr("/&_\\", ch) ? std::string("\\") + ch : std::string(1, ch);
      add(label.empty() ? " " : label.c_str());
    }
    value(0);
    callback(
        [](Fl_Widget* w, void* data) {
          static_cast<ControlRecord*>(data)->text =
              static_cast<Choice*>(w)->choices[static_cast<Choice*>(w)->value()];
        },
        &c);
  }
  void draw() override {
    textfont(labelfont());
    textsize(labelsize());
    Fl_Choice::draw();
  }
  std::vector<std::string> choices;
};

}  // namespace

Fl_Widget* BuildCommonControl(ControlRecord& c, int x, int y, int w, int h) {
  if (c.kind == ControlKind::kList) return new ListTable(x, y, w, h, c);
  if (c.kind == ControlKind::kProgress) return new Fl_Progress(x, y, w, h);
  // The template's height is that of the list dropped down.
  if (c.kind == ControlKind::kChoice) {
    return new Choice(x, y, w, std::min(h, DialogUnitsToPixelsY(14, c.dialog->units.cy)), c);
  }
  auto* box = new Fl_Box(FL_THIN_DOWN_BOX, x, y, w, h, nullptr);
  box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  return box;
}

bool FocusByLabel(DialogRecord& d, int key) {
  for (size_t i = 0; i + 1 < d.controls.size(); ++i) {
    const std::string& text = d.controls[i]->text;
    size_t amp = text.find('&');
    if (d.controls[i]->kind == ControlKind::kLabel && amp + 1 < text.size() &&
        std::tolower(static_cast<unsigned char>(text[amp + 1])) == key) {
      return static_cast<Fl_Widget*>(d.controls[i + 1]->native)->take_focus() != 0;
    }
  }
  return false;
}

void ShowCommonControl(ControlRecord& c) {
  Fl_Widget* widget = static_cast<Fl_Widget*>(c.native);
  if (c.kind == ControlKind::kProgress) {
    auto* bar = static_cast<Fl_Progress*>(widget);
    bar->selection_color(FL_SELECTION_COLOR);
    bar->minimum(static_cast<float>(c.lower));
    bar->maximum(static_cast<float>(c.upper));
    bar->value(static_cast<float>(c.position));
  } else if (c.kind == ControlKind::kChoice) {
    auto* choice = static_cast<Choice*>(widget);
    auto it = std::find(choice->choices.begin(), choice->choices.end(), c.text);
    if (it != choice->choices.end()) choice->value(static_cast<int>(it - choice->choices.begin()));
  } else if (c.kind == ControlKind::kStatus) {
    std::string label = " ";  // a little room from the frame; '&' underlines in a label
    for (char ch : FlLabel(c.text)) label += ch == '&' ? "&&" : std::string(1, ch);
    widget->copy_label(label.c_str());
  }
  widget->redraw();
}

}  // namespace fltk
}  // namespace ui
