// Each dialog of the main window's part as its resource makes it: caption,
// client size and controls in dialog units.
#include <windows.h>

#include "gui/win32/resource.h"
#include "win32_gui_support.h"

namespace keldar::test {
namespace {

// Makes dialog `resource` from the program's resources, hidden, with a
// procedure that does nothing.
HWND make_dialog(int resource) {
  LoadLibraryW(L"riched20.dll");  // the log pane's class
  return CreateDialogParamW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource), nullptr,
      [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
}

TEST(Win32Layout, MainWindow) {
  HWND dialog = make_dialog(IDD_MAIN);
  check_layout(dialog, L"Brindlewood", 379, 245,
               {{IDC_MAIN_LOG, nullptr, 7, 7, 365, 206},
                {IDC_MAIN_MASKS, L"Маски", 96, 218, 45, 20},
                {IDC_MAIN_OBJECTS, L"Объекты", 146, 218, 45, 20},
                {IDC_MAIN_COMPARE, L"Сравнить", 196, 218, 45, 20},
                {IDC_MAIN_SYNCHRONIZE, L"Синхронизировать", 246, 218, 84, 20},
                {IDC_MAIN_EXIT, L"Выход", 335, 218, 37, 20},
                {IDC_MAIN_PROGRESS, L"", 55, 217, 36, 9},
                {IDC_MAIN_STATUS, L"", 7, 230, 84, 8}});
  const LONG style = GetWindowLongW(dialog, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  const LONG pane = GetWindowLongW(GetDlgItem(dialog, IDC_MAIN_LOG), GWL_STYLE);
  EXPECT_TRUE(pane & ES_MULTILINE);
  EXPECT_TRUE(pane & WS_VSCROLL);
  EXPECT_TRUE(pane & ES_AUTOVSCROLL);
  EXPECT_FALSE(pane & (WS_HSCROLL | ES_AUTOHSCROLL));  // long lines wrap
  EXPECT_TRUE(GetWindowLongW(GetDlgItem(dialog, IDC_MAIN_PROGRESS), GWL_STYLE) & SS_RIGHT);
  DestroyWindow(dialog);
}

TEST(Win32Layout, AboutBoxAndComputerName) {
  HWND about = make_dialog(IDD_ABOUT);
  check_layout(about, L"О программе KELDAR", 174, 47, {{IDC_OK, L"OK", 124, 7, 44, 14}});
  DestroyWindow(about);
  HWND name = make_dialog(IDD_COMPUTER_NAME);
  check_layout(name, L"Компьютер", 320, 43,
               {{IDC_NAME_PROMPT, L"Введите имя компьютера", 7, 7, 244, 13},
                {IDC_NAME_EDIT, L"", 7, 26, 244, 12},
                {IDC_OK, L"OK", 263, 7, 50, 14},
                {IDC_CANCEL, L"Отмена", 263, 24, 50, 14}});
  EXPECT_TRUE(GetWindowLongW(GetDlgItem(name, IDC_NAME_EDIT), GWL_STYLE) & ES_AUTOHSCROLL);
  DestroyWindow(name);
}

TEST(Win32Layout, IconAndAboutItemText) {
  EXPECT_NE(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_KELDAR)), nullptr);
  wchar_t text[64] = {};
  LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUT, text, 64);
  EXPECT_STREQ(text, L"&О программе KELDAR...");
}

}  // namespace
}  // namespace keldar::test
