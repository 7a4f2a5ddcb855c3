#include "gui/win32/cmsflexgrid.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "gui/win32/win32_host.h"

namespace keldar {
namespace {

constexpr int kColumns = 5;
constexpr int kDefaultWidth = 64;  // pixels, until a width is set
constexpr int kPadding = 2;        // pixels between a cell's edge and its text
constexpr int kWheelRows = 3;

int screen_dpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

}  // namespace

void CMSFlexGrid::register_class() {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(GetModuleHandleW(nullptr), kClassName, &existing)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  // A global class: a dialog resource of any module of the process finds it.
  wc.style = CS_GLOBALCLASS | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = &CMSFlexGrid::procedure;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
}

CMSFlexGrid* CMSFlexGrid::from(HWND window) {
  if (window == nullptr) return nullptr;
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (std::wstring_view(name) != kClassName) return nullptr;
  return reinterpret_cast<CMSFlexGrid*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

CMSFlexGrid::CMSFlexGrid(HWND window)
    : window_(window),
      cells_(2, std::vector<std::string>(kColumns)),
      widths_(kColumns, kDefaultWidth) {}

CMSFlexGrid::~CMSFlexGrid() {
  if (font_ != nullptr) DeleteObject(font_);
  if (bold_font_ != nullptr) DeleteObject(bold_font_);
}

LRESULT CALLBACK CMSFlexGrid::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new CMSFlexGrid(window)));
  }
  auto* grid = reinterpret_cast<CMSFlexGrid*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (grid == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    delete grid;
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return grid->handle(message, wparam, lparam);
}

LRESULT CMSFlexGrid::handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window_, &ps);
      paint(dc, ps.rcPaint);
      EndPaint(window_, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the paint covers the whole area
    case WM_SIZE:
      update_scrolling();
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case WM_GETDLGCODE: {
      // The arrows move the current cell and Enter is the grid's own; Tab
      // and Escape stay the dialog's.
      const auto* msg = reinterpret_cast<const MSG*>(lparam);
      LRESULT code = DLGC_WANTARROWS;
      if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) {
        code |= DLGC_WANTMESSAGE;
      }
      return code;
    }
    case WM_KEYDOWN:
      if (on_key(wparam)) return 0;
      break;
    case WM_LBUTTONDOWN:
      SetFocus(window_);
      on_mouse(lparam, kClick);
      return 0;
    case WM_LBUTTONDBLCLK:
      on_mouse(lparam, kDoubleClick);
      return 0;
    case WM_MOUSEWHEEL: {
      const int steps = GET_WHEEL_DELTA_WPARAM(wparam) / WHEEL_DELTA;
      for (int i = 0; i < std::abs(steps) * kWheelRows; ++i) {
        scroll(SB_VERT, steps > 0 ? SB_LINEUP : SB_LINEDOWN);
      }
      return 0;
    }
    case WM_VSCROLL:
      scroll(SB_VERT, LOWORD(wparam));
      return 0;
    case WM_HSCROLL:
      scroll(SB_HORZ, LOWORD(wparam));
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(window_, nullptr, FALSE);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

void CMSFlexGrid::set_font(const wchar_t* face, double points) {
  LOGFONTW lf{};
  lf.lfHeight = -static_cast<LONG>(std::lround(points * screen_dpi() / 72.0));
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = RUSSIAN_CHARSET;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  HFONT normal = CreateFontIndirectW(&lf);
  lf.lfWeight = FW_BOLD;
  HFONT bold = CreateFontIndirectW(&lf);
  if (font_ != nullptr) DeleteObject(font_);
  if (bold_font_ != nullptr) DeleteObject(bold_font_);
  font_ = normal;
  bold_font_ = bold;
  HDC dc = GetDC(window_);
  HGDIOBJ old = SelectObject(dc, font_);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(window_, dc);
  row_height_ = tm.tmHeight + 2 * kPadding;
  update_scrolling();
}

void CMSFlexGrid::set_rows(int rows) {
  rows = std::max(rows, 1);
  cells_.resize(rows, std::vector<std::string>(columns()));
  std::erase_if(bold_, [rows](const auto& cell) { return cell.first >= rows; });
  // With only the header row left there is no current cell; the row is kept
  // for the refill that follows, and otherwise held inside the other rows.
  if (rows > 1) row_ = std::clamp(row_, 1, rows - 1);
  update_scrolling();
  InvalidateRect(window_, nullptr, FALSE);
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
  bold_.insert({row_, column_});
  InvalidateRect(window_, nullptr, FALSE);
}

