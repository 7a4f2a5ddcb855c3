#include "gui/qt/cmsflexgrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>

#include "gui/qt/qt_text.h"

namespace keldar {

CMSFlexGrid::CMSFlexGrid(const QFont& font, QWidget* parent) : QTableWidget(2, 5, parent) {
  setFont(font);
  horizontalHeader()->hide();
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 4);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setWordWrap(false);
  setTabKeyNavigation(false);
  // A text wider than its cell is cut at the cell's edge.
  setTextElideMode(Qt::ElideNone);
  connect(this, &QTableWidget::cellClicked, this, [this](int row, int column) {
    if (row == 0) return;  // the fixed row takes no clicks
    row_ = row;
    column_ = column;
    emit gridClick();
  });
  connect(this, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
    if (row == 0) return;
    row_ = row;
    column_ = column;
    emit gridDoubleClick();
  });
  connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int column, int, int) {
    if (row <= 0) return;
    row_ = row;
    column_ = column;
  });
}

void CMSFlexGrid::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Insert:
      emit insertPressed();
      break;
    case Qt::Key_Delete:
      emit deletePressed();
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      emit enterPressed();
      break;
    default:
      QTableWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

QTableWidgetItem* CMSFlexGrid::item_at(int row, int column) {
  QTableWidgetItem* it = item(row, column);
  if (it == nullptr) {
    it = new QTableWidgetItem;
    if (row == 0) {
      it->setFlags(Qt::ItemIsEnabled);
      it->setBackground(palette().button());
    }
    setItem(row, column, it);
  }
  return it;
}

void CMSFlexGrid::set_rows(int rows) {
  setRowCount(rows);
  // With only the header row left there is no current cell; the row is kept
  // for the refill that follows, and otherwise held inside the other rows.
  if (rows > 1) row_ = std::clamp(row_, 1, rows - 1);
  // The header row keeps its look.
  for (int column = 0; column < columnCount(); ++column) item_at(0, column);
}

void CMSFlexGrid::show_current() {
  if (row_ > 0 && row_ < rowCount()) {
    QSignalBlocker block(this);
    setCurrentCell(row_, column_);
    scrollToItem(item(row_, column_));
  } else {
    clearSelection();
  }
}

void CMSFlexGrid::set_row(int row) {
  row_ = row;
  show_current();
}

void CMSFlexGrid::set_column(int column) {
  column_ = column;
  show_current();
}

void CMSFlexGrid::set_cell_bold() {
  QTableWidgetItem* it = item_at(row_, column_);
  QFont bold = font();
  bold.setBold(true);
  it->setFont(bold);
}

void CMSFlexGrid::set_column_width(int column, int twips) {
  setColumnWidth(column, twips * logicalDpiX() / 1440);
}

std::string CMSFlexGrid::cell(int row, int column) const {
  const QTableWidgetItem* it = item(row, column);
  if (it == nullptr) return {};
  return from_utf8_lossy(it->text().toStdString());
}

void CMSFlexGrid::set_cell(int row, int column, std::string_view text) {
  item_at(row, column)->setText(qs(text));
}

QRect CMSFlexGrid::cell_rect(int row, int column) const {
  return visualRect(model()->index(row, column));
}

}  // namespace keldar
