// What a list control with tick boxes shows: columns, rows of cell texts, a tick per row, the
// order the rows are shown in and the focused row. Free of any toolkit: every backend draws the
// same model and turns the user's clicks and keys into the calls below, so sorting and ticking
// behave alike everywhere. Rows keep their index for good; sorting only changes where they show.
#ifndef TILTWISE_UI_LISTMODEL_H_
#define TILTWISE_UI_LISTMODEL_H_

#include <functional>
#include <string>
#include <vector>

namespace ui {

struct ListColumn {
  std::string title;
  int width;  // dialog units
};

// What a list tells its dialog (DialogEvents::HandleNotify); the item is a row, or a column for
// a column click.
enum ListNotify { kListTickChanged = 1, kListColumnClick = 2, kListFocusChanged = 3 };
constexpr int kAllRows = -1;  // the item of a tick change of every row at once

class ListModel {
 public:
  // Columns as a template's text gives them: "title\twidth" lines.
  explicit ListModel(const char* columns);
  const std::vector<ListColumn>& columns() const { return columns_; }

  int RowCount() const { return static_cast<int>(rows_.size()); }
  // New rows are empty, unticked and shown last; dropped rows take their ticks with them.
  void SetRowCount(int count);
  void SetRow(int row, std::vector<std::string> cells);  // redraws that row only
  const std::string& Cell(int row, int column) const;
  bool Ticked(int row) const { return Valid(row) && rows_[row].ticked; }
  void SetTick(int row, bool ticked);
  int TickedCount() const;

  // The view. Positions count from the top as shown.
  int RowAt(int position) const { return Valid(position) ? order_[position] : -1; }
  int PositionOf(int row) const { return Valid(row) ? position_[row] : -1; }
  // Sorts by a column's text, digits by their value; ties keep their order, so the previous
  // sort decides among them.
  void SortBy(int column, bool ascending);
  int sortColumn() const { return sortColumn_; }
  bool ascending() const { return ascending_; }
  int focus() const { return focus_; }  // a row, -1 for none
  void SetFocus(int row);

  // The user's actions, each told to the dialog through `notify`.
  void ClickTick(int row);
  void ClickColumn(int column);  // the sorted column again turns the order round
  void PressSpace();             // ticks or unticks the focused row
  void PressSelectAll();         // Ctrl+A: ticks every row
  void MoveFocus(int row);

  // Set by the backend: a row to redraw (-1: the whole list, its size or order changed), and
  // where the user's actions go.
  std::function<void(int row)> changed;
  std::function<void(int code, int item)> notify;

 private:
  struct Row {
    std::vector<std::string> cells;
    bool ticked = false;
  };
  bool Valid(int row) const { return row >= 0 && row < RowCount(); }
  void Changed(int row) { changed ? changed(row) : void(); }
  void Notify(int code, int item) { notify ? notify(code, item) : void(); }

  std::vector<ListColumn> columns_;
  std::vector<Row> rows_;
  std::vector<int> order_;     // position -> row
  std::vector<int> position_;  // row -> position
  int sortColumn_ = -1;
  bool ascending_ = true;
  int focus_ = -1;
};

// Compares texts as people sort them: runs of digits by value ("10.0.0.9" before "10.0.0.10"),
// letters regardless of case. Negative, 0 or positive.
int NaturalCompare(const std::string& a, const std::string& b);

}  // namespace ui

#endif  // TILTWISE_UI_LISTMODEL_H_
