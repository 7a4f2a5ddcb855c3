// CMSFlexGrid: the grid window of the objects and masks dialogs, a window
// class of its own that a dialog resource names as a custom control. Row 0
// is the fixed header row; a click, or the arrow, page, Home and End keys,
// make a cell of the other rows current. The dialogs reach it through the
// Grid operations; it tells its parent of clicks, double clicks and the
// Insert, Delete and Enter keys with WM_COMMAND (the control id and one of
// the notifications below). Tab leaves it like any other control of a
// dialog. Interface thread only.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/grid.h"

namespace keldar {

class CMSFlexGrid : public Grid {
 public:
  // The window class name, as the dialog resources name it.
  static constexpr const wchar_t* kClassName = L"CMSFlexGrid";
  // The notification codes (the high word of WM_COMMAND's wParam).
  enum Notification : WORD { kClick = 1, kDoubleClick, kInsert, kDelete, kEnter };

  // Registers the window class (once; later calls do nothing). Must be
  // called before a dialog that holds the grid is made.
  static void register_class();
  // The grid of a window of the class; nullptr for any other window.
  static CMSFlexGrid* from(HWND window);

  // The grid's font, which it owns: a face name and a size in points, with
  // the Cyrillic character set.
  void set_font(const wchar_t* face, double points);

  int rows() const override { return static_cast<int>(cells_.size()); }
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

  int columns() const { return static_cast<int>(widths_.size()); }
  HWND window() const { return window_; }
  bool bold(int row, int column) const { return bold_.count({row, column}) != 0; }
  // A column's width in pixels.
  int column_pixels(int column) const { return widths_.at(column); }
  // Where cell (row, column) is drawn in the client area; empty when it is
  // scrolled out of view.
  RECT cell_rect(int row, int column) const;

 private:
  explicit CMSFlexGrid(HWND window);
  ~CMSFlexGrid();
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);

  void paint(HDC dc, const RECT& area) const;
  void paint_cell(HDC dc, int row, int column, const RECT& rect) const;
  void on_mouse(LPARAM point, Notification notification);
  bool on_key(WPARAM key);
  void scroll(int bar, WORD request);
  // The scroll ranges after a change of size or content; keeps the view in
  // them.
  void update_scrolling();
  void show_current();
  void notify(Notification notification) const;
  // The cell at a client point; false when it is none, or the header.
  bool hit(POINT point, int& row, int& column) const;
  // Rows below the header that fit wholly in the client area (at least 1).
  int page_rows() const;
  int total_width() const;

  HWND window_;
  HFONT font_ = nullptr;
  HFONT bold_font_ = nullptr;
  int row_height_ = 16;
  std::vector<std::vector<std::string>> cells_;  // rows of cells, Windows-1251
  std::vector<int> widths_;                      // pixels
  std::set<std::pair<int, int>> bold_;
  int row_ = 1;
  int column_ = 0;
  int top_ = 1;   // the first row shown below the header
  int left_ = 0;  // pixels scrolled to the left
  bool updating_ = false;
};

}  // namespace keldar
