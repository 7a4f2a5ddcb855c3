// How a Windows-1251 path of the core reaches the wide functions of Windows.
#pragma once

#include <string>
#include <string_view>

namespace keldar::win32 {

// Paths this long or longer are given to the system with the "\\?\"
// prefix, which lifts the limit of 260 characters (MAX_PATH). The limit of
// a folder to be created is MAX_PATH - 12, so the prefix starts there.
inline constexpr std::size_t kLongPath = 248;

// The prefixed form of the absolute path `full`: "C:\a" -> "\\?\C:\a",
// "\\server\share\a" -> "\\?\UNC\server\share\a"; a path that already has
// the prefix is returned as it is.
std::wstring prefixed(std::wstring_view full);

// The form of `path` (Windows-1251) that the wide functions take: UTF-16,
// and from kLongPath characters on the full path with the prefix (the
// system resolves "." and ".." and turns '/' into '\' first, as it does for
// shorter paths). 0, or 123 when the text cannot be converted (the byte
// 0x98, a NUL), 3 for an empty path; the error of the system when the full
// path cannot be had.
int native_path(std::string_view path, std::wstring& native);

// The folder part of a wide path: everything before its last '\' or '/'
// ("C:\a\b" -> "C:\a"; "C:\a" -> "C:"; the root stays "C:\" for "C:\").
std::wstring parent_of(const std::wstring& native);

// `path` without the separators it ends in, except the one of a drive root
// ("C:\") or the root of the prefixed form ("\\?\C:\").
std::wstring without_trailing_separator(std::wstring path);

}  // namespace keldar::win32
