#include "platform/win32/win32_errors.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace keldar {

std::string system_error_text(int code) {
  wchar_t* text = nullptr;
  DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (n == 0 || text == nullptr) return {};
  std::wstring wide(text, n);
  ::LocalFree(text);
  // The table's texts end in CR LF; one that does not gets it.
  if (wide.find(L'\r') == std::wstring::npos) {
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L' ')) wide.pop_back();
    wide += L"\r\n";
  }
  bool carriable;
  return win32::narrow(wide, carriable);
}

}  // namespace keldar
