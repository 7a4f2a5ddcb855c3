#include "platform/posix/terminal.h"

#include <unistd.h>

namespace keldar {
bool stdin_is_terminal() { return isatty(STDIN_FILENO) == 1; }
}  // namespace keldar
