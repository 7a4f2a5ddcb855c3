// The message texts of the system's own table.
#pragma once

#include <string>

namespace keldar {

// The system's text of an error code (FormatMessageW, the default
// language: the user's, else the system's), in Windows-1251 with '?' for
// what it cannot carry, ending in CR LF; empty when the system has none.
// The program installs it with set_error_text_source.
std::string system_error_text(int code);

}  // namespace keldar
