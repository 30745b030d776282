#include "ui/ListModel.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "ui/DialogTemplate.h"

namespace ui {

ListModel::ListModel(const char* columns) {
  for (const std::string& line : TextLines(columns)) {
    size_t tab = line.find('\t');
    int width = tab == std::string::npos ? 0 : std::atoi(line.c_str() + tab + 1);
    columns_.push_back(ListColumn{line.substr(0, tab), width > 0 ? width : 50});
  }
}

void ListModel::SetRowCount(int count) {
  const int old = RowCount();
  count = std::max(0, count);
  rows_.resize(static_cast<size_t>(count));
  // The survivors keep their order; new rows show last.
  order_.erase(std::remove_if(order_.begin(), order_.end(), [count](int r) { return r >= count; }),
               order_.end());
  for (int r = old; r < count; ++r) order_.push_back(r);
  position_.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) position_[order_[i]] = i;
  if (focus_ >= count) focus_ = -1;
  Changed(-1);
}

void ListModel::SetRow(int row, std::vector<std::string> cells) {
  if (!Valid(row)) return;
  rows_[row].cells = std::move(cells);
  Changed(row);
}

const std::string& ListModel::Cell(int row, int column) const {
  static const std::string kEmpty;
  if (!Valid(row) || column < 0 || static_cast<size_t>(column) >= rows_[row].cells.size()) {
    return kEmpty;
  }
  return rows_[row].cells[column];
}

void ListModel::SetTick(int row, bool ticked) {
  if (!Valid(row) || rows_[row].ticked == ticked) return;
  rows_[row].ticked = ticked;
  Changed(row);
}

int ListModel::TickedCount() const {
  return static_cast<int>(
      std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.ticked; }));
}

void ListModel::SortBy(int column, bool ascending) {
  sortColumn_ = column;
  ascending_ = ascending;
  std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) {
    int c = NaturalCompare(Cell(a, column), Cell(b, column));
    return ascending ? c < 0 : c > 0;
  });
  for (int i = 0; i < RowCount(); ++i) position_[order_[i]] = i;
  Changed(-1);
}

void ListModel::SetFocus(int row) {
  int previous = focus_;
  focus_ = Valid(row) ? row : -1;
  if (previous == focus_) return;
  if (previous >= 0) Changed(previous);
  if (focus_ >= 0) Changed(focus_);
}

void ListModel::ClickTick(int row) {
  if (!Valid(row)) return;
  SetTick(row, !rows_[row].ticked);
  Notify(kListTickChanged, row);
}

void ListModel::ClickColumn(int column) {
  if (column < 0 || column >= static_cast<int>(columns_.size())) return;
  SortBy(column, column == sortColumn_ ? !ascending_ : true);
  Notify(kListColumnClick, column);
}

void ListModel::PressSpace() {
  ClickTick(focus_);
}

void ListModel::PressSelectAll() {
  for (Row& r : rows_) r.ticked = true;
  Changed(-1);
  Notify(kListTickChanged, kAllRows);
}

void ListModel::MoveFocus(int row) {
  if (!Valid(row) || row == focus_) return;
  SetFocus(row);
  Notify(kListFocusChanged, row);
}

int NaturalCompare(const std::string& a, const std::string& b) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      while (i < a.size() && a[i] == '0') ++i;
      while (j < b.size() && b[j] == '0') ++j;
      size_t ei = i, ej = j;
      while (ei < a.size() && digit(a[ei])) ++ei;
      while (ej < b.size() && digit(b[ej])) ++ej;
      if (ei - i != ej - j) return ei - i < ej - j ? -1 : 1;
      int c = a.compare(i, ei - i, b, j, ej - j);
      if (c != 0) return c;
      i = ei;
      j = ej;
      continue;
    }
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[j]));
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
    ++j;
  }
  return (i < a.size()) - (j < b.size());
}

}  // namespace ui
