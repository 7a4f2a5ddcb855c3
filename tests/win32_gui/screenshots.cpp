// Takes a picture of every window of keldar.exe for the README: a carrier
// with an object and masks, a computer named in the name dialog, a
// comparison in the log, then each dialog as it opens. Writes one 24-bit
// BMP per window into the current folder (scripts/screenshots-windows.sh
// turns them into PNG files).
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "fakes/computers.h"
#include "gui/win32/list_window.h"
#include "gui/win32/main_window.h"
#include "gui/win32/resource.h"
#include "gui/win32/win32_host.h"
#include "gui/win32/window_app.h"
#include "win32_gui_support.h"

namespace keldar::test {
namespace {

// Writes what `window` shows, frame included, as `name`.bmp.
void save(HWND window, const std::string& name) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  pump();
  RECT rect;
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const int stride = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + stride * height;
  std::ofstream out(name + ".bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), static_cast<std::streamsize>(stride) * height);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  std::printf("%s.bmp\n", name.c_str());
}

// Pictures `window` once it has shown, then closes it with `close_id`.
void take_when_shown(const std::wstring& caption, const std::string& name, int close_id) {
  when_shown(caption, [name, close_id](HWND window) {
    pump();
    save(window, name);
    click(window, close_id);
  });
}

int take_all() {
  Computers world({.disk = Computers::Disk::kNative, .computers = 2, .carrier = "Носитель"});
  world.use_system_clock();
  world.write_objects(world.one_object());
  world.write_masks({{"*.tmp", false, false}, {"*.doc", true, true, true, false}, {"*.*"}});
  world.put(0, "Отчет.doc", "text", Computers::kNow);
  world.put(0, "План.txt", "text", Computers::kNow);
  Win32Host host;
  auto session = world.session(0, host);
  MainWindow window(*session, host, list_dialogs(*session, host));
  SetWindowPos(window.hwnd(), nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(window.hwnd(), SW_SHOW);
  when_shown(L"Компьютер", [](HWND dialog) {
    SetDlgItemTextW(dialog, IDC_NAME_EDIT, L"Анна");
    pump();
    save(dialog, "computer_name");
    click(dialog, IDOK);
  });
  if (window.program().start_up('C')) return 1;
  SendMessageW(window.button(Command::kCompare), BM_CLICK, 0, 0);
  if (!pump_until([&] { return !window.program().busy(); })) return 1;
  save(window.hwnd(), "main_window");
  take_when_shown(L"О программе KELDAR", "about_box", IDOK);
  SendMessageW(window.hwnd(), WM_SYSCOMMAND, IDM_ABOUT, 0);

  // Each list dialog, and its edit dialog on its first row.
  const struct {
    Command command;
    const char* name;
    const wchar_t* edit_caption;
    const char* edit_name;
    int edit_id;
  } lists[] = {{Command::kMasks, "masks_dialog", L"Маска файлов", "mask_edit", IDC_MASKS_EDIT},
               {Command::kObjects, "objects_dialog", L"Объект синхронизации", "object_edit",
                IDC_OBJECTS_EDIT}};
  for (const auto& list : lists) {
    SendMessageW(window.button(list.command), BM_CLICK, 0, 0);
    auto* dialog = dynamic_cast<ListWindow*>(window.list_dialog());
    if (dialog == nullptr) return 1;
    SetWindowPos(dialog->hwnd(), nullptr, 60, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    dialog->flex_grid().set_row(1);
    dialog->flex_grid().set_column(1);
    save(dialog->hwnd(), list.name);
    take_when_shown(list.edit_caption, list.edit_name, IDCANCEL);
    click(dialog->hwnd(), list.edit_id);
    click(dialog->hwnd(), IDOK);
  }
  return 0;
}

}  // namespace
}  // namespace keldar::test

int main() { return keldar::test::take_all(); }
