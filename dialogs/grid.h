// What the objects and masks dialogs need of their grid: rows and columns
// numbered from 0, row 0 the fixed header row, a current cell, cell texts in
// Windows-1251 and column widths in twips. The window layer's CMSFlexGrid
// implements it; the dialogs' logic is written against it alone.
#pragma once

#include <string>
#include <string_view>

namespace keldar {

class Grid {
 public:
  virtual ~Grid() = default;
  virtual int rows() const = 0;
  // Rows added are empty; rows removed take their texts with them. The
  // current row stays where it was when it still exists.
  virtual void set_rows(int rows) = 0;
  virtual int row() const = 0;
  virtual void set_row(int row) = 0;
  virtual int column() const = 0;
  virtual void set_column(int column) = 0;
  // The text of the current cell.
  virtual std::string text() const = 0;
  // Makes the current cell's font bold.
  virtual void set_cell_bold() = 0;
  virtual void set_column_width(int column, int twips) = 0;
  virtual std::string cell(int row, int column) const = 0;
  virtual void set_cell(int row, int column, std::string_view text) = 0;
};

}  // namespace keldar