void CMSFlexGrid::set_column_width(int column, int twips) {
  if (column < 0 || column >= columns()) return;
  widths_[column] = MulDiv(twips, screen_dpi(), 1440);
  update_scrolling();
  InvalidateRect(window_, nullptr, FALSE);
}

std::string CMSFlexGrid::cell(int row, int column) const {
  if (row < 0 || row >= rows() || column < 0 || column >= columns()) return {};
  return cells_[row][column];
}

void CMSFlexGrid::set_cell(int row, int column, std::string_view text) {
  if (row < 0 || row >= rows() || column < 0 || column >= columns()) return;
  cells_[row][column] = std::string(text);
  InvalidateRect(window_, nullptr, FALSE);
}

int CMSFlexGrid::total_width() const {
  int width = 0;
  for (int w : widths_) width += w;
  return width;
}

int CMSFlexGrid::page_rows() const {
  RECT client;
  GetClientRect(window_, &client);
  return std::max(1, static_cast<int>(client.bottom - row_height_) / row_height_);
}

RECT CMSFlexGrid::cell_rect(int row, int column) const {
  RECT rect{};
  if (row < 0 || row >= rows() || column < 0 || column >= columns()) return rect;
  if (row > 0 && (row < top_ || row >= top_ + page_rows() + 1)) return rect;
  const int shown_row = row == 0 ? 0 : row - top_ + 1;
  int x = -left_;
  for (int c = 0; c < column; ++c) x += widths_[c];
  return RECT{x, shown_row * row_height_, x + widths_[column], (shown_row + 1) * row_height_};
}

void CMSFlexGrid::paint(HDC dc, const RECT& area) const {
  RECT client;
  GetClientRect(window_, &client);
  // Drawn off screen first, so that a refill does not flicker.
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP bitmap =
      CreateCompatibleBitmap(dc, std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1));
  HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
  FillRect(memory, &client, GetSysColorBrush(COLOR_APPWORKSPACE));
  SetBkMode(memory, TRANSPARENT);
  const int last = std::min(rows() - 1, top_ + page_rows());
  for (int row = 0; row <= last; row = row == 0 ? top_ : row + 1) {
    for (int column = 0; column < columns(); ++column) {
      const RECT rect = cell_rect(row, column);
      if (rect.right > 0 && rect.left < client.right) paint_cell(memory, row, column, rect);
    }
  }
  BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, memory, area.left,
         area.top, SRCCOPY);
  SelectObject(memory, old_bitmap);
  DeleteObject(bitmap);
  DeleteDC(memory);
}

void CMSFlexGrid::paint_cell(HDC dc, int row, int column, const RECT& rect) const {
  const bool current = row > 0 && row == row_ && column == column_;
  const bool focused = GetFocus() == window_;
  int back = row == 0 ? COLOR_BTNFACE : COLOR_WINDOW;
  int fore = row == 0 ? COLOR_BTNTEXT : COLOR_WINDOWTEXT;
  if (current && focused) {
    back = COLOR_HIGHLIGHT;
    fore = COLOR_HIGHLIGHTTEXT;
  }
  FillRect(dc, &rect, GetSysColorBrush(back));
  // The grid lines: the right and bottom edge of each cell.
  RECT edge{rect.right - 1, rect.top, rect.right, rect.bottom};
  FillRect(dc, &edge, GetSysColorBrush(COLOR_BTNSHADOW));
  edge = RECT{rect.left, rect.bottom - 1, rect.right, rect.bottom};
  FillRect(dc, &edge, GetSysColorBrush(COLOR_BTNSHADOW));
  SetTextColor(dc, GetSysColor(fore));
  HGDIOBJ old = SelectObject(dc, bold(row, column) ? bold_font_ : font_);
  RECT text = rect;
  text.left += kPadding;
  text.right -= kPadding + 1;
  // A text wider than its cell is cut at the cell's edge.
  const std::wstring shown = wide(cells_[row][column]);
  DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &text,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
  SelectObject(dc, old);
  if (current && !focused) {
    RECT frame = rect;
    InflateRect(&frame, -1, -1);
    DrawFocusRect(dc, &frame);
  }
}

bool CMSFlexGrid::hit(POINT point, int& row, int& column) const {
  if (point.y < row_height_) return false;  // the fixed row takes no clicks
  row = top_ + point.y / row_height_ - 1;
  if (row >= rows()) return false;
  int x = -left_;
  for (column = 0; column < columns(); ++column) {
    x += widths_[column];
    if (point.x < x) return true;
  }
  return false;
}

