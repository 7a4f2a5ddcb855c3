#pragma once

#include <atomic>
#include <cstdint>

namespace keldar {
// Whether standard input is an interactive terminal.
bool stdin_is_terminal();
// The first Ctrl+C (SIGINT or SIGTERM) stores 0 in `stop_slot` (the run
// queue's stop request); a second one ends the process at once.
void stop_on_interrupt(std::atomic<std::int16_t>& stop_slot);
}  // namespace keldar
