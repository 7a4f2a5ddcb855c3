#pragma once

namespace keldar {
// Whether standard input is an interactive terminal.
bool stdin_is_terminal();
}  // namespace keldar
