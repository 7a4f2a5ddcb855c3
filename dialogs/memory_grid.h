// A grid held in memory, where no window shows one (batch runs, tests):
// cell texts, the current cell, column widths and which cells are bold.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/grid.h"

namespace keldar {

class MemoryGrid : public Grid {
 public:
  static constexpr int kColumns = 5;

  int rows() const override { return static_cast<int>(cells_.size()); }
  void set_rows(int rows) override {
    cells_.resize(rows, std::vector<std::string>(kColumns));
    if (row_ >= rows) row_ = rows - 1;
  }
  int row() const override { return row_; }
  void set_row(int row) override { row_ = row; }
  int column() const override { return column_; }
  void set_column(int column) override { column_ = column; }
  std::string text() const override { return cell(row_, column_); }
  void set_cell_bold() override { bold.insert({row_, column_}); }
  void set_column_width(int column, int twips) override { widths[column] = twips; }
  std::string cell(int row, int column) const override { return cells_.at(row).at(column); }
  void set_cell(int row, int column, std::string_view text) override {
    cells_.at(row).at(column) = text;
  }

  // The user clicks a cell.
  void click_at(int row, int column) {
    row_ = row;
    column_ = column;
  }

  std::map<int, int> widths;
  std::set<std::pair<int, int>> bold;

 private:
  std::vector<std::vector<std::string>> cells_{1, std::vector<std::string>(kColumns)};
  int row_ = 0;
  int column_ = 0;
};

}  // namespace keldar
