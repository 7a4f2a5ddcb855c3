#include "platform/win32/win32_paths.h"

#include <windows.h>

#include "platform/errors.h"
#include "platform/win32/wide_text.h"

namespace keldar::win32 {
namespace {

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool starts_with(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::wstring prefixed(std::wstring_view full) {
  if (starts_with(full, L"\\\\?\\")) return std::wstring(full);
  if (starts_with(full, L"\\\\")) return L"\\\\?\\UNC\\" + std::wstring(full.substr(2));
  return L"\\\\?\\" + std::wstring(full);
}

int native_path(std::string_view path, std::wstring& native) {
  if (path.empty()) return err::kPathNotFound;
  if (path.find('\0') != std::string_view::npos) return err::kInvalidName;
  auto wide = widen(path);
  if (!wide) return err::kInvalidName;
  if (wide->size() < kLongPath || starts_with(*wide, L"\\\\?\\")) {
    native = std::move(*wide);
    return err::kOk;
  }
  std::wstring full(wide->size() + MAX_PATH, L'\0');
  for (;;) {
    DWORD n =
        ::GetFullPathNameW(wide->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return static_cast<int>(::GetLastError());
    if (n < full.size()) {
      full.resize(n);
      break;
    }
    full.resize(n + 1);
  }
  native = prefixed(full);
  return err::kOk;
}

std::wstring parent_of(const std::wstring& native) {
  std::wstring path = without_trailing_separator(native);
  std::size_t last = path.find_last_of(L"\\/");
  if (last == std::wstring::npos) return L".";
  std::wstring parent = path.substr(0, last);
  // "C:\a" -> "C:\", so that the parent of an item in a root is the root.
  if (parent.size() >= 2 && parent.back() == L':') parent += L'\\';
  return parent;
}

std::wstring without_trailing_separator(std::wstring path) {
  auto is_root = [](const std::wstring& p) {
    std::wstring_view rest = p;
    if (starts_with(rest, L"\\\\?\\")) rest.remove_prefix(4);
    return rest.size() <= 3 && rest.size() >= 2 && rest[1] == L':';
  };
  while (path.size() > 1 && is_separator(path.back()) && !is_root(path)) path.pop_back();
  return path;
}

}  // namespace keldar::win32
