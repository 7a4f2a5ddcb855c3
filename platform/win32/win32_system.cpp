#include "platform/win32/win32_system.h"

#include <windows.h>

#include <cctype>

#include "format/carrier_files.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_paths.h"

namespace keldar {
namespace {

// A value the system writes into a buffer it asks the size of: GetFoo(size,
// buffer) returns the length written, or the size needed when too small.
template <class Get>
std::optional<std::wstring> wide_value(Get get) {
  std::wstring value(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD n = get(static_cast<DWORD>(value.size()), value.data());
    if (n == 0) return std::nullopt;
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.resize(n + 1);
  }
  return std::nullopt;
}

std::optional<std::string> carried(const std::optional<std::wstring>& wide) {
  if (!wide) return std::nullopt;
  bool carriable;
  std::string text = win32::narrow(*wide, carriable);
  if (!carriable) return std::nullopt;
  return text;
}

// mkdir -p; folders already there are fine. Failures show later, when the
// file in the folder is used.
void make_folders(const std::wstring& folder) {
  for (std::size_t at = folder.find_first_of(L"\\/", 3); at != std::wstring::npos;
       at = folder.find_first_of(L"\\/", at + 1)) {
    ::CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
  }
  ::CreateDirectoryW(folder.c_str(), nullptr);
}

// Whether a new file can be made in `folder`: one is made and removed.
bool takes_new_files(const std::wstring& folder) {
  auto name = win32::widen(temporary_name(::GetCurrentProcessId(), ::GetTickCount64()));
  HANDLE h =
      ::CreateFileW((folder + name.value_or(L"")).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

}  // namespace

std::optional<std::string> Win32System::current_directory() {
  auto wide =
      wide_value([](DWORD size, wchar_t* buffer) { return ::GetCurrentDirectoryW(size, buffer); });
  if (!wide) return std::nullopt;
  *wide = win32::without_trailing_separator(*wide);
  return carried(wide);
}

std::optional<std::string> Win32System::environment(std::string_view name) {
  auto wide_name = win32::widen(name);
  if (!wide_name || wide_name->empty() || wide_name->find(L'\0') != std::wstring::npos) {
    return std::nullopt;
  }
  ::SetLastError(0);
  auto value = wide_value([&](DWORD size, wchar_t* buffer) {
    return ::GetEnvironmentVariableW(wide_name->c_str(), buffer, size);
  });
  // Set but empty: the call returns 0 without an error.
  if (!value && ::GetLastError() == 0) return std::string();
  return carried(value);
}

std::string Win32System::identification_file(char drive) {
  const wchar_t letter = static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(drive)));
  std::wstring root = std::wstring(1, letter) + L":\\";
  auto local = wide_value([](DWORD size, wchar_t* buffer) {
    return ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, size);
  });
  if (!local) {
    local = wide_value([](DWORD size, wchar_t* buffer) {
      return ::GetEnvironmentVariableW(L"USERPROFILE", buffer, size);
    });
    if (local) *local += L"\\AppData\\Local";
  }
  std::wstring fallback = win32::without_trailing_separator(local.value_or(root)) + L"\\keldar\\" +
                          std::wstring(1, letter);
  return win32::choose_identification_file(root, fallback);
}

std::string win32::choose_identification_file(const std::wstring& root,
                                              const std::wstring& fallback) {
  bool carriable;
  const std::wstring in_root = root + L"KELDAR.ID";
  if (::GetFileAttributesW(in_root.c_str()) != INVALID_FILE_ATTRIBUTES || takes_new_files(root)) {
    return narrow(in_root, carriable);
  }
  make_folders(fallback);
  std::wstring folder = fallback;
  narrow(folder, carriable);
  if (!carriable) {
    auto short_name = wide_value([&](DWORD size, wchar_t* buffer) {
      return ::GetShortPathNameW(fallback.c_str(), buffer, size);
    });
    if (short_name) folder = *short_name;
  }
  return narrow(folder + L"\\KELDAR.ID", carriable);
}

Win32System::~Win32System() { release_carrier(); }

void Win32System::release_carrier() {
  if (carrier_mark_ != nullptr) ::CloseHandle(carrier_mark_);
  carrier_mark_ = nullptr;
}

bool Win32System::hold_carrier(const std::string& folder) {
  release_carrier();
  auto wide = win32::widen(folder);
  if (!wide) return true;
  std::wstring full(MAX_PATH, L'\0');
  DWORD n =
      ::GetFullPathNameW(wide->c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n > 0 && n < full.size()) *wide = full.substr(0, n);
  ::CharUpperBuffW(wide->data(), static_cast<DWORD>(wide->size()));
  // FNV-1a over the path: a mutex name may hold no backslash.
  unsigned long long hash = 14695981039346656037ull;
  for (wchar_t c : win32::without_trailing_separator(*wide)) {
    hash = (hash ^ static_cast<unsigned short>(c)) * 1099511628211ull;
  }
  std::wstring name = L"Local\\keldar-carrier-";
  for (int shift = 60; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(hash >> shift) & 15];
  HANDLE mark = ::CreateMutexW(nullptr, FALSE, name.c_str());
  if (mark == nullptr) return true;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mark);
    return false;
  }
  carrier_mark_ = mark;
  return true;
}

}  // namespace keldar