void CMSFlexGrid::on_mouse(LPARAM point, Notification notification) {
  int row = 0;
  int column = 0;
  if (!hit(POINT{GET_X_LPARAM(point), GET_Y_LPARAM(point)}, row, column)) return;
  row_ = row;
  column_ = column;
  show_current();
  notify(notification);
}

bool CMSFlexGrid::on_key(WPARAM key) {
  int row = row_;
  int column = column_;
  switch (key) {
    case VK_UP:
      --row;
      break;
    case VK_DOWN:
      ++row;
      break;
    case VK_LEFT:
      --column;
      break;
    case VK_RIGHT:
      ++column;
      break;
    case VK_PRIOR:
      row -= page_rows();
      break;
    case VK_NEXT:
      row += page_rows();
      break;
    case VK_HOME:  // the row's first cell; with Ctrl the first row's
      if (GetKeyState(VK_CONTROL) < 0) row = 1;
      column = 0;
      break;
    case VK_END:  // the row's last cell; with Ctrl the last row's
      if (GetKeyState(VK_CONTROL) < 0) row = rows() - 1;
      column = columns() - 1;
      break;
    case VK_INSERT:
      notify(kInsert);
      return true;
    case VK_DELETE:
      notify(kDelete);
      return true;
    case VK_RETURN:
      notify(kEnter);
      return true;
    default:
      return false;
  }
  if (rows() < 2) return true;
  row_ = std::clamp(row, 1, rows() - 1);
  column_ = std::clamp(column, 0, columns() - 1);
  show_current();
  return true;
}

void CMSFlexGrid::notify(Notification notification) const {
  const int id = GetDlgCtrlID(window_);
  SendMessageW(GetParent(window_), WM_COMMAND, MAKEWPARAM(id, notification),
               reinterpret_cast<LPARAM>(window_));
}

void CMSFlexGrid::show_current() {
  if (row_ > 0 && row_ < rows()) {
    if (row_ < top_) top_ = row_;
    if (row_ >= top_ + page_rows()) top_ = row_ - page_rows() + 1;
    RECT client;
    GetClientRect(window_, &client);
    const int view = static_cast<int>(client.right);
    int x = 0;
    for (int c = 0; c < column_ && c < columns(); ++c) x += widths_[c];
    const int width = column_ >= 0 && column_ < columns() ? widths_[column_] : 0;
    if (x < left_) left_ = x;
    if (x + width > left_ + view) left_ = std::min(x, x + width - view);
  }
  update_scrolling();
  InvalidateRect(window_, nullptr, FALSE);
}

void CMSFlexGrid::scroll(int bar, WORD request) {
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_ALL;
  GetScrollInfo(window_, bar, &info);
  const int line = bar == SB_VERT ? 1 : kDefaultWidth / 2;
  int pos = info.nPos;
  switch (request) {
    case SB_LINEUP:
      pos -= line;
      break;
    case SB_LINEDOWN:
      pos += line;
      break;
    case SB_PAGEUP:
      pos -= static_cast<int>(info.nPage);
      break;
    case SB_PAGEDOWN:
      pos += static_cast<int>(info.nPage);
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      pos = info.nTrackPos;
      break;
    default:
      return;
  }
  if (bar == SB_VERT) {
    top_ = pos + 1;
  } else {
    left_ = pos;
  }
  update_scrolling();
  InvalidateRect(window_, nullptr, FALSE);
}

void CMSFlexGrid::update_scrolling() {
  // Showing or hiding a scroll bar resizes the client area, which comes
  // back here; the outer call finishes the work.
  if (updating_) return;
  updating_ = true;
  for (int pass = 0; pass < 2; ++pass) {
    RECT client;
    GetClientRect(window_, &client);
    const int body_rows = rows() - 1;
    const int page = page_rows();
    top_ = std::clamp(top_, 1, std::max(1, body_rows - page + 1));
    left_ = std::clamp(left_, 0, std::max(0, total_width() - static_cast<int>(client.right)));
    SCROLLINFO v{sizeof(v),
                 SIF_RANGE | SIF_PAGE | SIF_POS,
                 0,
                 std::max(0, body_rows - 1),
                 static_cast<UINT>(page),
                 top_ - 1,
                 0};
    SetScrollInfo(window_, SB_VERT, &v, TRUE);
    SCROLLINFO h{sizeof(h),
                 SIF_RANGE | SIF_PAGE | SIF_POS,
                 0,
                 std::max(0, total_width() - 1),
                 static_cast<UINT>(std::max<LONG>(client.right, 1)),
                 left_,
                 0};
    SetScrollInfo(window_, SB_HORZ, &h, TRUE);
  }
  updating_ = false;
}

}  // namespace keldar
