// CMSFlexGrid: the grid of the objects and masks dialogs. Row 0 is the
// fixed header row; a click or a keyboard move makes a cell of the other
// rows current; the dialogs reach it through the Grid operations and its
// click and double-click events. Tab leaves it like any other control; the
// Insert, Delete and Enter keys are passed on as events of their own.
#pragma once

#include <QTableWidget>

#include "dialogs/grid.h"

namespace keldar {

class CMSFlexGrid : public QTableWidget, public Grid {
  Q_OBJECT

 public:
  // `font` is the grid's font; five columns, two rows of which the first is
  // the header; row 1 is current.
  CMSFlexGrid(const QFont& font, QWidget* parent);

  int rows() const override { return rowCount(); }
  void set_rows(int rows) override;
  int row() const override { return row_; }
  void set_row(int row) override;
  int column() const override { return column_; }
  void set_column(int column) override;
  std::string text() const override { return cell(row_, column_); }
  void set_cell_bold() override;
  void set_column_width(int column, int twips) override;
  std::string cell(int row, int column) const override;
  void set_cell(int row, int column, std::string_view text) override;

  // Where cell (row, column) is drawn, for tests that click it.
  QRect cell_rect(int row, int column) const;

 signals:
  void gridClick();
  void gridDoubleClick();
  void insertPressed();
  void deletePressed();
  void enterPressed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QTableWidgetItem* item_at(int row, int column);
  void show_current();

  int row_ = 1;
  int column_ = 0;
};

}  // namespace keldar
